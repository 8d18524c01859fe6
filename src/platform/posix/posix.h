#pragma once

// The pieces of the POSIX platform, one file per subject. platform.cpp puts them together
// behind the Platform seam; nothing outside src/platform/posix includes this header.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <locale.h>

#include "platform/platform.h"

namespace posix {

// platform.cpp: makes everything written to standard output so far visible; a failure is
// said once on standard error.
void flushStandardOutput();

// clock.cpp: the clock, the local offset and the calendar.

constexpr std::int64_t TICKS_PER_SECOND = 10000000;

// Seconds and nanoseconds since 1970 as a FileTime, held at the ends of the FileTime range.
FileTime fileTimeFromUnix(std::int64_t seconds, long nanoseconds);
// An entry's own last-write time.
FileTime lastWriteOf(const struct stat& info);
// UTC now, cut to the millisecond.
FileTime currentTime();
// The local offset in force now (daylight saving included), in ticks.
std::int64_t localOffsetNow();
// Calendar fields of a FileTime, with no zone conversion; valid for the whole range.
void calendarOf(FileTime time, CalendarTime& out);

// dates.cpp: the user's LC_TIME locale and the date and time texts made from it.
class DateText {
public:
    DateText() = default;
    ~DateText();
    DateText(const DateText&) = delete;
    DateText& operator=(const DateText&) = delete;

    bool formatShortDate(const CalendarTime& time, char* buffer, std::size_t size);
    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size);

private:
    void load();

    bool loaded_ = false;
    locale_t locale_ = nullptr;
    const char* dateFormat_ = "%m/%d/%Y";
    std::string amText_ = "AM";
    std::string pmText_ = "PM";
    // Most entries of a run share a handful of days: each day is rendered once.
    int cachedYear_ = -1;
    int cachedMonth_ = -1;
    int cachedDay_ = -1;
    char cachedDate_[255] = {};
};

// terminal.cpp: one key from the controlling terminal; KEY_NONE when none can come.
// Standard output is flushed once the terminal is ready to give the key.
int readTerminalKey();
// From now on SIGINT, SIGTERM and SIGHUP are held until endIfInterrupted, except while a
// key is awaited, which they end at once.
void holdInterruptions();
// After a held signal: flushes standard output and ends the process by that signal.
void endIfInterrupted();

// search.cpp: the directory search and the pattern's directory part.
std::unique_ptr<DirectorySearch> openSearch(const char* pattern, std::string& whyNot);
std::size_t pathPrefixLength(const char* pattern);

// walk.cpp: the pattern's directory part (as typed, "" for the current directory) opened
// for reading, one component at a time, following only the symbolic links that are safe to
// follow. -1 with `whyNot` set when it cannot be.
int openDirectoryPart(const std::string& directoryPart, std::string& whyNot);

}  // namespace posix
