// The platform operations on POSIX systems (Linux, the BSDs, macOS). Only generic POSIX
// code in this directory, one file per subject. How the Windows operations map onto POSIX:
//   FindFirstFileA/FindNextFileA -> search.cpp: opendir/readdir on the pattern's directory,
//                                   our own '*'/'?' matcher, fstatat without following links
//   _splitpath                   -> search.cpp: the pattern up to its last '/', as typed
//   GetSystemTime                -> clock.cpp: clock_gettime(CLOCK_REALTIME), to the millisecond
//   FileTimeToLocalFileTime      -> clock.cpp: the tm_gmtoff in force at the first conversion
//   GetDateFormatA               -> dates.cpp: the LC_TIME locale's D_FMT through strftime_l
//   GetTimeFormatA               -> dates.cpp: hh:mm:ss and the locale's AM_STR/PM_STR
//   _getch                       -> terminal.cpp: one byte from /dev/tty, non-canonical, unechoed
//   remove                       -> search.cpp: unlinkat relative to the searched directory
//   perror                       -> here: strerror on standard error, after flushing standard output

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace {

class PosixPlatform final : public Platform {
public:
    PosixPlatform() {
        // Full buffering for speed; the sweep flushes where order or visibility needs it.
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
        outputIsTerminal_ = isatty(STDOUT_FILENO) == 1;
    }

    void writeOut(const char* data, std::size_t size) override { std::fwrite(data, 1, size, stdout); }
    void flushOut() override { std::fflush(stdout); }
    bool outputIsTerminal() const override { return outputIsTerminal_; }

    void reportError(const char* prefix, int code) override {
        std::fflush(stdout);
        const char* text = code == ERROR_ENTRY_CHANGED ? "Changed since it was listed, so it was kept"
                                                        : std::strerror(code);
        std::fprintf(stderr, "%s: %s\n", prefix, text);
    }

    void reportLine(const char* text) override {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", text);
    }

    int readKey() override { return posix::readTerminalKey(); }

    [[noreturn]] void exitProcess(int status) override {
        std::fflush(stdout);
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
        posix::calendarOf(time, out);
        return true;
    }

    bool formatShortDate(const CalendarTime& time, char* buffer, std::size_t size) override {
        return dates_.formatShortDate(time, buffer, size);
    }

    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override {
        return dates_.formatTime(time, buffer, size);
    }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern, std::string& whyNot) override {
        return posix::openSearch(pattern, whyNot);
    }

    std::size_t pathPrefixLength(const char* pattern) const override { return posix::pathPrefixLength(pattern); }

private:
    bool outputIsTerminal_ = false;
    bool offsetKnown_ = false;
    std::int64_t offsetTicks_ = 0;
    posix::DateText dates_;
};

}  // namespace

Platform& systemPlatform() {
    static PosixPlatform platform;
    return platform;
}
