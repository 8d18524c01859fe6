#include "cli/command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/expected_text.h"
#include "support/fake_platform.h"
#include "sweep/report.h"

namespace {

using expected::USAGE;

struct CommandRun {
    std::string afterOpening;  // what follows the opening lines
    std::vector<std::string> opened;
    int status;
};

CommandRun run(std::vector<std::string> words) {
    FakePlatform platform;
    words.insert(words.begin(), "agecull");
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    const int status = runCommand(static_cast<int>(words.size()), argv.data(), platform);
    const std::size_t tail = platform.out.find(expected::CAUTION);
    EXPECT_NE(tail, std::string::npos) << platform.out;
    EXPECT_EQ(platform.err, "");
    return {platform.out.substr(tail + expected::CAUTION.size()), platform.pathsOpened, status};
}

TEST(DayCount, ReadsLikeAtolButSaturatesInsteadOfWrapping) {
    const struct {
        const char* text;
        std::int32_t expected;
    } cases[] = {
        {"5", 5},
        {"007", 7},
        {"  +12", 12},
        {"\t-3", -3},
        {"5x", 5},
        {"abc", 0},
        {"", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"4294967297", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999999999999", -2147483647 - 1},
        {"- 5", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(parseDayCount(c.text), c.expected) << "'" << c.text << "'";
}

TEST(Command, OpeningLinesComeFirstWithVersionedBanner) {
    FakePlatform platform;
    const char* argv[] = {"agecull", nullptr};
    runCommand(1, argv, platform);
    EXPECT_EQ(platform.out.rfind("agecull ", 0), 0u);
    EXPECT_NE(platform.out.find(AGECULL_TEST_VERSION), std::string::npos);
}

TEST(Command, ChecksRunInOrderAndStopTheRun) {
    const std::string invalidCount = expected::INVALID_COUNT;
    const std::string longPattern(261, 'a');
    const struct {
        std::vector<std::string> words;
        std::string expected;
    } cases[] = {
        {{}, invalidCount},
        {{"?"}, USAGE},
        {{"/?"}, USAGE},
        {{"-?"}, invalidCount},
        {{"foo"}, invalidCount},
        {{"a", "1", "/Q", "/L"}, invalidCount},
        {{longPattern, "abc"}, "Path too long\n"},
        {{"*", "0"}, "Number of days must be > 0\n"},
        {{"*", "/Q", "5"}, "Number of days must be > 0\n"},
        {{"*", "-99999999999999999999"}, "Number of days must be > 0\n"},
        {{"*", "+5", "/X"}, "days must consist of the digits 0 - 9 only\n"},
        {{"*", "5", "/QL"}, "Optional 3rd paramater can only be /Q or /L\n"},
        {{"*", "5", ""}, "Optional 3rd paramater can only be /Q or /L\n"},
    };
    for (const auto& c : cases) {
        const CommandRun result = run(c.words);
        EXPECT_EQ(result.afterOpening, c.expected) << ::testing::PrintToString(c.words);
        EXPECT_TRUE(result.opened.empty()) << "searched for " << ::testing::PrintToString(c.words);
        EXPECT_EQ(result.status, 0);
    }
}

TEST(Command, ValidRequestReachesTheSweepWithPatternAsTyped) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"?", "1"}, {"logs/*.txt", "007", "/q"}, {std::string(260, 'b'), "2147483648", "/L"}}) {
        const CommandRun result = run(words);
        ASSERT_EQ(result.opened.size(), 1u);
        EXPECT_EQ(result.opened[0], words[0]);
        EXPECT_EQ(result.afterOpening, "File not found\n");  // the fake holds no entries
        EXPECT_EQ(result.status, 0);
    }
}

}  // namespace

namespace {

TEST(Command, StrictSwitchesInAnyOrderAndCaseEachOnce) {
    const std::string strictUsage = "Usage: agecull-strict fname days [/Q | /L] [/S] [/KEEP:n] [/MAX:n]\n";
    const struct {
        std::vector<std::string> words;
        std::string firstLine;  // the first line after the opening lines
        bool wholeTree;
    } cases[] = {
        {{"*", "5", "/s", "/L"}, "  List of", true},
        {{"*", "5", "/KEEP:3", "/q", "/max:0", "/S"}, "  Deleting", true},
        {{"*", "5", "/Keep:2147483647"}, "  Deleting", false},
        {{"*", "5", "/Q", "/L"}, "/Q and /L cannot be given together", false},
        {{"*", "5", "/S", "/s"}, "Switch given twice: /s", false},
        {{"*", "5", "/KEEP:1", "/keep:2"}, "Switch given twice: /keep:2", false},
        {{"*", "5", "/X"}, "Unknown switch: /X", false},
        {{"*", "5", "/KEEPS:1"}, "Unknown switch: /KEEPS:1", false},
        {{"*", "5", "/QL"}, "Unknown switch: /QL", false},
        {{"*", "5", ""}, "Unknown switch: ", false},
        {{"*", "5", "/KEEP:"}, "/KEEP needs a number from 1 to 2147483647: /KEEP:", false},
        {{"*", "5", "/KEEP:0"}, "/KEEP needs a number from 1 to 2147483647: /KEEP:0", false},
        {{"*", "5", "/KEEP:x"}, "/KEEP needs a number from 1 to 2147483647: /KEEP:x", false},
        {{"*", "5", "/KEEP:2147483648"}, "/KEEP needs a number from 1 to 2147483647: /KEEP:2147483648", false},
        {{"*", "5", "/MAX:-1"}, "/MAX needs a number from 0 to 2147483647: /MAX:-1", false},
        {{"*", "5", "/MAX:+1"}, "/MAX needs a number from 0 to 2147483647: /MAX:+1", false},
        {{"*", "5", "/MAX:99999999999999999999"}, "/MAX needs a number from 0 to 2147483647: /MAX:99999999999999999999",
         false},
        {{"*", "5", "/Q", "/S", "/KEEP:1", "/MAX:1", "/X"}, "Invalid number of paramaters", false},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.entries = {{"old", 0}};
        std::vector<const char*> argv = {"agecull-strict"};
        for (const std::string& word : c.words) argv.push_back(word.c_str());
        RunReport report(platform, Program::AGECULL_STRICT);
        runCommand(static_cast<int>(argv.size()), argv.data(), report);
        const std::string after = platform.out.substr(platform.out.find(expected::CAUTION) + expected::CAUTION.size());
        const bool accepted = c.firstLine[0] == ' ';
        EXPECT_EQ(after.substr(0, accepted ? c.firstLine.size() : after.find('\n')), c.firstLine)
            << ::testing::PrintToString(c.words);
        EXPECT_EQ(report.exitStatus(), accepted ? 0 : 2) << ::testing::PrintToString(c.words);
        if (accepted) {
            ASSERT_FALSE(platform.treesOpened.empty());
            EXPECT_EQ(platform.treesOpened.back(), c.wholeTree) << ::testing::PrintToString(c.words);
        } else {
            EXPECT_NE(after.find("\n" + strictUsage), std::string::npos) << after;
            EXPECT_EQ(platform.err, "agecull-strict: " + c.firstLine + "\n");
            EXPECT_TRUE(platform.pathsOpened.empty());
        }
    }
}

}  // namespace
