#pragma once

// The operations the logic needs from the operating system, at the level the logic thinks
// in. posix/ and win32/ implement them; CMake compiles one side.
// Tests drive the logic through a fake implementation instead.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/types.h"

// Calendar fields of a FileTime, with no zone conversion.
struct CalendarTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// readKey's answer when no key can ever arrive (no terminal, or it was closed).
constexpr int KEY_NONE = -1;

// Error codes are the C runtime's errno values, plus these of our own.
// The entry is no longer the file that was examined (other file, or written to since).
constexpr int ERROR_ENTRY_CHANGED = -2;

// Why a search could not be made: what failed and where, as facts. The logic words them.
struct SearchFailure {
    enum class Reason {
        NONE,                      // the directory was searched and nothing matched
        RUNTIME_ERROR,             // `code`, a C runtime errno value, at `place`
        SYSTEM_ERROR,              // `code`, the system's own error number, at `place`
        NO_FILE_NAME,              // the pattern `place` has nothing after its last `separator`
        NOT_IN_CODE_PAGE,          // the pattern `place` as typed cannot be held in `codePage`
        LINK_IN_SHARED_DIRECTORY,  // the link `place` lies in a directory of `mode` that others may write
        LINK_PLACED_BY_STRANGER,   // the link `place` was placed by `user`, who may not lead there
        CLIMB_AFTER_STRANGER,      // the '..' at `place` comes after a link `user` placed
        // the '..' at `place` comes after a directory `user` could have moved, or (`mode` not 0)
        // one held by a directory of `mode` that others may write
        CLIMB_AFTER_MOVABLE_DIRECTORY,
    };
    Reason reason = Reason::NONE;
    std::string place;
    int code = 0;
    char separator = '/';
    unsigned codePage = 0;
    unsigned mode = 0;
    // For the two kinds of stranger: who placed the link (the owner of the directory that
    // holds it, or of the link itself), and who owns where it leads. A user who owns it
    // but cannot reach it has `targetOwner` == `user`.
    bool placedByHolder = false;
    unsigned long user = 0;
    unsigned long targetOwner = 0;

    bool failed() const { return reason != Reason::NONE; }
};

// What the logic says when standard output cannot be written. Worded before the run, as
// a failure may come where nothing can be worded any more (a signal ending the run).
struct OutputFailureWords {
    std::string cannotWrite = "cannot write to standard output";  // then ": <the system's text>"
    std::string readerGone = "; no further files are deleted";    // after that, when no reader is left
    std::string abandoned;  // a whole line: the run ended while a write was blocked
    int readerGoneStatus = 0;  // the exit status when the reader left and SIGPIPE is ignored
};

// Who an entry is, whatever its name: device and inode on POSIX, volume serial number and
// file id on Windows. Equal identities are the same file.
struct EntryIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const EntryIdentity& other) const { return device == other.device && file == other.file; }
    bool operator!=(const EntryIdentity& other) const { return !(*this == other); }
};

// One entry of a directory search: the name alone (not the path) and its own UTC
// last-write time. `name` stays valid until the next call to next() or nextSubdirectory().
struct FoundEntry {
    const char* name = "";
    std::size_t nameLength = 0;
    FileTime lastWrite = 0;
    // Not 0 when the name cannot be written in this code page (Windows' ANSI one): shown
    // or removed under another name it could be taken for another file, so it is left alone.
    unsigned unusableInCodePage = 0;
    // Not 0 when the entry could not be examined (an errno value other than "gone"): its
    // time, kind and identity are then unknown, and it is never removed.
    int examineError = 0;
    // A directory itself (never a link to one).
    bool directory = false;
    EntryIdentity identity;
};

