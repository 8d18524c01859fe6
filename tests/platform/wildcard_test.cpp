#include "platform/wildcard.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool matches(const char* pattern, const char* name) {
    return matchesWildcard(pattern, std::strlen(pattern), name, std::strlen(name));
}

TEST(Wildcard, StarQuestionAndLiterals) {
    const struct {
        const char* pattern;
        const char* name;
        bool expected;
    } cases[] = {
        {"*", "a.log", true},
        {"*", ".", true},
        {"*", "..", true},
        {"*", ".hidden", true},
        {"*.log", "a.log", true},
        {"*.log", ".log", true},
        {"*.log", "a.log.gz", false},
        {"*.log", "a.LOG", false},
        {"?", "a", true},
        {"?", "..", false},
        {"?", "", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"caf?.txt", "caf\xC3\xA9.txt", true},   // one UTF-8 character
        {"caf??.txt", "caf\xC3\xA9.txt", false},
        {"?", "\xFF", true},                      // a stray byte is one character
        {"[ab].txt", "[ab].txt", true},
        {"[ab].txt", "a.txt", false},
        {"a\\*", "a\\xyz", true},
        {"*a*b*c*", "xxaxxbxxcxx", true},
        {"*a*b*c*", "xxaxxcxxbxx", false},
        {"a**", "a", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "abc", true},
        {"abc", "abcd", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matches(c.pattern, c.name), c.expected) << c.pattern << " vs " << c.name;
    }
}

TEST(Wildcard, DetectsWildcards) {
    EXPECT_TRUE(hasWildcard("a*", 2));
    EXPECT_TRUE(hasWildcard("?", 1));
    EXPECT_FALSE(hasWildcard("[a]\\b", 5));
}

}  // namespace
