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
        {"\xC3*", "\xC3\xA9", false},             // a lone lead byte is not the start of 'é'
        {"\xF0*", "\xF0\x9F\x86\x9F", false},
        {"*\xA9", "\xC3\xA9", false},             // nor is a continuation byte its end
        {"\xC3*", "\xC3x", true},                 // but it matches itself
        {"caf\xC3\xA9*", "caf\xC3\xA9.txt", true},
        {"??", "\xE2\xFF\x80\x82", false},         // FF never leads a sequence: four characters
        {"????", "\xE2\xFF\x80\x82", true},
        {"?", "\xC0\xAF", false},                  // overlong '/'
        {"?", "\xE0\x80\xAF", false},             // overlong '/'
        {"?", "\xE0\xA0\x80", true},              // U+0800, the first three-byte character
        {"?", "\xED\xA0\x80", false},             // a surrogate
        {"?", "\xED\x9F\xBF", true},              // U+D7FF
        {"?", "\xF0\x8F\xBF\xBF", false},         // overlong U+FFFF
        {"?", "\xF4\x8F\xBF\xBF", true},          // U+10FFFF
        {"?", "\xF4\x90\x80\x80", false},         // past U+10FFFF
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

// Names and patterns here are already case folded, as the Windows search hands them over.
TEST(Wildcard, LongNameRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool expected;
    } cases[] = {
        {"*.*", "NOEXT", true},            // every name, dot or no dot
        {"*.*", ".", true},
        {"*.*", "A.B.C", true},
        {"A*.*", "ABC", false},            // only the whole pattern "*.*" is that special
        {"A*.*", "AB.C", true},
        {"*.", "NOEXT", true},             // a trailing dot: names without an extension
        {"*.", "A.LOG", false},
        {"*.", ".PROFILE", false},
        {"ABC.", "ABC", true},
        {"ABC.", "ABCD", false},
        {"A?C.", "ABC", true},
        {"A*.", "A.B", false},             // the star may not take the dot either
        {".", ".", true},                  // a literal match stands
        {"..", "..", true},
        {"*.LOG", "A.LOG", true},
        {"*.LOG", "A.LOGX", false},        // what a short name A~1.LOG would have matched
        {"*.LOG", "DATA.LOG1", false},
        {"*.LOG", "VERYLONGNAME.LOGGY", false},
        {"\xE6\x97\xA5\xE6\x9C\xAC.LOG", "AB.LOG", false},  // a typed non-ASCII name
        {"??.LOG", "\xE6\x97\xA5\xE6\x9C\xAC.LOG", true},
        {"\xCE\xA9MEGA.LOG", "OMEGA.LOG", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesLongName(c.pattern, std::strlen(c.pattern), c.name, std::strlen(c.name)), c.expected)
            << c.pattern << " vs " << c.name;
    }
}

TEST(Wildcard, DetectsWildcards) {
    EXPECT_TRUE(hasWildcard("a*", 2));
    EXPECT_TRUE(hasWildcard("?", 1));
    EXPECT_FALSE(hasWildcard("[a]\\b", 5));
}

}  // namespace