// A search over the entries matching one pattern, in the order the system lists them.
// Entries stream one at a time; the directory is never held in memory whole.
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;

    // Fills `out` with the next matching entry; false at the end or on a read failure.
    virtual bool next(FoundEntry& out) = 0;

    // After next() returned false: 0 at the normal end, otherwise the error that cut the
    // listing short.
    virtual int readError() const = 0;

    // Length of the pattern's leading drive and directory part, exactly as typed.
    virtual std::size_t prefixLength() const = 0;

    // Removes the entry last returned by next(). Files and links only: directories,
    // special files and read-only files are refused with EACCES. The entry is looked at
    // afresh first, relative to the searched directory: one that is no longer the very file
    // next() handed over, unchanged, is kept with ERROR_ENTRY_CHANGED. 0 on success,
    // otherwise an error code.
    virtual int remove() = 0;

    // Starts the listing again from the first entry, for a second pass over the directory
    // (next() then hands the entries over afresh). False, with readError() set, when the
    // directory cannot be read again.
    virtual bool restart() = 0;

    // The directory's subdirectories, for walking a tree: after next() has come to its
    // end, each subdirectory in turn whatever its name, with its name, time and identity.
    // Never "." or "..", a link, a junction or other reparse point, nor a directory on
    // another file system or mounted there (these are passed over in silence). False at the
    // end; readError() then says whether the listing ended early.
    virtual bool nextSubdirectory(FoundEntry& out) = 0;
    // Opens the subdirectory last returned by nextSubdirectory() as a search of its own,
    // over the same name pattern, relative to this directory's handle and never through a
    // link, checked to be the very directory that was listed. Null with `error` (an errno
    // value, or ERROR_ENTRY_CHANGED for one renamed or replaced since) when it cannot be.
    virtual std::unique_ptr<DirectorySearch> openSubdirectory(int& error) = 0;
    // Gives up the directory's handle while a subdirectory deep below is walked, keeping
    // what is left of its listing in memory, so that open handles stay bounded however deep
    // the tree. Only called after nextSubdirectory() has started.
    virtual void release() = 0;
    // Takes a handle again after release(), through `child` (the subdirectory last opened
    // from this one, still open), checked to be this very directory: 0, or an errno value,
    // or ERROR_ENTRY_CHANGED when it was moved meanwhile.
    virtual int reacquire(DirectorySearch& child) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Standard output, buffered; flushOut() makes everything written so far visible.
    virtual void writeOut(const char* data, std::size_t size) = 0;
    void writeText(const char* text) { writeOut(text, std::strlen(text)); }
    virtual void flushOut() = 0;
    // Whether standard output is a terminal; read once at start-up.
    virtual bool outputIsTerminal() const = 0;
    // Whether standard error is a terminal; read once at start-up.
    virtual bool errorIsTerminal() const = 0;
    // Flushes standard output, then writes `text` and a line break to standard error.
    virtual void reportLine(const char* text) = 0;
    // The system's own text for one of its error numbers (SearchFailure::SYSTEM_ERROR).
    virtual std::string systemErrorText(int code) = 0;
    // The first write to standard output that fails (a full disk, a closed pipe) is said
    // on standard error in these words; later ones add nothing.
    virtual void nameOutputFailure(const OutputFailureWords& words) = 0;
    // Whether a write to standard output has failed so far.
    virtual bool outputFailed() const = 0;
    // Whether the reader of standard output has gone (a pipe or socket nobody reads any
    // more): nobody will see the record of another removal.
    virtual bool readerGone() = 0;
    // Says once on standard error that the reader is gone and no further files are
    // deleted (OutputFailureWords), then ends the process as a filter whose reader left.
    [[noreturn]] virtual void endForGoneReader() = 0;
    // Whether standard error is the systemd journal's stream: JOURNAL_STREAM holds
    // "<device>:<inode>" of standard error itself. Read once at start-up.
    virtual bool errorIsJournal() const = 0;

    // Shows `text` also on the terminal that keys come from, when standard output is not
    // that terminal (redirected to a file, say), so that whoever answers sees the question;
    // otherwise does nothing. Standard output keeps its own bytes either way.
    virtual void showOnTerminal(const char* text, std::size_t size) = 0;
    // One key code from the keyboard (not standard input), unechoed, without Enter.
    // KEY_NONE when none can ever come. Flushes standard output first, once the keyboard
    // is ready, so a question on screen can be answered at once.
    virtual int readKey() = 0;
    // Ends the process with `status` after flushing standard output.
    [[noreturn]] virtual void exitProcess(int status) = 0;

    // From now on a request to end the run (Ctrl-C, kill, a hang-up) is held until the
    // next endIfInterrupted, so the entry in hand is finished and recorded; while readKey
    // waits, one ends the process at once.
    virtual void holdInterruptions() = 0;
    // Where the run may stop: after a held request, flushes standard output and ends the
    // process the way the request asked (by the same signal); otherwise returns.
    virtual void endIfInterrupted() = 0;

    // UTC now, to the millisecond.
    virtual FileTime currentTime() = 0;
    // Shifted by the local offset in force now; the same offset for a whole run.
    virtual FileTime toLocalTime(FileTime utc) = 0;
    // Calendar fields, no zone conversion. False when the value has none.
    virtual bool toCalendar(FileTime time, CalendarTime& out) = 0;
    // The user's short date for `time` as three numbers: day, month and year in the order
    // the user's locale writes them, a year it writes with two digits as those two (26 for
    // 2026, 5 for 2005), and 0 for a number the short date leaves out. POSIX takes the order
    // from the locale's date format and the numbers from `time`; Windows reads them back
    // from GetDateFormatA's short date, which is numeric there. False when it cannot be made.
    virtual bool shortDateNumbers(const CalendarTime& time, int numbers[3]) = 0;
    // The time for the picture hh':'mm':'ss tt, e.g. "03:04:05 PM". False on failure.
    virtual bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) = 0;

    // The separator this system writes between a directory and a name in a path.
    virtual char pathSeparator() const = 0;

    // Opens a search over `pattern`; null when it cannot be opened or nothing matches, with
    // `failure` saying which (its reason NONE when the directory was searched and nothing
    // matched).
    // With `wholeTree`, the search opens whenever the directory does, even with nothing in it
    // matching, since its subdirectories may hold matches.
    virtual std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure,
                                                        bool wholeTree) = 0;
};

// The implementation for the system the program was built for.
Platform& systemPlatform();
