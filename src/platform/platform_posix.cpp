// The platform operations on POSIX systems (Linux, the BSDs, macOS). Only generic POSIX
// code here. How the Windows operations map onto POSIX:
//   FindFirstFileA/FindNextFileA -> opendir/readdir on the pattern's directory, our own
//                                   '*'/'?' matcher, and fstatat without following links
//   _splitpath                   -> the pattern up to its last '/', as typed
//   GetSystemTime                -> clock_gettime(CLOCK_REALTIME), cut to the millisecond
//   FileTimeToLocalFileTime      -> the tm_gmtoff in force at the first conversion
//   GetDateFormatA               -> the LC_TIME locale's D_FMT through strftime_l
//   GetTimeFormatA               -> hh:mm:ss and the locale's AM_STR/PM_STR
//   _getch                       -> one byte from /dev/tty in non-canonical, unechoed mode
//   remove                       -> unlinkat relative to the searched directory, files only
//   perror                       -> strerror on standard error, after flushing standard output

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/wildcard.h"

namespace {

constexpr std::int64_t TICKS_PER_SECOND = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr FileTime MAX_FILE_TIME = ~static_cast<FileTime>(0);
// After a lone ESC byte, how long to wait for the rest of a key's escape sequence.
constexpr int ESCAPE_SEQUENCE_WAIT_MS = 50;

// Seconds and nanoseconds since 1970 as a FileTime, clamped to the FileTime range.
FileTime fileTimeFromUnix(std::int64_t seconds, long nanoseconds) {
    if (seconds < -EPOCH_OFFSET_SECONDS) return 0;
    const std::uint64_t since1601 = static_cast<std::uint64_t>(seconds + EPOCH_OFFSET_SECONDS);
    if (since1601 > (MAX_FILE_TIME - TICKS_PER_SECOND) / TICKS_PER_SECOND) return MAX_FILE_TIME;
    return since1601 * TICKS_PER_SECOND + static_cast<std::uint64_t>(nanoseconds / 100);
}

FileTime lastWriteOf(const struct stat& info) {
#if defined(__APPLE__)
    return fileTimeFromUnix(info.st_mtimespec.tv_sec, info.st_mtimespec.tv_nsec);
#else
    return fileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
#endif
}

// ---------------------------------------------------------------------------------------
// Directory search

class PosixSearch final : public DirectorySearch {
public:
    // Takes ownership of the open directory. `namePattern` is the pattern's last component.
    PosixSearch(DIR* directory, std::string namePattern)
        : directory_(directory),
          namePattern_(std::move(namePattern)),
          wildcard_(hasWildcard(namePattern_.data(), namePattern_.size())) {}

    ~PosixSearch() override { closedir(directory_); }

    PosixSearch(const PosixSearch&) = delete;
    PosixSearch& operator=(const PosixSearch&) = delete;

    // Finds the first match, so that opening a search with no match fails as it should.
    bool start() { return advance(); }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        out.name = currentName_;
        out.nameLength = currentLength_;
        out.lastWrite = lastWriteOf(current_);
        return true;
    }

    int readError() const override { return readError_; }

