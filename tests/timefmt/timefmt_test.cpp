#include "timefmt/timefmt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace {

TEST(FileTimeDisplay, FixedShapeFromTheShortDateAndTwelveHourTime) {
    const struct {
        std::vector<int> shortDate;  // empty: month/day/year from the fake
        FileTime time;
        const char* expected;
    } cases[] = {
        {{}, fileTimeOf(2026, 12, 7, 15, 4, 5), "12/07/2026  03:04:05 PM"},
        {{7, 12, 2026}, fileTimeOf(2026, 12, 7, 15, 4, 5), "07/12/2026  03:04:05 PM"},
        {{}, fileTimeOf(2026, 12, 7, 0, 30, 0), "12/07/2026  12:30:00 AM"},
        {{}, fileTimeOf(2026, 12, 7, 12, 0, 0), "12/07/2026  12:00:00 PM"},
        {{7, 12, 26}, fileTimeOf(2026, 12, 7), "07/12/  26  12:00:00 AM"},
        {{7, 12, 5}, fileTimeOf(2005, 12, 7), "07/12/   5  12:00:00 AM"},
        {{26, 12, 7}, fileTimeOf(2026, 12, 7), "26/12/   7  12:00:00 AM"},
        {{2026, 12, 7}, fileTimeOf(2026, 12, 7), "2026/12/   7  12:00:00 AM"},
        {{7}, fileTimeOf(2026, 12, 7), "07/00/   0  12:00:00 AM"},
        {{}, fileTimeOf(1601, 1, 1), "01/01/1601  12:00:00 AM"},
        {{123456789, 0, 12345}, fileTimeOf(2026, 12, 7), "123456789/00/12345  12:00:00 AM"},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.shortDate = c.shortDate;
        printFileTime(platform, c.time);
        EXPECT_EQ(platform.out, c.expected);
    }
}

TEST(FileTimeDisplay, TextIsCutToTheBufferAndAlwaysTerminated) {
    const struct {
        std::size_t size;
        const char* expected;
    } cases[] = {{1, ""}, {6, "12/07"}, {24, "12/07/2026  03:04:05 PM"}, {64, "12/07/2026  03:04:05 PM"}};
    for (const auto& c : cases) {
        FakePlatform platform;
        char buffer[65];  // one byte past the largest size, to catch an overrun
        std::fill(buffer, buffer + sizeof buffer, 'x');
        const std::size_t length = formatFileTime(platform, fileTimeOf(2026, 12, 7, 15, 4, 5), buffer, c.size);
        EXPECT_EQ(length, std::string(c.expected).size()) << c.size;
        EXPECT_EQ(std::string(buffer), c.expected) << c.size;
        EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer of " << c.size;
    }
}

TEST(FileTimeDisplay, UnavailableDateShowsPlaceholderOfTheSameWidth) {
    FakePlatform platform;
    platform.dateFails = true;
    printFileTime(platform, fileTimeOf(2026, 12, 7));
    EXPECT_EQ(platform.out, "--/--/----  --:--:-- --");
    EXPECT_EQ(platform.out.size(), std::string("12/07/2026  03:04:05 PM").size());
}

}  // namespace
