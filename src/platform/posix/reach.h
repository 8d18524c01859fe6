#pragma once

// reach.cpp: whether a user could get to a directory on their own, judged from ownership,
// permissions and (on Linux) the access control lists of the directories above it.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace posix {

// Whether `user` may search every directory above `directory` (described by `info`) up to
// the root. One the user owns counts as searchable (they can give themselves the right);
// any other must let search to its group and others both, since whether the user is in
// the group is not known here, and to every group and to the user named in its access
// control list. A list that cannot be read or understood lets nobody through.
bool reaches(uid_t user, int directory, const struct stat& info);

// Whether the access control list `acl`, in the kernel's extended attribute form, lets
// `user` (not the owner) search whatever their groups: false for a list it cannot judge.
bool aclLetsSearch(const unsigned char* acl, std::size_t size, uid_t user);

}  // namespace posix
