// The directory search: readdir over the pattern's directory, our own '*'/'?' matcher on
// each name, and one fstatat (never following a link) per matching name, all through the
// read-ahead (read_ahead.cpp), which with more than one CPU runs the fstatat calls ahead on
// worker threads; the entries still come in directory order. A pattern without a wildcard
// is looked up directly instead. Entries are removed with unlinkat relative to the searched
// directory, so the directory cannot be swapped for another one between the listing and
// the removal, and only after one more fstatat finds the very entry that was examined.

#include <cerrno>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/read_ahead.h"
#include "platform/posix/posix.h"
#include "platform/wildcard.h"

namespace posix {

namespace {

class PosixSearch final : public DirectorySearch {
public:
    // Takes ownership of the open directory. `namePattern` is the pattern's last component,
    // after `prefixLength` characters of directory.
    PosixSearch(DIR* directory, std::string namePattern, std::size_t prefixLength)
        : directory_(directory),
          namePattern_(std::move(namePattern)),
          prefixLength_(prefixLength),
          wildcard_(hasWildcard(namePattern_.data(), namePattern_.size())) {}

    ~PosixSearch() override {
        readAhead_.reset();  // its workers examine relative to the directory until they stop
        closedir(directory_);
    }

    PosixSearch(const PosixSearch&) = delete;
    PosixSearch& operator=(const PosixSearch&) = delete;

    // Finds the first match, so that opening a search with no match fails as it should.
    bool start() {
        if (wildcard_) readAhead_ = std::make_unique<ReadAhead>(directory_, namePattern_, workerCount());
        return advance();
    }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        out.name = currentName_;
        out.nameLength = currentLength_;
        out.lastWrite = current_.lastWrite;
        out.examineError = 0;
        out.directory = S_ISDIR(current_.mode);
        out.identity.device = static_cast<std::uint64_t>(current_.device);
        out.identity.file = static_cast<std::uint64_t>(current_.inode);
        return true;
    }

    int readError() const override { return readError_; }
    std::size_t prefixLength() const override { return prefixLength_; }

    bool restart() override { return false; }
    bool nextSubdirectory(FoundEntry&) override { return false; }
    std::unique_ptr<DirectorySearch> openSubdirectory(int& error) override {
        error = ENOSYS;
        return nullptr;
    }
    void release() override {}
    int reacquire(DirectorySearch&) override { return 0; }

    // The examination that selected the entry may have been made ahead of the sweep,
    // hundreds of names earlier, and a newer file renamed over the name since must not go
    // in its place.
    int remove() override {
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
    // Files and links only. A directory, FIFO, socket or device is refused, and so is a
    // read-only file even for root: the command promises never to delete those.
    int removeIfRemovable(const EntryStatus& status) {
        if (!S_ISREG(status.mode) && !S_ISLNK(status.mode)) return EACCES;
        if (S_ISREG(status.mode) && (status.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        if (unlinkat(dirfd(directory_), currentName_, 0) != 0) return errno;
        return 0;
    }

    // Moves to the next matching entry that still exists; false at the end or on error.
    // Each entry keeps its place in directory order, and so does each failure to examine one:
    // an entry gone since the listing is passed over, any other failure ends the search as a
    // read error.
    bool advance() {
        if (!wildcard_) {
            // A plain name is looked up directly: exactly that entry, or none, with no need
            // to read what may be a huge directory.
            if (lookedUp_) return false;
            lookedUp_ = true;
            currentName_ = namePattern_.c_str();
            currentLength_ = namePattern_.size();
            pending_ = examineEntry(dirfd(directory_), currentName_, current_) == 0;
            return pending_;
        }
        for (;;) {
            int error = 0;
            if (!readAhead_->next(currentName_, currentLength_, current_, error)) {
                readError_ = readAhead_->readError();
                return false;
            }
            if (error == 0) {
                pending_ = true;
                return true;
            }
            if (error != ENOENT) {
                readError_ = error;
                return false;
            }
        }
    }

    DIR* directory_;
    std::string namePattern_;
    std::size_t prefixLength_;
    bool wildcard_;
    bool lookedUp_ = false;
    bool pending_ = false;
    const char* currentName_ = "";
    std::size_t currentLength_ = 0;
    EntryStatus current_;
    int readError_ = 0;
    std::unique_ptr<ReadAhead> readAhead_;
};

}  // namespace

std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool /*wholeTree*/) {
    const std::size_t prefixLength = pathPrefixLength(pattern);
    std::string namePattern(pattern + prefixLength);
    if (namePattern.empty()) {
        failure.reason = SearchFailure::Reason::NO_FILE_NAME;
        failure.place = pattern;
        failure.separator = '/';
        return nullptr;
    }
    const int descriptor = openDirectoryPart(std::string(pattern, prefixLength), failure);
    DIR* directory = descriptor < 0 ? nullptr : fdopendir(descriptor);
    if (directory == nullptr) {
        if (descriptor >= 0) {
            failAt(failure, prefixLength == 0 ? std::string(".") : std::string(pattern, prefixLength), errno);
            close(descriptor);
        }
        return nullptr;
    }
    auto search = std::make_unique<PosixSearch>(directory, std::move(namePattern), prefixLength);
    if (!search->start()) {
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
