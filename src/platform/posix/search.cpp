// The directory search: readdir over the pattern's directory, our own '*'/'?' matcher on
// each name, and one fstatat (never following a link) per matching name, all through the
// read-ahead (read_ahead.cpp), which with more than one CPU runs the fstatat calls ahead on
// worker threads; the entries still come in directory order, an entry that cannot be
// examined in its place too. A pattern without a wildcard is looked up directly instead.
// Entries are removed with unlinkat relative to the searched directory, so the directory
// cannot be swapped for another one between the listing and the removal, and only after
// one more fstatat finds the very entry that was examined. For a whole tree, the search
// also lists and opens the directory's subdirectories (tree.cpp).

#include <cerrno>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/read_ahead.h"
#include "platform/posix/posix.h"
#include "platform/posix/tree.h"
#include "platform/wildcard.h"

namespace posix {

namespace {

class PosixSearch final : public DirectorySearch {
public:
    // Takes ownership of the open directory, which is at `place`. `namePattern` is the
    // pattern's last component, after `prefixLength` characters of directory.
    PosixSearch(DIR* directory, const DirectoryPlace& place, std::string namePattern, std::size_t prefixLength)
        : directory_(directory),
          place_(place),
          namePattern_(std::move(namePattern)),
          prefixLength_(prefixLength),
          wildcard_(hasWildcard(namePattern_.data(), namePattern_.size())) {}

    ~PosixSearch() override {
        readAhead_.reset();  // its workers examine relative to the directory until they stop
        if (directory_ != nullptr) closedir(directory_);
    }

    PosixSearch(const PosixSearch&) = delete;
    PosixSearch& operator=(const PosixSearch&) = delete;

    // Starts the first pass and finds its first entry, so that a search with none can be
    // told apart; false when there is none.
    bool start() {
        beginPass();
        return advance();
    }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        out.name = currentName_;
        out.nameLength = currentLength_;
        out.examineError = currentError_;
        const bool examined = currentError_ == 0;
        out.lastWrite = examined ? current_.lastWrite : 0;
        out.directory = examined && S_ISDIR(current_.mode);
        out.identity.device = examined ? static_cast<std::uint64_t>(current_.device) : 0;
        out.identity.file = examined ? static_cast<std::uint64_t>(current_.inode) : 0;
        return true;
    }

    int readError() const override { return readError_; }
    std::size_t prefixLength() const override { return prefixLength_; }

    bool restart() override {
        readAhead_.reset();
        if (directory_ == nullptr) {
            readError_ = EBADF;
            return false;
        }
        rewinddir(directory_);
        beginPass();
        return true;
    }

    bool nextSubdirectory(FoundEntry& out) override {
        if (!listingSubdirectories_) startSubdirectories();
        if (!subdirectories_.next(subdirectory_, readError_)) return false;
        out.name = subdirectory_.name.c_str();
        out.nameLength = subdirectory_.name.size();
        out.lastWrite = subdirectory_.lastWrite;
        out.unusableInCodePage = 0;
        out.examineError = subdirectory_.examineError;
        out.directory = true;
        out.identity = subdirectory_.identity;
        return true;
    }

    std::unique_ptr<DirectorySearch> openSubdirectory(int& error) override {
        if (directory_ == nullptr || !listingSubdirectories_) {
            error = EBADF;
            return nullptr;
        }
        DirectoryPlace place;
        const int descriptor = openSubdirectoryOf(dirfd(directory_), place_, subdirectory_, place, error);
        if (descriptor < 0) return nullptr;
        DIR* directory = fdopendir(descriptor);
        if (directory == nullptr) {
            error = errno;
            close(descriptor);
            return nullptr;
        }
        auto child = std::make_unique<PosixSearch>(directory, place, namePattern_, 0);
        child->start();
        return child;
    }

    // The directory's descriptor goes, and with it the read-ahead and readdir's buffer;
    // what is left of the subdirectories' listing stays.
    void release() override {
        if (directory_ == nullptr) return;
        if (!listingSubdirectories_) startSubdirectories();
        subdirectories_.keepRest();
        closedir(directory_);
        directory_ = nullptr;
    }

    int reacquire(DirectorySearch& child) override {
        if (directory_ != nullptr) return 0;
        // The one implementation of the seam on this system.
        const auto& below = static_cast<const PosixSearch&>(child);
        if (below.directory_ == nullptr) return EBADF;
        int error = 0;
        const int descriptor = openParentOf(dirfd(below.directory_), place_, error);
        if (descriptor < 0) return error;
        directory_ = fdopendir(descriptor);
        if (directory_ == nullptr) {
            error = errno;
            close(descriptor);
        }
        return error;
    }

