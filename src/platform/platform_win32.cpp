// The platform operations on Windows, through the Win32 API and the Microsoft C runtime,
// each called by its own name. Only Windows code here; it builds with MSVC and MinGW-w64.
//   FindFirstFileA/FindNextFileA  -> the directory search, with the system's own wildcard
//                                    rules (case-insensitive, "*.*" matches every name)
//   _splitpath                    -> drive and directory worked out in place, so they are a
//                                    leading part of the pattern and never cut short
//   GetSystemTime                 -> SystemTimeToFileTime, to the millisecond
//   FileTimeToLocalFileTime       -> the offset it gives for now, kept for the whole run
//   GetDateFormatA/GetTimeFormatA -> LOCALE_USER_DEFAULT, the user's regional settings
//   _getch                        -> the console keyboard; no console means no key
//   remove                        -> the C runtime's remove (files only: EACCES otherwise)
//   perror                        -> perror, after flushing standard output

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <conio.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// The time picture of the command's fixed shape: 12-hour clock, literal ':' separators.
const char TIME_PICTURE[] = "hh':'mm':'ss tt";

FileTime fromFiletime(const FILETIME& time) {
    return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME toFiletime(FileTime time) {
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return result;
}

// A Win32 error as the nearest errno value, so it can be reported like any other.
int errnoFromWin32(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
        return EINVAL;
    default:
        return EIO;
    }
}

// ---------------------------------------------------------------------------------------
// Directory search

class Win32Search final : public DirectorySearch {
public:
    // Takes ownership of the handle; `first` is the entry FindFirstFileA returned with it.
    // `prefix` is the pattern's drive and directory part, which entry names are joined to.
    Win32Search(HANDLE handle, const WIN32_FIND_DATAA& first, std::string prefix)
        : handle_(handle), data_(first), prefix_(std::move(prefix)) {}

    ~Win32Search() override { FindClose(handle_); }

    Win32Search(const Win32Search&) = delete;
    Win32Search& operator=(const Win32Search&) = delete;

    bool next(FoundEntry& out) override {
        if (!pending_) {
            if (finished_) return false;
            if (!FindNextFileA(handle_, &data_)) {
                finished_ = true;
                // Only the end of the listing is a normal end; anything else (a network
                // drive gone, a device error) cut it short and must be said.
                const DWORD error = GetLastError();
                if (error != ERROR_NO_MORE_FILES) readError_ = errnoFromWin32(error);
                return false;
            }
        }
        pending_ = false;
        out.name = data_.cFileName;
        out.nameLength = std::strlen(data_.cFileName);
        out.lastWrite = fromFiletime(data_.ftLastWriteTime);
        return true;
    }

    int readError() const override { return readError_; }

    int removeListed() override { return removeEntry(entryPath().c_str()); }

    int removeIfUnchanged() override {
        // After a wait (the user was asked), only the entry as it was judged may go: one
        // written to since the listing (or replaced by a newer one of the same name) is no
        // longer older than the cutoff.
        const std::string path = entryPath();
        WIN32_FILE_ATTRIBUTE_DATA now;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &now)) return errnoFromWin32(GetLastError());
        if (fromFiletime(now.ftLastWriteTime) != fromFiletime(data_.ftLastWriteTime)) return ERROR_ENTRY_CHANGED;
        return removeEntry(path.c_str());
    }

private:
    std::string entryPath() const { return prefix_ + data_.cFileName; }

    // The C runtime's remove deletes files only: a directory, a read-only file and a
    // file open elsewhere without delete sharing all fail with EACCES.
    static int removeEntry(const char* path) { return std::remove(path) != 0 ? errno : 0; }

    HANDLE handle_;
    WIN32_FIND_DATAA data_;
    std::string prefix_;
    bool pending_ = true;
    bool finished_ = false;
    int readError_ = 0;
};

// ---------------------------------------------------------------------------------------
// Console keys

class ConsoleKeys {
public:
    // One key code from the console keyboard; KEY_NONE when there is no console. _getch
    // reads the console itself, never standard input, so the check is made on CONIN$:
    // without a console _getch would fail at once on every call, and the prompt would spin.
    int read() {
        if (!checked_) {
            checked_ = true;
            HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
            if (input != INVALID_HANDLE_VALUE) {
                DWORD mode = 0;
                available_ = GetConsoleMode(input, &mode) != 0;
                CloseHandle(input);
            }
        }
        if (!available_) return KEY_NONE;
        // Function and cursor keys come as a lead code 0 or 0xE0 and then a second code;
        // both are handed on, and the prompt ignores them.
        const int key = _getch();
        if (key == EOF) {
            available_ = false;
            return KEY_NONE;
        }
        return key;
    }

private:
    bool checked_ = false;
    bool available_ = false;
};

// ---------------------------------------------------------------------------------------
// The platform

bool toSystemTime(const CalendarTime& time, SYSTEMTIME& out) {
    SYSTEMTIME fields = {};
    fields.wYear = static_cast<WORD>(time.year);
    fields.wMonth = static_cast<WORD>(time.month);
    fields.wDay = static_cast<WORD>(time.day);
    fields.wHour = static_cast<WORD>(time.hour);
    fields.wMinute = static_cast<WORD>(time.minute);
    fields.wSecond = static_cast<WORD>(time.second);
    fields.wMilliseconds = static_cast<WORD>(time.millisecond);
    // A round trip fills in the day of the week, which the date pictures may show.
    FILETIME asFiletime;
    return SystemTimeToFileTime(&fields, &asFiletime) && FileTimeToSystemTime(&asFiletime, &out);
}

