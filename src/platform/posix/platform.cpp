// The platform operations on POSIX systems (Linux, the BSDs, macOS). Only generic POSIX
// code in this directory, one file per subject. How the Windows operations map onto POSIX:
//   FindFirstFileA/FindNextFileA -> search.cpp: opendir/readdir on the pattern's directory,
//                                   our own '*'/'?' matcher, fstatat without following links
//   _splitpath                   -> search.cpp: the pattern up to its last '/', as typed
//   (a tree, for /S)             -> tree.cpp: subdirectories listed and opened by handle, never
//                                   through a link or into another mount, checked by identity
//   GetSystemTime                -> clock.cpp: clock_gettime(CLOCK_REALTIME), to the millisecond
//   FileTimeToLocalFileTime      -> clock.cpp: the tm_gmtoff in force at the first conversion
//   GetDateFormatA               -> dates.cpp: the order of day, month and year in the
//                                   LC_TIME locale's D_FMT, filled from the calendar
//   GetTimeFormatA               -> dates.cpp: hh:mm:ss and the locale's AM_STR/PM_STR
//   _getch                       -> terminal.cpp: one byte from /dev/tty, non-canonical, unechoed;
//                                   the question shown there too when standard output is not it
//   (Ctrl-C, kill, a hang-up)    -> terminal.cpp: SIGINT, SIGTERM and SIGHUP held until the entry
//                                   in hand is recorded, then acted on; a write to standard
//                                   output or error still blocked a second after one is given up
//   remove                       -> search.cpp: unlinkat relative to the searched directory
//   perror                       -> here: the line the report words, after flushing standard output,
//                                   with write(2)
//   fwrite/fflush on stdout      -> output.cpp: a 4 KiB buffer of our own and write(2); a failed
//                                   write is said once on standard error and the run goes on,
//                                   unless the reader of a pipe has gone: then it ends there
//   (the systemd journal)        -> here: JOURNAL_STREAM against fstat of standard error

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace {

// systemd sets JOURNAL_STREAM for a service whose standard error it connects to the
// journal; standard error may since have been redirected, hence the comparison.
bool errorIsJournalStream() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat info;
    if (stream == nullptr || fstat(STDERR_FILENO, &info) != 0) return false;
    char own[64];
    std::snprintf(own, sizeof own, "%" PRIuMAX ":%" PRIuMAX, static_cast<std::uintmax_t>(info.st_dev),
                  static_cast<std::uintmax_t>(info.st_ino));
    return std::strcmp(stream, own) == 0;
}

class PosixPlatform final : public Platform {
public:
    PosixPlatform() {
        // Full buffering for speed; the sweep flushes where order or visibility needs it.
        posix::startOutput();
        outputIsTerminal_ = isatty(STDOUT_FILENO) == 1;
        errorIsTerminal_ = isatty(STDERR_FILENO) == 1;
        errorIsJournal_ = errorIsJournalStream();
    }
    ~PosixPlatform() override { posix::finishTerminal(); }

    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    void writeOut(const char* data, std::size_t size) override { posix::writeOut(data, size); }
    void flushOut() override { posix::flushOut(); }
    bool outputIsTerminal() const override { return outputIsTerminal_; }
    bool errorIsTerminal() const override { return errorIsTerminal_; }

    void reportLine(const char* text) override {
        posix::flushOut();
        posix::writeErrorLine(text);
    }

    std::string systemErrorText(int code) override { return std::strerror(code); }
    void nameOutputFailure(const OutputFailureWords& words) override { posix::nameOutputFailure(words); }
    bool outputFailed() const override { return posix::outputFailed(); }
    bool readerGone() override { return posix::readerGone(); }
    [[noreturn]] void endForGoneReader() override { posix::endForGoneReader(); }
    bool errorIsJournal() const override { return errorIsJournal_; }

    void showOnTerminal(const char* text, std::size_t size) override { posix::showOnTerminal(text, size); }

    int readKey() override { return posix::readKey(); }
    void holdInterruptions() override { posix::holdInterruptions(); }
    void endIfInterrupted() override { posix::endIfInterrupted(); }

    [[noreturn]] void exitProcess(int status) override {
        posix::flushOut();
        posix::endIfInterrupted();
        std::exit(status);
    }

    FileTime currentTime() override { return posix::currentTime(); }

    FileTime toLocalTime(FileTime utc) override {
        if (!offsetKnown_) {
            offsetTicks_ = posix::localOffsetNow();
            offsetKnown_ = true;
        }
        return shiftFileTime(utc, offsetTicks_);
    }

    bool toCalendar(FileTime time, CalendarTime& out) override {
        posix::toCalendar(time, out);
        return true;
    }

    bool shortDateNumbers(const CalendarTime& time, int numbers[3]) override {
        return dates_.shortDateNumbers(time, numbers);
    }

    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override {
        return dates_.formatTime(time, buffer, size);
    }

    char pathSeparator() const override { return '/'; }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree) override {
        return posix::openSearch(pattern, failure, wholeTree);
    }

private:
    bool outputIsTerminal_ = false;
    bool errorIsTerminal_ = false;
    bool errorIsJournal_ = false;
    bool offsetKnown_ = false;
    std::int64_t offsetTicks_ = 0;
    posix::DateText dates_;
};

}  // namespace

Platform& systemPlatform() {
    static PosixPlatform platform;
    return platform;
}