    int removeCurrent(const char* /*entryPath*/, bool lookAgain) override {
        struct stat now;
        const struct stat* status = &current_;
        if (lookAgain) {
            // Look again, relative to the searched directory and without following links:
            // only the very file that was examined, unchanged, may go.
            if (fstatat(dirfd(directory_), currentName_, &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
            if (now.st_dev != current_.st_dev || now.st_ino != current_.st_ino ||
                lastWriteOf(now) != lastWriteOf(current_)) {
                return ERROR_ENTRY_CHANGED;
            }
            status = &now;
        }
        // Files and links only. A directory, FIFO, socket or device is refused, and so is a
        // read-only file even for root: the command promises never to delete those.
        if (!S_ISREG(status->st_mode) && !S_ISLNK(status->st_mode)) return EACCES;
        if (S_ISREG(status->st_mode) && (status->st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        if (unlinkat(dirfd(directory_), currentName_, 0) != 0) return errno;
        return 0;
    }

private:
    // Moves to the next matching entry that still exists; false at the end or on error.
    bool advance() {
        if (!wildcard_) {
            // A plain name is looked up directly: exactly that entry, or none.
            if (lookedUp_) return false;
            lookedUp_ = true;
            currentName_ = namePattern_.c_str();
            currentLength_ = namePattern_.size();
            pending_ = examine();
            return pending_;
        }
        for (;;) {
            errno = 0;
            const struct dirent* found = readdir(directory_);
            if (found == nullptr) {
                readError_ = errno;
                return false;
            }
            const std::size_t length = std::strlen(found->d_name);
            if (!matchesWildcard(namePattern_.data(), namePattern_.size(), found->d_name, length)) continue;
            currentName_ = found->d_name;
            currentLength_ = length;
            if (examine()) {
                pending_ = true;
                return true;
            }
            if (readError_ != 0) return false;
        }
    }

    // Reads the current entry's own status. An entry gone since the listing is passed
    // over; any other failure ends the search as a read error.
    bool examine() {
        if (fstatat(dirfd(directory_), currentName_, &current_, AT_SYMLINK_NOFOLLOW) == 0) return true;
        if (errno != ENOENT && wildcard_) readError_ = errno;
        return false;
    }

    DIR* directory_;
    std::string namePattern_;
    bool wildcard_;
    bool lookedUp_ = false;
    bool pending_ = false;
    const char* currentName_ = "";
    std::size_t currentLength_ = 0;
    struct stat current_ {};
    int readError_ = 0;
};

// ---------------------------------------------------------------------------------------
// Terminal keys. Keys come from /dev/tty, not standard input, so a pipe into the command
// can never answer its questions. The terminal's settings are put back after every key, and
// by the handlers below if a signal ends or stops the process while a key is awaited.

int ttyDescriptor = -1;
struct termios savedSettings;
struct termios keySettings;
volatile std::sig_atomic_t awaitingKey = 0;

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void onEndingSignal(int signalNumber) {
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signalNumber);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(signalNumber);
    // Continued ("fg"): back to reading keys.
    std::signal(signalNumber, onStopSignal);
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    errno = savedErrno;
}

void installSignalHandlers() {
    for (int signalNumber : endingSignals) {
        struct sigaction action {};
        action.sa_handler = onEndingSignal;
        sigaction(signalNumber, &action, nullptr);
    }
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigaction(SIGTSTP, &stop, nullptr);
}

// Waits up to `milliseconds` for a byte; -1 when none came.
int readByteWithin(int descriptor, int milliseconds) {
    struct pollfd ready {};
    ready.fd = descriptor;
    ready.events = POLLIN;
    if (poll(&ready, 1, milliseconds) <= 0) return -1;
    unsigned char byte;
    return read(descriptor, &byte, 1) == 1 ? byte : -1;
}

// Reads the rest of an escape sequence that began with ESC and `first`.
void swallowEscapeSequence(int descriptor, int first) {
    if (first == '[') {
        // CSI: parameter and intermediate bytes, then one final byte in 0x40..0x7E.
        for (int byte = readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS); byte >= 0;
             byte = readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS)) {
            if (byte >= 0x40 && byte <= 0x7E) return;
        }
    } else if (first == 'O') {
        readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS);  // SS3: one more byte
    }
}

