#pragma once

// The pieces of the POSIX platform, one file per subject. platform.cpp puts them together
// behind the Platform seam; outside src/platform/posix only their tests include this header.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace posix {

// output.cpp: standard output, buffered in 4 KiB, and standard error; what cannot be
// written to standard output is said on standard error.

// Looks at what standard output is, and has a write to a pipe with no reader fail with
// EPIPE rather than end the process unannounced. Once, before any output.
void startOutput();
// Standard output, written out each time 4 KiB have gathered. A write that fails is said
// once and the run goes on, except for a reader gone (endForGoneReader).
void writeOut(const char* data, std::size_t size);
// Makes everything written so far visible.
void flushOut();
// Whether standard output is a pipe or a socket whose reader has gone.
bool readerGone();
// Writes all of `data` to `descriptor`, each write(2) bounded as beginOutputWrite says:
// 0, or the errno value of the write that failed.
int writeBounded(int descriptor, const char* data, std::size_t size);
// `text` and a line break on standard error, in one bounded write.
void writeErrorLine(const std::string& text);
// The words a failed write is said with, before ": <the system's text>".
void nameOutputFailure(const OutputFailureWords& words);
// Whether a write to standard output has failed.
bool outputFailed();
// Says once on standard error that the reader of standard output is gone and that no
// further files are deleted, then ends as endAfterBrokenPipe says.
[[noreturn]] void endForGoneReader();
// Says on standard error that the record was given up. Async-signal-safe.
void sayOutputAbandoned();

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
void toCalendar(FileTime time, CalendarTime& out);

// dates.cpp: the user's LC_TIME locale and the date and time made from it.

enum class DateField { DAY, MONTH, YEAR };

// Where day, month and year stand in a locale's short date, and whether it writes the year
// with two digits.
struct DateOrder {
    DateField fields[3] = {DateField::MONTH, DateField::DAY, DateField::YEAR};
    bool twoDigitYear = false;
};

// The order of day, month and year in a strftime date format (a locale's D_FMT). Fields
// the format leaves out follow those it has, in the order month, day, year; a format with
// none of them gives month/day/year.
DateOrder dateOrderOf(const char* format);

class DateText {
public:
    // `localeName` null: the user's LC_TIME locale, chosen as setlocale would choose it.
    explicit DateText(const char* localeName = nullptr) : localeName_(localeName) {}

    bool shortDateNumbers(const CalendarTime& time, int numbers[3]);
    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size);

private:
    void load();

    const char* localeName_;
    bool loaded_ = false;
    DateOrder order_;
    std::string amText_ = "AM";
    std::string pmText_ = "PM";
};

// terminal.cpp: one key from the controlling terminal; KEY_NONE when none can come.
// Standard output is flushed once the terminal is ready to give the key.
int readKey();
// From now on SIGINT, SIGTERM and SIGHUP are held until endIfInterrupted, except while a
// key is awaited, which they end at once, and while a write to standard output, standard
// error or the terminal stays blocked, which they end after a grace of a second.
void holdInterruptions();
// After a held signal: flushes standard output and ends the process by that signal.
void endIfInterrupted();
// Around each write(2) to `descriptor`, for the grace above.
void beginOutputWrite(int descriptor);
void endOutputWrite();
// Shows `text` on the controlling terminal when keys come from it and standard output is
// not that terminal; a leading line break only ends a line the terminal was left in.
void showOnTerminal(const char* text, std::size_t size);
// Ends the line showOnTerminal left the terminal in, if any, before the process ends.
void finishTerminal();
// Remembers whether the caller ignores SIGPIPE, then ignores it.
void catchBrokenPipes();
// Puts the terminal back and ends the process by SIGPIPE, as a filter whose reader left
// ends; with `status` when the caller ignores SIGPIPE.
[[noreturn]] void endAfterBrokenPipe(int status);

// search.cpp: the directory search and the pattern's directory part.
std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree);
std::size_t pathPrefixLength(const char* pattern);

// walk.cpp: the pattern's directory part (as typed, "" for the current directory) opened
// for reading, one component at a time, following only the symbolic links that are safe to
// follow. -1 with `failure` set when it cannot be.
int openDirectoryPart(const std::string& directoryPart, SearchFailure& failure);
// A failure with errno `error` at `place`.
void failAt(SearchFailure& failure, const std::string& place, int error);

}  // namespace posix
