// The directory search: readdir over the pattern's directory, our own '*'/'?' matcher on
// each name, and one fstatat (never following a link) per matching name. Entries are
// removed with unlinkat relative to the searched directory, so the directory cannot be
// swapped for another one between the listing and the removal.

#include <cerrno>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix.h"
#include "platform/wildcard.h"

namespace posix {

namespace {

class PosixSearch final : public DirectorySearch {
public:
    // Takes ownership of the open directory. `namePattern` is the pattern's last component.
    PosixSearch(DIR* directory, std::string namePattern)
        : directory_(directory),
          namePattern_(std::move(namePattern)),
          wildcard_(hasWildcard(namePattern_.data(), namePattern_.size())) {}

    ~PosixSearch() override { closedir(directory_); }

    PosixSearch(const PosixSearch&) = delete;
    PosixSearch& operator=(const PosixSearch&) = delete;

    // Finds the first match, so that opening a search with no match fails as it should.
    bool start() { return advance(); }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        out.name = currentName_;
        out.nameLength = currentLength_;
        out.lastWrite = lastWriteOf(current_);
        return true;
    }

    int readError() const override { return readError_; }

    int removeListed() override { return removeIfRemovable(current_); }

    int removeIfUnchanged() override {
        // Looked at again relative to the searched directory and without following links:
        // only the very file that was examined, unchanged, may go.
        struct stat now;
        if (fstatat(dirfd(directory_), currentName_, &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
        if (now.st_dev != current_.st_dev || now.st_ino != current_.st_ino ||
            lastWriteOf(now) != lastWriteOf(current_)) {
            return ERROR_ENTRY_CHANGED;
        }
        return removeIfRemovable(now);
    }

private:
    // Files and links only. A directory, FIFO, socket or device is refused, and so is a
    // read-only file even for root: the command promises never to delete those.
    int removeIfRemovable(const struct stat& status) {
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return EACCES;
        if (S_ISREG(status.st_mode) && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        if (unlinkat(dirfd(directory_), currentName_, 0) != 0) return errno;
        return 0;
    }

    // Moves to the next matching entry that still exists; false at the end or on error.
    bool advance() {
        if (!wildcard_) {
            // A plain name is looked up directly: exactly that entry, or none.
            if (lookedUp_) return false;
            lookedUp_ = true;
            currentName_ = namePattern_.c_str();
            currentLength_ = namePattern_.size();
            pending_ = examine();
            return pending_;
        }
        for (;;) {
            errno = 0;
            const struct dirent* found = readdir(directory_);
            if (found == nullptr) {
                readError_ = errno;
                return false;
            }
            const std::size_t length = std::strlen(found->d_name);
            if (!matchesWildcard(namePattern_.data(), namePattern_.size(), found->d_name, length)) continue;
            currentName_ = found->d_name;
            currentLength_ = length;
            if (examine()) {
                pending_ = true;
                return true;
            }
            if (readError_ != 0) return false;
        }
    }

    // Reads the current entry's own status. An entry gone since the listing is passed
    // over; any other failure ends the search as a read error.
    bool examine() {
        if (fstatat(dirfd(directory_), currentName_, &current_, AT_SYMLINK_NOFOLLOW) == 0) return true;
        if (errno != ENOENT && wildcard_) readError_ = errno;
        return false;
    }

    DIR* directory_;
    std::string namePattern_;
    bool wildcard_;
    bool lookedUp_ = false;
    bool pending_ = false;
    const char* currentName_ = "";
    std::size_t currentLength_ = 0;
    struct stat current_ {};
    int readError_ = 0;
};

}  // namespace

std::unique_ptr<DirectorySearch> openSearch(const char* pattern, std::string& whyNot) {
    const std::size_t prefixLength = pathPrefixLength(pattern);
    std::string namePattern(pattern + prefixLength);
    if (namePattern.empty()) {
        whyNot = "agecull: " + std::string(pattern) + ": no file name after the last '/'";
        return nullptr;
    }
    const int descriptor = openDirectoryPart(std::string(pattern, prefixLength), whyNot);
    DIR* directory = descriptor < 0 ? nullptr : fdopendir(descriptor);
    if (directory == nullptr) {
        if (descriptor >= 0) {
            whyNot = "agecull: " + (prefixLength == 0 ? std::string(".") : std::string(pattern, prefixLength)) + ": " +
                     std::strerror(errno);
            close(descriptor);
        }
        return nullptr;
    }
    auto search = std::make_unique<PosixSearch>(directory, std::move(namePattern));
    if (!search->start()) {
        // An entry named in full that cannot be examined (other than by not being there)
        // is a reason too.
        if (search->readError() != 0) {
            whyNot = "agecull: " + std::string(pattern) + ": " + std::strerror(search->readError());
        }
        return nullptr;
    }
    return search;
}

std::size_t pathPrefixLength(const char* pattern) {
    const char* lastSlash = std::strrchr(pattern, '/');
    return lastSlash == nullptr ? 0 : static_cast<std::size_t>(lastSlash - pattern) + 1;
}

}  // namespace posix