int bufferLength(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// A report that cannot be written (a full disk under a redirected output) is said once on
// standard error, with the C runtime's reason; the sweep goes on all the same.
void noticeOutputFailure(int error) {
    static bool reported = false;
    if (reported) return;
    reported = true;
    std::fprintf(stderr, "agecull: cannot write to standard output: %s\n", std::strerror(error));
}

void flushStandardOutput() {
    if (std::fflush(stdout) != 0) noticeOutputFailure(errno);
}

class Win32Platform final : public Platform {
public:
    Win32Platform() {
        // Full buffering for speed; the sweep flushes where order or visibility needs it.
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
        DWORD mode = 0;
        outputIsTerminal_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }

    void writeOut(const char* data, std::size_t size) override {
        if (std::fwrite(data, 1, size, stdout) != size) noticeOutputFailure(errno);
    }
    void flushOut() override { flushStandardOutput(); }
    bool outputIsTerminal() const override { return outputIsTerminal_; }

    void reportError(const char* prefix, int code) override {
        flushStandardOutput();
        if (code == ERROR_ENTRY_CHANGED) {
            std::fprintf(stderr, "%s: %s\n", prefix, "Changed since it was listed, so it was kept");
            return;
        }
        errno = code;
        std::perror(prefix);
    }

    int readKey() override {
        flushStandardOutput();
        return keys_.read();
    }

    // Ctrl-C and Ctrl-Break keep the console's own handling here: they end the run at once.
    void holdInterruptions() override {}
    void endIfInterrupted() override {}

    [[noreturn]] void exitProcess(int status) override {
        flushStandardOutput();
        std::exit(status);
    }

    FileTime currentTime() override {
        SYSTEMTIME now;
        GetSystemTime(&now);
        FILETIME asFiletime;
        if (!SystemTimeToFileTime(&now, &asFiletime)) return 0;
        return fromFiletime(asFiletime);
    }

    FileTime toLocalTime(FileTime utc) override {
        if (!offsetKnown_) {
            // The offset in force now, taken once, so that a daylight saving change during
            // the run cannot reorder entries against the cutoff.
            offsetKnown_ = true;
            const FileTime now = currentTime();
            const FILETIME nowFiletime = toFiletime(now);
            FILETIME local;
            if (FileTimeToLocalFileTime(&nowFiletime, &local)) {
                offsetTicks_ = static_cast<std::int64_t>(fromFiletime(local) - now);
            }
        }
        // Applied here rather than by further calls, clamped at both ends of the scale.
        return shiftFileTime(utc, offsetTicks_);
    }

    bool toCalendar(FileTime time, CalendarTime& out) override {
        const FILETIME asFiletime = toFiletime(time);
        SYSTEMTIME fields;
        // Fails for times past the year 30827, which have no calendar fields.
        if (!FileTimeToSystemTime(&asFiletime, &fields)) return false;
        out.year = fields.wYear;
        out.month = fields.wMonth;
        out.day = fields.wDay;
        out.hour = fields.wHour;
        out.minute = fields.wMinute;
        out.second = fields.wSecond;
        out.millisecond = fields.wMilliseconds;
        return true;
    }

    bool formatShortDate(const CalendarTime& time, char* buffer, std::size_t size) override {
        SYSTEMTIME fields;
        if (!toSystemTime(time, fields)) return false;
        return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &fields, nullptr, buffer, bufferLength(size)) > 0;
    }

    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override {
        SYSTEMTIME fields;
        if (!toSystemTime(time, fields)) return false;
        return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &fields, TIME_PICTURE, buffer, bufferLength(size)) > 0;
    }

    void reportLine(const char* text) override {
        flushStandardOutput();
        std::fprintf(stderr, "%s\n", text);
    }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern, std::string& whyNot) override {
        WIN32_FIND_DATAA first;
        HANDLE handle = FindFirstFileA(pattern, &first);
        if (handle == INVALID_HANDLE_VALUE) {
            // No match at all is the one failure with nothing more to say.
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) {
                whyNot = std::string(pattern) + ": " + std::strerror(errnoFromWin32(error));
            }
            return nullptr;
        }
        return std::unique_ptr<DirectorySearch>(
            new Win32Search(handle, first, std::string(pattern, pathPrefixLength(pattern))));
    }

    // _splitpath's drive ("C:" when the second character is ':') and directory (up to the
    // last '\' or '/'), measured in the pattern itself: the directory part is never cut
    // at 255 characters the way _splitpath's copy is, so no entry path is built from a
    // shortened one. In a double-byte code page a trail byte can equal '\', so lead bytes
    // take their trail byte with them.
    std::size_t pathPrefixLength(const char* pattern) const override {
        std::size_t length = 0;
        if (pattern[0] != '\0' && pattern[1] == ':') length = 2;
        for (std::size_t i = length; pattern[i] != '\0'; ++i) {
            const char c = pattern[i];
            if (c == '\\' || c == '/') {
                length = i + 1;
            } else if (IsDBCSLeadByte(static_cast<BYTE>(c)) && pattern[i + 1] != '\0') {
                ++i;
            }
        }
        return length;
    }

private:
    bool outputIsTerminal_ = false;
    bool offsetKnown_ = false;
    std::int64_t offsetTicks_ = 0;
    ConsoleKeys keys_;
};

}  // namespace

Platform& systemPlatform() {
    static Win32Platform platform;
    return platform;
}