    // The examination that selected the entry may have been made ahead of the sweep,
    // hundreds of names earlier, and a newer file renamed over the name since must not go
    // in its place.
    int remove() override {
        if (currentError_ != 0) return currentError_;  // never examined: nothing to compare with
        if (directory_ == nullptr) return EBADF;
        // Looked at again relative to the searched directory and without following links,
        // on this thread just before the unlink: only the very file that was examined,
        // unchanged, may go.
        EntryStatus now;
        const int error = examineEntry(dirfd(directory_), currentName_, now);
        if (error != 0) return error;
        if (now.device != current_.device || now.inode != current_.inode || now.lastWrite != current_.lastWrite) {
            return ERROR_ENTRY_CHANGED;
        }
        return removeIfRemovable(now);
    }

private:
    void beginPass() {
        pending_ = false;
        lookedUp_ = false;
        listingSubdirectories_ = false;
        currentError_ = 0;
        readError_ = 0;
        sawDirectory_ = false;
        noSubdirectories_ = false;
        if (wildcard_) readAhead_ = std::make_unique<ReadAhead>(directory_, namePattern_, workerCount());
    }

    void startSubdirectories() {
        readAhead_.reset();
        pending_ = false;
        listingSubdirectories_ = true;
        // A listing read whole without a name that may be a directory needs no second read.
        subdirectories_.start(noSubdirectories_ ? nullptr : directory_, place_);
    }

    // Files and links only. A directory, FIFO, socket or device is refused, and so is a
    // read-only file even for root: the command promises never to delete those.
    int removeIfRemovable(const EntryStatus& status) {
        if (!S_ISREG(status.mode) && !S_ISLNK(status.mode)) return EACCES;
        if (S_ISREG(status.mode) && (status.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        if (unlinkat(dirfd(directory_), currentName_, 0) != 0) return errno;
        return 0;
    }

    // Moves to the next matching entry that still exists; false at the end or on a read
    // error. Each entry keeps its place in directory order, and so does each failure to
    // examine one: an entry gone since the listing is passed over, one that cannot be
    // examined otherwise is handed over with the reason.
    bool advance() {
        if (!wildcard_) {
            // A plain name is looked up directly: exactly that entry, or none, with no need
            // to read what may be a huge directory.
            if (lookedUp_ || directory_ == nullptr) return false;
            lookedUp_ = true;
            currentName_ = namePattern_.c_str();
            currentLength_ = namePattern_.size();
            currentError_ = examineEntry(dirfd(directory_), currentName_, current_);
            // A name too long for the file system names no entry either.
            if (currentError_ == ENOENT || currentError_ == ENAMETOOLONG) currentError_ = 0;
            else pending_ = true;
            return pending_;
        }
        while (readAhead_) {
            if (!readAhead_->next(currentName_, currentLength_, current_, currentError_)) {
                readError_ = readAhead_->readError();
                noSubdirectories_ = readError_ == 0 && !sawDirectory_ && !readAhead_->sawDirectory();
                // Its threads and batches go with the pass: a tree keeps many searches open.
                readAhead_.reset();
                break;
            }
            if (currentError_ != ENOENT) {
                if (currentError_ == 0 && S_ISDIR(current_.mode)) sawDirectory_ = true;
                pending_ = true;
                return true;
            }
        }
        currentError_ = 0;
        return false;
    }

    DIR* directory_;  // null while released
    DirectoryPlace place_;
    std::string namePattern_;
    std::size_t prefixLength_;
    bool wildcard_;
    bool lookedUp_ = false;
    bool pending_ = false;
    const char* currentName_ = "";
    std::size_t currentLength_ = 0;
    EntryStatus current_;
    int currentError_ = 0;
    int readError_ = 0;
    std::unique_ptr<ReadAhead> readAhead_;
    bool listingSubdirectories_ = false;
    bool sawDirectory_ = false;  // a matching entry handed over was a directory
    bool noSubdirectories_ = false;  // this pass read every name, and none may be a directory
    SubdirectoryListing subdirectories_;
    Subdirectory subdirectory_;
};

}  // namespace

std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree) {
    const std::size_t prefixLength = pathPrefixLength(pattern);
    std::string namePattern(pattern + prefixLength);
    if (namePattern.empty()) {
        failure.reason = SearchFailure::Reason::NO_FILE_NAME;
        failure.place = pattern;
        failure.separator = '/';
        return nullptr;
    }
    const std::string shown = prefixLength == 0 ? std::string(".") : std::string(pattern, prefixLength);
    const int descriptor = openDirectoryPart(std::string(pattern, prefixLength), failure);
    if (descriptor < 0) return nullptr;
    DirectoryPlace place;
    const int error = placeOf(descriptor, place);
    DIR* directory = error == 0 ? fdopendir(descriptor) : nullptr;
    if (directory == nullptr) {
        failAt(failure, shown, error != 0 ? error : errno);
        close(descriptor);
        return nullptr;
    }
    auto search = std::make_unique<PosixSearch>(directory, place, std::move(namePattern), prefixLength);
    // A whole tree is searched below the directory even when nothing in it matches.
    if (!search->start() && (!wholeTree || search->readError() != 0)) {
        // A listing that failed before its first match is a reason too.
        if (search->readError() != 0) failAt(failure, pattern, search->readError());
        return nullptr;
    }
    return search;
}

std::size_t pathPrefixLength(const char* pattern) {
    const char* lastSlash = std::strrchr(pattern, '/');
    return lastSlash == nullptr ? 0 : static_cast<std::size_t>(lastSlash - pattern) + 1;
}

}  // namespace posix
