#pragma once

#include <cstddef>
#include <cstdint>

// 100-nanosecond ticks since 1601-01-01 00:00. Always compared as unsigned.
using FileTime = std::uint64_t;

// 60 * 60 * 24 * 10,000,000 ticks.
constexpr FileTime TICKS_PER_DAY = 864000000000ULL;

// The longest pattern the command accepts, in bytes.
constexpr std::size_t MAX_PATTERN_LENGTH = 260;

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
