#pragma once

// What a run came to, and the one place that words its error lines. agecull and
// agecull-strict share the engine; they differ only here: agecull keeps its own lines and
// always ends with 0, agecull-strict names itself on every error line and ends with a
// status a script can act on.

#include <cstdint>
#include <string>

class Platform;
struct SearchFailure;

enum class Program { AGECULL, AGECULL_STRICT };

// What went wrong in a run, filled in by the front end and the sweep as it happens.
struct RunOutcome {
    bool argumentsRejected = false;  // a message about the command line ended the run
    bool searchFailed = false;       // the directory could not be searched (not "nothing matched")
    std::int32_t failedRemovals = 0;
    std::int32_t unusableNames = 0;  // old entries left alone for a name the system cannot give
    bool listingCutShort = false;    // a read error ended the listing early
    bool stopped = false;            // Esc, or no terminal to answer the question
    std::int32_t failedExaminations = 0;  // entries that could not be examined
    std::int32_t directoriesNotEntered = 0;  // subdirectories that could not be walked
    bool capped = false;             // /MAX refused the run, or held deletions at its cap
};

// Exit statuses of agecull-strict.
constexpr int STATUS_DONE = 0;     // every selected entry handled as asked, or nothing matched
constexpr int STATUS_FAILED = 1;   // a removal failed, the listing or the output fell short, or it stopped
constexpr int STATUS_REFUSED = 2;  // the command line was rejected or the search could not be made
constexpr int STATUS_CAPPED = 3;   // more would have been deleted than /MAX allows

class RunReport {
public:
    // Tells the platform how to word a failed write to standard output.
    RunReport(Platform& platform, Program program);

    Platform& platform() const { return platform_; }
    Program program() const { return program_; }
    const RunOutcome& outcome() const { return outcome_; }

    // Each records the fact and writes what the program says about it on standard error.

    // `message` ended the run on standard output.
    void argumentsRejected(const char* message);
    void searchFailed(const SearchFailure& failure);
    // `shownPath` is the path as its entry line shows it (masked again when only standard
    // error is a terminal).
    void removalFailed(const std::string& shownPath, int code);
    // An entry whose name cannot be written in `codePage` was left alone; `selected` when
    // it was old enough to be handled.
    void unusableName(const std::string& path, unsigned codePage, bool selected);
    // `directory` is the pattern's directory part as typed, "" for the current directory.
    void listingCutShort(const std::string& directory, int code);
    // The entry at `shownPath` could not be examined.
    void examinationFailed(const std::string& shownPath, int code);
    // The subdirectory at `shownPath` (ending in its separator) could not be walked.
    void directoryNotEntered(const std::string& shownPath, int code);
    // `count` entries would have been deleted, more than `cap` allows.
    void overCap(std::int64_t count, std::int64_t cap, bool listOnly);
    // The entry at `shownPath` was left alone: `cap` deletions were made already.
    void capReached(const std::string& shownPath, std::int64_t cap);
    // `message` ends the run at the question, on standard output; `agecullSaysItToo`
    // repeats it on agecull's standard error as well (agecull-strict always does).
    void stopped(const char* message, bool agecullSaysItToo);

    // agecull: 0, always. agecull-strict: the worst of what happened, standard output's
    // failures included, so it is read once standard output has been flushed.
    int exitStatus() const;

private:
    bool strict() const { return program_ == Program::AGECULL_STRICT; }
    // "<3>" where the journal reads priorities, the program's name and ": ".
    std::string lead() const;
    // "<place>: <why>" for a search that could not be made.
    std::string words(const SearchFailure& failure) const;
    // `text` masked for standard error when that is a terminal.
    std::string shown(const std::string& text) const;
    void line(const std::string& text);

    Platform& platform_;
    Program program_;
    bool journal_;
    RunOutcome outcome_;
};
