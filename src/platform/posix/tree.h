#pragma once

// tree.cpp: what walking a tree needs beyond one directory's search: a directory's
// subdirectories, read from the open directory or, once its handle is given up, from what
// was left of that listing in memory; and each step down or back up opened relative to a
// handle, never through a link, and checked to lead to the very directory listed.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <dirent.h>

#include "common/types.h"
#include "platform/platform.h"

namespace posix {

// Where an open directory is: its identity and the mount it was reached through.
struct DirectoryPlace {
    EntryIdentity identity;
    std::uint64_t mount = 0;
    bool mountKnown = false;  // the system told the mount apart (Linux's statx STATX_MNT_ID)
};

// The place of the open directory `descriptor`: 0, or an errno value.
int placeOf(int descriptor, DirectoryPlace& out);

// One subdirectory as listed.
struct Subdirectory {
    std::string name;
    FileTime lastWrite = 0;
    EntryIdentity identity;
    // Listed as a directory but could not be examined: the errno value, and it is not
    // entered.
    int examineError = 0;
};

// A directory's subdirectories in listing order: from the open directory, and after
// keepRest() from memory.
class SubdirectoryListing {
public:
    // Starts over from the first entry of `directory` (kept by the caller), whose place is
    // `place`.
    void start(DIR* directory, const DirectoryPlace& place);
    // The next subdirectory; false at the end, with `error` then 0 or the errno that cut
    // the listing short.
    bool next(Subdirectory& out, int& error);
    // Reads what is left of the listing into memory, as the directory is about to be
    // closed; next() then hands that over.
    void keepRest();

private:
    bool readNext(Subdirectory& out, int& error);

    DIR* directory_ = nullptr;
    std::uint64_t device_ = 0;
    bool kept_ = false;
    std::vector<Subdirectory> rest_;
    std::size_t restPosition_ = 0;
    int restError_ = 0;
};

// Opens `listed`, a subdirectory of the directory `parent` at `parentPlace`, to read it,
// never through a link. Its place goes to `place`. -1 with `error`: 0 when it is on another
// file system or a mount point (passed over in silence), ERROR_ENTRY_CHANGED when it is no
// longer the directory listed (gone, or replaced by a link, a file or another directory),
// otherwise the errno it could not be opened with.
int openSubdirectoryOf(int parent, const DirectoryPlace& parentPlace, const Subdirectory& listed,
                       DirectoryPlace& place, int& error);

// Opens the directory above `child` to read it, checked to be the one at `expected`:
// -1 with `error` ERROR_ENTRY_CHANGED when the child was moved elsewhere, or an errno.
int openParentOf(int child, const DirectoryPlace& expected, int& error);

}  // namespace posix