// One byte in non-canonical, unechoed mode; -1 when the terminal is gone.
int readRawByte(int descriptor) {
    unsigned char byte;
    for (;;) {
        const ssize_t got = read(descriptor, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

int readTerminalKey() {
    if (ttyDescriptor == -1) {
        ttyDescriptor = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ttyDescriptor < 0) {
            ttyDescriptor = -2;
        } else {
            installSignalHandlers();
        }
    }
    if (ttyDescriptor < 0 || tcgetattr(ttyDescriptor, &savedSettings) != 0) return KEY_NONE;
    keySettings = savedSettings;
    keySettings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keySettings.c_cc[VMIN] = 1;
    keySettings.c_cc[VTIME] = 0;
    awaitingKey = 1;
    tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    int key;
    for (;;) {
        key = readRawByte(ttyDescriptor);
        if (key != 27) break;
        // A lone ESC is the Esc key; ESC followed at once by more is a cursor or
        // function key's sequence, which is ignored like any other key.
        const int following = readByteWithin(ttyDescriptor, ESCAPE_SEQUENCE_WAIT_MS);
        if (following < 0) break;
        swallowEscapeSequence(ttyDescriptor, following);
    }
    tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    awaitingKey = 0;
    return key < 0 ? KEY_NONE : key;
}

// ---------------------------------------------------------------------------------------
// Dates

// Days since 1970-01-01 to a civil date (proleptic Gregorian), for any day count.
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

bool isCLocaleName(const char* name) {
    return name == nullptr || *name == '\0' || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

// The LC_TIME locale the user chose, as setlocale would pick it (LC_ALL, then LC_TIME,
// then LANG), without touching the process's own locale.
const char* chosenTimeLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

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

    int readKey() override {
        std::fflush(stdout);
        return readTerminalKey();
    }

    [[noreturn]] void exitProcess(int status) override {
        std::fflush(stdout);
        std::exit(status);
    }

    FileTime currentTime() override {
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        const long milliseconds = now.tv_nsec / 1000000;
        return fileTimeFromUnix(now.tv_sec, milliseconds * 1000000);
    }

    FileTime toLocalTime(FileTime utc) override {
        if (!offsetKnown_) {
            const std::time_t now = std::time(nullptr);
            struct tm local {};
            localtime_r(&now, &local);
            offsetTicks_ = static_cast<std::int64_t>(local.tm_gmtoff) * TICKS_PER_SECOND;
            offsetKnown_ = true;
        }
        return shiftFileTime(utc, offsetTicks_);
    }

    bool toCalendar(FileTime time, CalendarTime& out) override {
        const std::uint64_t ticksPerDay = TICKS_PER_DAY;
        const std::int64_t days1601 = static_cast<std::int64_t>(time / ticksPerDay);
        std::uint64_t rest = time % ticksPerDay;
        civilFromDays(days1601 - 134774, out.year, out.month, out.day);  // 134774 days 1601..1970
        out.hour = static_cast<int>(rest / (3600 * TICKS_PER_SECOND));
        rest %= 3600 * TICKS_PER_SECOND;
        out.minute = static_cast<int>(rest / (60 * TICKS_PER_SECOND));
        rest %= 60 * TICKS_PER_SECOND;
        out.second = static_cast<int>(rest / TICKS_PER_SECOND);
        out.millisecond = static_cast<int>(rest % TICKS_PER_SECOND / 10000);
        return true;
    }

    bool formatShortDate(const CalendarTime& time, char* buffer, std::size_t size) override {
        loadLocale();
        // Most entries of a run share a handful of days: render each day once.
        if (time.year != cachedYear_ || time.month != cachedMonth_ || time.day != cachedDay_) {
            struct tm fields {};
            fields.tm_year = time.year - 1900;
            fields.tm_mon = time.month - 1;
            fields.tm_mday = time.day;
            fields.tm_hour = 12;
            fields.tm_isdst = -1;
            fillWeekAndYearDay(time, fields);
            const std::size_t length = locale_ != nullptr
                                           ? strftime_l(cachedDate_, sizeof cachedDate_, dateFormat_, &fields, locale_)
                                           : std::strftime(cachedDate_, sizeof cachedDate_, dateFormat_, &fields);
            if (length == 0) return false;
            cachedYear_ = time.year;
            cachedMonth_ = time.month;
            cachedDay_ = time.day;
        }
        const std::size_t length = std::strlen(cachedDate_);
        if (length + 1 > size) return false;
        std::memcpy(buffer, cachedDate_, length + 1);
        return true;
    }

    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override {
        loadLocale();
        // Written by hand, not with snprintf: this runs for every listed entry. The fields
        // come from toCalendar, so each number has exactly two digits.
        const std::string& designator = time.hour < 12 ? amText_ : pmText_;
        const std::size_t length = 9 + designator.size();  // "hh:mm:ss " and the designator
        if (length >= size) return false;
        putTwoDigits(buffer, time.hour % 12 == 0 ? 12 : time.hour % 12);
        buffer[2] = ':';
        putTwoDigits(buffer + 3, time.minute);
        buffer[5] = ':';
        putTwoDigits(buffer + 6, time.second);
        buffer[8] = ' ';
        std::memcpy(buffer + 9, designator.c_str(), designator.size() + 1);
        return true;
    }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern) override {
        const std::size_t prefixLength = pathPrefixLength(pattern);
        std::string namePattern(pattern + prefixLength);
        if (namePattern.empty()) return nullptr;
        const std::string directoryPath = prefixLength == 0 ? std::string(".") : std::string(pattern, prefixLength);
        const int descriptor = open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0) return nullptr;
        DIR* directory = fdopendir(descriptor);
        if (directory == nullptr) {
            close(descriptor);
            return nullptr;
        }
        auto search = std::make_unique<PosixSearch>(directory, std::move(namePattern));
        if (!search->start()) return nullptr;
        return search;
    }

    std::size_t pathPrefixLength(const char* pattern) const override {
        const char* lastSlash = std::strrchr(pattern, '/');
        return lastSlash == nullptr ? 0 : static_cast<std::size_t>(lastSlash - pattern) + 1;
    }

private:
    void loadLocale() {
        if (localeLoaded_) return;
        localeLoaded_ = true;
        const char* name = chosenTimeLocale();
        locale_ = isCLocaleName(name) ? nullptr : newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
        if (locale_ == nullptr) {
            // The C locale, or a locale that is not installed: month/day/four-digit year.
            dateFormat_ = "%m/%d/%Y";
            return;
        }
        dateFormat_ = nl_langinfo_l(D_FMT, locale_);
        if (dateFormat_ == nullptr || *dateFormat_ == '\0') dateFormat_ = "%m/%d/%Y";
        const char* am = nl_langinfo_l(AM_STR, locale_);
        const char* pm = nl_langinfo_l(PM_STR, locale_);
        // Some locales (de_DE among them) have no designators; a 12-hour time without one
        // would be ambiguous.
        if (am != nullptr && *am != '\0') amText_ = am;
        if (pm != nullptr && *pm != '\0') pmText_ = pm;
    }

    static void putTwoDigits(char* out, int value) {
        out[0] = static_cast<char>('0' + value / 10);
        out[1] = static_cast<char>('0' + value % 10);
    }

    static void fillWeekAndYearDay(const CalendarTime& time, struct tm& fields) {
        static const int daysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
        const bool leap = (time.year % 4 == 0 && time.year % 100 != 0) || time.year % 400 == 0;
        fields.tm_yday = daysBeforeMonth[time.month - 1] + time.day - 1 + (leap && time.month > 2 ? 1 : 0);
        // Zeller-style weekday for the proleptic Gregorian calendar; 0 is Sunday.
        int y = time.year;
        const int m = time.month;
        if (m < 3) y -= 1;
        static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
        fields.tm_wday = ((y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + time.day) % 7 + 7) % 7;
    }

    bool outputIsTerminal_ = false;
    bool offsetKnown_ = false;
    std::int64_t offsetTicks_ = 0;
    bool localeLoaded_ = false;
    locale_t locale_ = nullptr;
    const char* dateFormat_ = "%m/%d/%Y";
    std::string amText_ = "AM";
    std::string pmText_ = "PM";
    int cachedYear_ = -1;
    int cachedMonth_ = -1;
    int cachedDay_ = -1;
    char cachedDate_[255] = {};
};

}  // namespace

Platform& systemPlatform() {
    static PosixPlatform platform;
    return platform;
}
