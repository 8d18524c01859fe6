#pragma once

#include <cstddef>
#include <cstdint>

// 100-nanosecond ticks since 1601-01-01 00:00. Always compared as unsigned.
using FileTime = std::uint64_t;

// 60 * 60 * 24 * 10,000,000 ticks.
constexpr FileTime TICKS_PER_DAY = 864000000000ULL;

// The longest pattern the command accepts, in bytes.
constexpr std::size_t MAX_PATTERN_LENGTH = 260;

// What the front end hands to the sweep. `pattern` points at the argument text itself.
struct SweepRequest {
    const char* pattern = "";
    std::int32_t days = 1;
    bool quiet = false;
    bool listOnly = false;
};

// Outcome counts, owned by the sweep.
struct SweepCounts {
    std::int32_t processed = 0;
    std::int32_t failed = 0;
    std::int32_t skipped = 0;
};

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

// `time` moved by a signed number of ticks, held at the ends of the FileTime scale
// instead of wrapping round. Offsets are time-zone sized, far from the int64 limits.
inline FileTime shiftFileTime(FileTime time, std::int64_t ticks) {
    const FileTime maxTime = ~static_cast<FileTime>(0);
    if (ticks >= 0) {
        const FileTime shift = static_cast<FileTime>(ticks);
        return time > maxTime - shift ? maxTime : time + shift;
    }
    const FileTime shift = static_cast<FileTime>(-(ticks + 1)) + 1;
    return time < shift ? 0 : time - shift;
}
