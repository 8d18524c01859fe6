#include "sweep/prompt.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "sweep/report.h"

namespace {

TEST(Prompt, AnswersEchoUpperCaseAndOtherKeysAreIgnored) {
    const struct {
        std::deque<int> keys;
        bool answer;
        std::string out;
    } cases[] = {
        {{'y'}, true, "delete y/n ? |Y"},
        {{'Y'}, true, "delete y/n ? |Y"},
        {{'n'}, false, "delete y/n ? |N"},
        {{'x', '\r', ' ', 0, 0xE0, 'H', 'N'}, false, "delete y/n ? |N"},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.markFlushes = true;
        platform.keys = c.keys;
        RunReport report(platform, Program::AGECULL);
        EXPECT_EQ(confirmDelete(report), c.answer);
        EXPECT_EQ(platform.out, c.out);
        EXPECT_TRUE(platform.keys.empty());
    }
}

TEST(Prompt, EscAndAMissingTerminalEndTheRunWithStatusZero) {
    // A run with no terminal may be one nobody watches: it says why on standard error too.
    const struct {
        std::deque<int> keys;
        std::string out;
        std::string err;
    } cases[] = {
        {{'q', 27}, "delete y/n ? \nESC - Program aborted\n", ""},
        {{},
         "delete y/n ? \nNo terminal to answer the prompt - Program aborted\n<err>",
         "No terminal to answer the prompt - Program aborted\n"},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.keys = c.keys;
        RunReport report(platform, Program::AGECULL);
        try {
            confirmDelete(report);
            ADD_FAILURE() << "returned an answer";
        } catch (const FakeExit& exit) {
            EXPECT_EQ(exit.status, 0);
        }
        EXPECT_EQ(platform.out, c.out);
        EXPECT_EQ(platform.err, c.err);
    }
}

}  // namespace
