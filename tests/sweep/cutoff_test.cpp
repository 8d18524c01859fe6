#include "sweep/cutoff.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace {

TEST(Cutoff, IsLocalNowMinusWholeDaysToTheTick) {
    FakePlatform platform;
    platform.now = fileTimeOf(2026, 12, 7, 14, 4, 5, 250);
    platform.localOffsetTicks = 3600LL * 10000000;  // UTC+1
    EXPECT_EQ(computeCutoff(platform, 1), fileTimeOf(2026, 12, 6, 15, 4, 5, 250));
    EXPECT_EQ(computeCutoff(platform, 30), fileTimeOf(2026, 12, 7, 15, 4, 5, 250) - 25920000000000ULL);
}

TEST(Cutoff, CountsReachingBefore1601SelectNothingInsteadOfWrapping) {
    const FileTime now = fileTimeOf(2026, 12, 7, 15, 4, 5, 250);
    const std::int64_t wholeDays = static_cast<std::int64_t>(now / TICKS_PER_DAY);
    const struct {
        std::int64_t days;
        FileTime expected;
    } cases[] = {
        {wholeDays, now - static_cast<FileTime>(wholeDays) * TICKS_PER_DAY},  // last count still on the scale
        {wholeDays + 1, 0},
        {10675200, 0},   // span near the signed 64-bit limit
        {21350399, 0},   // span past the unsigned 64-bit limit
        {2147483647, 0}, // the front end's saturated maximum
    };
    for (const auto& c : cases) {
        const FileTime cutoff = cutoffFrom(now, static_cast<std::int32_t>(c.days));
        EXPECT_EQ(cutoff, c.expected) << c.days;
        EXPECT_LE(cutoff, now) << c.days;
    }
}

}  // namespace
