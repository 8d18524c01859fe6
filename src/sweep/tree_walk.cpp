#include "sweep/tree_walk.h"

#include <cerrno>

#include "sweep/report.h"
#include "sweep/sweep.h"

namespace {

// Searches that keep their handle at once: the deepest ones, where the walk is.
constexpr std::size_t OPEN_LEVELS = 8;

}  // namespace

TreeWalk::TreeWalk(RunReport& report, const SweepRequest& request, bool silent)
    : report_(report),
      request_(request),
      silent_(silent),
      separator_(report.platform().pathSeparator()),
      newest_(request.keepNewest) {}

bool TreeWalk::open(SearchFailure& failure) {
    std::unique_ptr<DirectorySearch> search =
        report_.platform().openSearch(request_.pattern, failure, request_.wholeTree);
    if (!search) return false;
    Level top;
    top.path.assign(request_.pattern, search->prefixLength());
    topPath_ = top.path;
    top.search = std::move(search);
    levels_.push_back(std::move(top));
    startListing(levels_.back());
    return true;
}

void TreeWalk::startListing(Level& level) {
    if (request_.keepNewest == 0) return;
    // The newest are known only once the whole directory has been seen: a first pass finds
    // them, by identity, so that a file renamed before the second pass keeps its place.
    newest_.clear();
    FoundEntry entry;
    while (level.search->next(entry)) {
        if (entry.examineError != 0 || entry.unusableInCodePage != 0 || entry.directory) continue;
        newest_.offer(entry.lastWrite, entry.name, entry.nameLength, entry.identity);
    }
    newest_.seal();
    // Without the whole listing the newest are not known, and none of its entries may go.
    int error = level.search->readError();
    if (error == 0 && level.search->restart()) return;
    if (error == 0) error = level.search->readError() != 0 ? level.search->readError() : EIO;
    level.listed = true;
    if (levels_.size() == 1) {
        topReadError_ = error;
    } else {
        say(&RunReport::listingCutShort, level.path, error);
    }
}

bool TreeWalk::next(FoundEntry& entry) {
    while (!levels_.empty()) {
        Level& level = levels_.back();
        if (!level.listed) {
            if (level.search->next(entry)) {
                if (request_.wholeTree && entry.directory && entry.examineError == 0) continue;
                keptAsNewest_ = request_.keepNewest > 0 && entry.examineError == 0 && newest_.holds(entry.identity);
                entryPath_.assign(level.path).append(entry.name, entry.nameLength);
                return true;
            }
            level.listed = true;
            if (const int error = level.search->readError()) {
                if (levels_.size() == 1) {
                    topReadError_ = error;
                } else {
                    say(&RunReport::listingCutShort, level.path, error);
                }
            }
        }
        if (!request_.wholeTree || !descendOrClimb()) return false;
    }
    return false;
}

bool TreeWalk::descendOrClimb() {
    Platform& platform = report_.platform();
    // Between directories no entry is in hand: a request to stop is acted on here, however
    // long the walk goes without a match.
    platform.endIfInterrupted();
    Level& level = levels_.back();
    FoundEntry subdirectory;
    if (level.search->nextSubdirectory(subdirectory)) {
        const std::string path = std::string(level.path).append(subdirectory.name, subdirectory.nameLength) + separator_;
        // Under a name that is not its own it could be taken for another directory.
        if (subdirectory.unusableInCodePage != 0) {
            if (!silent_) report_.unusableName(path, subdirectory.unusableInCodePage, true);
            return true;
        }
        int error = 0;
        std::unique_ptr<DirectorySearch> child = level.search->openSubdirectory(error);
        if (!child) {
            // Another file system or a mount point is passed over in silence.
            if (error != 0) say(&RunReport::directoryNotEntered, path, error);
            return true;
        }
        Level below;
        below.search = std::move(child);
        below.path = path;
        levels_.push_back(std::move(below));
        if (levels_.size() > OPEN_LEVELS) {
            Level& far = levels_[levels_.size() - 1 - OPEN_LEVELS];
            if (!far.released) {
                far.search->release();
                far.released = true;
            }
        }
        startListing(levels_.back());
        return true;
    }
    if (const int error = level.search->readError()) say(&RunReport::listingCutShort, level.path, error);
    if (levels_.size() == 1) return false;
    Level& parent = levels_[levels_.size() - 2];
    if (parent.released) {
        const int error = parent.search->reacquire(*level.search);
        if (error != 0) {
            // The way back is not the way down: what is left above is not swept.
            say(&RunReport::directoryNotEntered, parent.path, error);
            levels_.clear();
            return false;
        }
        parent.released = false;
    }
    levels_.pop_back();
    return true;
}

void TreeWalk::say(void (RunReport::*what)(const std::string&, int), const std::string& path, int code) {
    if (!silent_) (report_.*what)(path.empty() ? std::string(".") : path, code);
}
