// Walking a tree: subdirectories are read with readdir and examined with fstatat, never
// following a link. Each is opened with openat(O_NOFOLLOW | O_DIRECTORY) relative to its
// parent's descriptor and must be the very directory listed (same device and inode), so a
// directory renamed or swapped for a link meanwhile is never entered; the way back up is
// openat(child, "..") checked against the parent's own identity. Another file system shows
// as another device; on Linux statx's mount id also tells a bind mount of the same file
// system apart, which no device or inode can.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix.h"
#include "platform/posix/tree.h"

namespace posix {

namespace {

EntryIdentity identityOf(const struct stat& info) {
    EntryIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.file = static_cast<std::uint64_t>(info.st_ino);
    return identity;
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// What a directory's name leads to once the directory was renamed away: nothing, a file,
// or a link, which O_NOFOLLOW refuses with ELOOP (Linux, macOS) or EMLINK (FreeBSD, NetBSD).
bool leftBehind(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EMLINK; }

constexpr int DIRECTORY_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

int placeOf(int descriptor, DirectoryPlace& out) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) return errno;
    out.identity = identityOf(info);
    out.mountKnown = false;
#if defined(__linux__) && defined(STATX_MNT_ID)
    // Kernels before 5.8 leave the mount id out of the mask: devices alone then.
    struct statx extra;
    if (statx(descriptor, "", AT_EMPTY_PATH, STATX_MNT_ID, &extra) == 0 && (extra.stx_mask & STATX_MNT_ID) != 0) {
        out.mount = extra.stx_mnt_id;
        out.mountKnown = true;
    }
#endif
    return 0;
}

void SubdirectoryListing::start(DIR* directory, const DirectoryPlace& place) {
    directory_ = directory;
    device_ = place.identity.device;
    kept_ = false;
    rest_.clear();
    restPosition_ = 0;
    restError_ = 0;
    if (directory_ != nullptr) rewinddir(directory_);
}

bool SubdirectoryListing::next(Subdirectory& out, int& error) {
    error = 0;
    if (!kept_) return directory_ != nullptr && readNext(out, error);
    if (restPosition_ < rest_.size()) {
        out = std::move(rest_[restPosition_++]);
        return true;
    }
    error = restError_;
    std::vector<Subdirectory>().swap(rest_);
    restPosition_ = 0;
    return false;
}

void SubdirectoryListing::keepRest() {
    if (kept_) return;
    Subdirectory entry;
    while (directory_ != nullptr && readNext(entry, restError_)) rest_.push_back(std::move(entry));
    kept_ = true;
    directory_ = nullptr;
}

bool SubdirectoryListing::readNext(Subdirectory& out, int& error) {
    for (;;) {
        errno = 0;
        const struct dirent* found = readdir(directory_);
        if (found == nullptr) {
            error = errno;
            return false;
        }
#ifdef DT_UNKNOWN
        // Most file systems give each entry's kind in the listing: files cost no fstatat.
        const bool listedAsDirectory = found->d_type == DT_DIR;
        if (!listedAsDirectory && found->d_type != DT_UNKNOWN) continue;
#else
        const bool listedAsDirectory = false;
#endif
        if (isDotOrDotDot(found->d_name)) continue;
        struct stat info;
        if (fstatat(dirfd(directory_), found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone meanwhile, or never known to be a directory: passed over.
            if (errno == ENOENT || !listedAsDirectory) continue;
            out.examineError = errno;
            out.name.assign(found->d_name);
            out.lastWrite = 0;
            out.identity = EntryIdentity();
            return true;
        }
        // Another file system mounted here shows with its own device.
        if (!S_ISDIR(info.st_mode) || static_cast<std::uint64_t>(info.st_dev) != device_) continue;
        out.name.assign(found->d_name);
        out.lastWrite = lastWriteOf(info);
        out.identity = identityOf(info);
        out.examineError = 0;
        return true;
    }
}

int openSubdirectoryOf(int parent, const DirectoryPlace& parentPlace, const Subdirectory& listed,
                       DirectoryPlace& place, int& error) {
    if (listed.examineError != 0) {
        error = listed.examineError;
        return -1;
    }
    const int descriptor = openat(parent, listed.name.c_str(), DIRECTORY_FLAGS);
    if (descriptor < 0) {
        error = leftBehind(errno) ? ERROR_ENTRY_CHANGED : errno;
        return -1;
    }
    error = placeOf(descriptor, place);
    if (error == 0) {
        const bool mountPoint = place.identity.device != parentPlace.identity.device ||
                                (place.mountKnown && parentPlace.mountKnown && place.mount != parentPlace.mount);
        if (!mountPoint && place.identity == listed.identity) return descriptor;
        error = mountPoint ? 0 : ERROR_ENTRY_CHANGED;
    }
    close(descriptor);
    return -1;
}

int openParentOf(int child, const DirectoryPlace& expected, int& error) {
    const int descriptor = openat(child, "..", DIRECTORY_FLAGS);
    if (descriptor < 0) {
        error = errno;
        return -1;
    }
    DirectoryPlace place;
    error = placeOf(descriptor, place);
    // The child was moved elsewhere: ".." is no longer the directory it was opened from.
    if (error == 0 && place.identity != expected.identity) error = ERROR_ENTRY_CHANGED;
    if (error == 0) return descriptor;
    close(descriptor);
    return -1;
}

}  // namespace posix
