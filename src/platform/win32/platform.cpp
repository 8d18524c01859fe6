// The platform operations on Windows, through the Win32 API and the Microsoft C runtime,
// each called by its own name. Only Windows code in this directory, one file per subject;
// it builds with MSVC and MinGW-w64. How the operations are provided:
//   FindFirstFileA/FindNextFileA  -> search.cpp: GetFileInformationByHandleEx over the opened
//                                    directory, long names matched here, never short names
//   _splitpath                    -> pattern.cpp: drive and directory measured in the pattern
//   (a tree, for /S)              -> tree.cpp: subdirectories opened relative to their parent's
//                                    handle, never through a reparse point, checked by file id
//   GetSystemTime                 -> clock.cpp: SystemTimeToFileTime, to the millisecond
//   FileTimeToLocalFileTime       -> clock.cpp: the offset it gives for now, kept for the run
//   GetDateFormatA/GetTimeFormatA -> clock.cpp: the user's regional settings, ANSI code page
//   _getch                        -> console.cpp: the console keyboard; no console, no key; the
//                                    question shown on CONOUT$ when standard output is not it
//   remove                        -> removal.cpp: by handle, the very file listed (files only)
//   perror                        -> here: the line the report words, after standard output
// Names are the process's ANSI code page, which the embedded manifest makes UTF-8 where
// Windows honours it (names.cpp says what happens where it does not).

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

class Win32Platform final : public Platform {
public:
    Win32Platform() { win32::prepareConsole(); }
    ~Win32Platform() override { win32::restoreConsole(); }

    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void writeOut(const char* data, std::size_t size) override { win32::writeOut(data, size); }
    void flushOut() override { win32::flushOut(); }
    bool outputIsTerminal() const override { return win32::outputIsTerminal(); }
    bool errorIsTerminal() const override { return win32::errorIsTerminal(); }

    void reportLine(const char* text) override { win32::reportLine(text); }
    std::string systemErrorText(int code) override { return win32::systemText(static_cast<DWORD>(code)); }
    void nameOutputFailure(const OutputFailureWords& words) override { win32::nameOutputFailure(words); }
    bool outputFailed() const override { return win32::outputFailed(); }
    bool readerGone() override { return win32::readerGone(); }
    [[noreturn]] void endForGoneReader() override { win32::endForGoneReader(); }
    void showOnTerminal(const char* text, std::size_t size) override { win32::showOnTerminal(text, size); }
    // No journal on Windows.
    bool errorIsJournal() const override { return false; }

    int readKey() override { return win32::readKey(); }

    void holdInterruptions() override { win32::holdInterruptions(); }
    void endIfInterrupted() override { win32::endIfInterrupted(); }

    [[noreturn]] void exitProcess(int status) override {
        win32::endIfInterrupted();
        win32::restoreConsole();
        std::exit(status);
    }

    FileTime currentTime() override { return win32::currentTime(); }

    FileTime toLocalTime(FileTime utc) override {
        if (!offsetKnown_) {
            // The offset in force now, taken once, so that a daylight saving change during
            // the run cannot reorder entries against the cutoff.
            offsetTicks_ = win32::localOffsetNow();
            offsetKnown_ = true;
        }
        return shiftFileTime(utc, offsetTicks_);
    }

    bool toCalendar(FileTime time, CalendarTime& out) override { return win32::toCalendar(time, out); }

    bool shortDateNumbers(const CalendarTime& time, int numbers[3]) override {
        return win32::shortDateNumbers(time, numbers);
    }

    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override {
        return win32::formatTime(time, buffer, size);
    }

    char pathSeparator() const override { return '\\'; }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree) override {
        return win32::openSearch(pattern, failure, wholeTree);
    }

private:
    bool offsetKnown_ = false;
    std::int64_t offsetTicks_ = 0;
};

}  // namespace

Platform& systemPlatform() {
    static Win32Platform platform;
    return platform;
}
