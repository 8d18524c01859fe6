// Whether a user could get to a directory on their own. Mode bits alone miss an access
// control list that shuts out a named user or group while the bits still show search for
// group and others: on Linux the list is read as the kernel stores it, in the extended
// attribute system.posix_acl_access, without any library. Elsewhere the mode bits decide.

#include "platform/posix/reach.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace posix {

namespace {

// The kernel's form of an access ACL (linux/posix_acl_xattr.h): a 32-bit version, then
// entries of a 16-bit tag, 16-bit permissions and a 32-bit id, all little-endian.
constexpr std::uint32_t ACL_VERSION = 2;
constexpr std::size_t ACL_HEADER_SIZE = 4;
constexpr std::size_t ACL_ENTRY_SIZE = 8;
constexpr unsigned ACL_USER_OBJ = 0x01;
constexpr unsigned ACL_USER = 0x02;
constexpr unsigned ACL_GROUP_OBJ = 0x04;
constexpr unsigned ACL_GROUP = 0x08;
constexpr unsigned ACL_MASK = 0x10;
constexpr unsigned ACL_OTHER = 0x20;
constexpr unsigned ACL_SEARCH = 0x01;

std::uint32_t littleEndian(const unsigned char* bytes, std::size_t count) {
    std::uint32_t value = 0;
    while (count-- > 0) value = value << 8 | bytes[count];
    return value;
}

bool modeLetsSearch(const struct stat& info) {
    return (info.st_mode & (S_IXGRP | S_IXOTH)) == (S_IXGRP | S_IXOTH);
}

#ifdef __linux__
constexpr const char* ACCESS_ACL = "system.posix_acl_access";

// fgetxattr refuses a descriptor opened with O_PATH on older kernels: the list is then
// read through the directory opened for reading, or else by the descriptor's name in /proc.
ssize_t getAcl(int directory, void* buffer, std::size_t size) {
    ssize_t length = fgetxattr(directory, ACCESS_ACL, buffer, size);
    if (length >= 0 || errno != EBADF) return length;
    const int readable = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) {
        return getxattr(("/proc/self/fd/" + std::to_string(directory)).c_str(), ACCESS_ACL, buffer, size);
    }
    length = fgetxattr(readable, ACCESS_ACL, buffer, size);
    const int error = errno;
    close(readable);
    errno = error;
    return length;
}

// Whether the directory, owned by someone else than `user`, lets `user` search it.
bool searchable(int directory, const struct stat& info, uid_t user) {
    std::vector<unsigned char> acl;
    for (int attempt = 0; attempt < 3; ++attempt) {  // the list may grow between the two calls
        const ssize_t size = getAcl(directory, nullptr, 0);
        if (size < 0) {
            // No list, or a file system without them: the mode bits are the whole story.
            return (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP) && modeLetsSearch(info);
        }
        acl.resize(static_cast<std::size_t>(size));
        const ssize_t length = getAcl(directory, acl.data(), acl.size());
        if (length >= 0) return aclLetsSearch(acl.data(), static_cast<std::size_t>(length), user);
        if (errno != ERANGE) return errno == ENODATA && modeLetsSearch(info);
    }
    return false;
}

// The directory `up` from `directory`, found as `above` by fstatat, judged by its list.
bool searchable(int directory, const std::string& up, const struct stat& above, uid_t user) {
    const int opened = openat(directory, up.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0) return false;
    struct stat info;
    // Replaced since it was looked at: not the directory that was judged.
    const bool same = fstat(opened, &info) == 0 && info.st_dev == above.st_dev && info.st_ino == above.st_ino;
    const bool result = same && searchable(opened, info, user);
    close(opened);
    return result;
}
#else
bool searchable(int, const std::string&, const struct stat& above, uid_t) { return modeLetsSearch(above); }
#endif

}  // namespace

bool aclLetsSearch(const unsigned char* acl, std::size_t size, uid_t user) {
    if (size < ACL_HEADER_SIZE || (size - ACL_HEADER_SIZE) % ACL_ENTRY_SIZE != 0) return false;
    if (littleEndian(acl, 4) != ACL_VERSION) return false;
    unsigned mask = 07;  // no mask entry, nothing masked
    unsigned seen = 0;
    bool named = false;
    unsigned namedPermissions = 0;
    bool groupsSearch = true;
    bool othersSearch = false;
    for (std::size_t offset = ACL_HEADER_SIZE; offset < size; offset += ACL_ENTRY_SIZE) {
        const unsigned tag = littleEndian(acl + offset, 2);
        const unsigned permissions = littleEndian(acl + offset + 2, 2);
        seen |= tag;
        switch (tag) {
        case ACL_USER_OBJ:
            break;
        case ACL_USER:
            if (littleEndian(acl + offset + 4, 4) == user) {
                named = true;
                namedPermissions = permissions;
            }
            break;
        case ACL_GROUP_OBJ:
        case ACL_GROUP:
            // The user may be in any of these groups, and a matching group without search
            // shuts them out even when others may search.
            groupsSearch = groupsSearch && (permissions & ACL_SEARCH) != 0;
            break;
        case ACL_MASK:
            mask = permissions;
            break;
        case ACL_OTHER:
            othersSearch = (permissions & ACL_SEARCH) != 0;
            break;
        default:
            return false;
        }
    }
    const unsigned required = ACL_USER_OBJ | ACL_GROUP_OBJ | ACL_OTHER;
    if ((seen & required) != required) return false;
    // A user named in the list gets that entry alone, as far as the mask allows.
    if (named) return (namedPermissions & mask & ACL_SEARCH) != 0;
    return groupsSearch && (mask & ACL_SEARCH) != 0 && othersSearch;
}

bool reaches(uid_t user, int directory, const struct stat& info) {
    std::string up = "..";
    struct stat below = info;
    for (;;) {
        struct stat above;
        if (fstatat(directory, up.c_str(), &above, 0) != 0) return false;
        if (above.st_dev == below.st_dev && above.st_ino == below.st_ino) return true;  // the root
        if (above.st_uid != user && !searchable(directory, up, above, user)) return false;
        below = above;
        up += "/..";
    }
}

}  // namespace posix
