#pragma once

// The entries a sweep goes through: those of the pattern's directory, or with /S those of
// that directory and of every directory below it. A directory's entries come together, then
// its subdirectories one by one, depth first. The walk is a loop over a stack of open
// searches, never a recursion, and only the deepest few hold a handle: the rest give theirs
// up and take it again on the way back, so a tree of any depth needs a bounded number of
// handles and no more stack than a flat directory.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sweep/newest.h"

class RunReport;
struct SweepRequest;

class TreeWalk {
public:
    // `silent`: a walk that only counts, ahead of the sweep, says nothing of what it meets;
    // the sweep's own walk says it.
    TreeWalk(RunReport& report, const SweepRequest& request, bool silent);

    // Opens the pattern's directory: false, with `failure` saying why when there is more
    // to it than "nothing matched", when there is nothing to sweep.
    bool open(SearchFailure& failure);
    // The next entry that matches: never a directory under /S. Entries that cannot be
    // examined or named come too, for the sweep to report. False at the end.
    bool next(FoundEntry& entry);
    // The entry's path as its line shows it: the pattern's directory part as typed, the
    // directories below it, and the name.
    const std::string& path() const { return entryPath_; }
    // Whether the entry is one of its directory's newest, which /KEEP never deletes.
    bool keptAsNewest() const { return keptAsNewest_; }
    // The search the entry came from, which removes it.
    DirectorySearch& search() { return *levels_.back().search; }
    // The error that cut the listing of the pattern's own directory short, or 0.
    int topReadError() const { return topReadError_; }
    // The pattern's directory part as typed.
    const std::string& topPath() const { return topPath_; }

private:
    struct Level {
        std::unique_ptr<DirectorySearch> search;
        std::string path;       // as shown, ending in a separator ("" for the current directory)
        bool listed = false;    // its matching entries have all been handed over
        bool released = false;  // its handle was given up while deeper levels were walked
    };

    // Prepares the deepest level's listing: with /KEEP, a first pass finds its newest.
    void startListing(Level& level);
    // Moves to the deepest level's next subdirectory, or back up; false when the walk is over.
    bool descendOrClimb();
    void say(void (RunReport::*what)(const std::string&, int), const std::string& path, int code);

    RunReport& report_;
    const SweepRequest& request_;
    bool silent_;
    char separator_;
    std::vector<Level> levels_;
    NewestEntries newest_;
    bool keptAsNewest_ = false;
    int topReadError_ = 0;
    std::string topPath_;
    std::string entryPath_;
};
