#include <gtest/gtest.h>

#include <limits>

#include "common/types.h"

namespace {

TEST(FileTimeShift, MovesByTheOffsetAndHoldsAtTheEndsOfTheScale) {
    const FileTime maxTime = std::numeric_limits<FileTime>::max();
    const std::int64_t hour = 36000000000LL;
    const struct {
        FileTime time;
        std::int64_t ticks;
        FileTime expected;
    } cases[] = {
        {1000 * static_cast<FileTime>(hour), 2 * hour, 1002 * static_cast<FileTime>(hour)},
        {1000 * static_cast<FileTime>(hour), -5 * hour, 995 * static_cast<FileTime>(hour)},
        {static_cast<FileTime>(hour), -2 * hour, 0},      // before 1601: held at 0
        {maxTime - 1, 2, maxTime},                          // past the end: held there
        {maxTime, std::numeric_limits<std::int64_t>::min(), maxTime - (FileTime{1} << 63)},
        {5, 0, 5},
    };
    for (const auto& c : cases) EXPECT_EQ(shiftFileTime(c.time, c.ticks), c.expected) << c.time << " " << c.ticks;
}

}  // namespace
