// Reading a short date text back into its numbers, as the Windows platform does.

#include "platform/date_numbers.h"

#include <gtest/gtest.h>

namespace {

TEST(DateNumbers, AnyRunOfNonDigitsSeparates) {
    const struct {
        const char* date;
        int count;
        int a, b, c;
    } cases[] = {
        {"7/12/2026", 3, 7, 12, 2026},
        {"07.12.2026", 3, 7, 12, 2026},
        {"2026-12-07", 3, 2026, 12, 7},
        {"7/12/26", 3, 7, 12, 26},
        {"2026\xE5\xB9\xB4" "12\xE6\x9C\x88" "7\xE6\x97\xA5", 3, 2026, 12, 7},  // 2026年12月7日
        {"7/12", 2, 7, 12, 0},
        {"", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        int numbers[3] = {-1, -1, -1};
        EXPECT_EQ(readDateNumbers(c.date, numbers), c.count) << c.date;
        EXPECT_EQ(numbers[0], c.a) << c.date;
        EXPECT_EQ(numbers[1], c.b) << c.date;
        EXPECT_EQ(numbers[2], c.c) << c.date;
    }
}

}  // namespace
