#include "sweep/report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "support/fake_platform.h"

namespace {

// One whole run through the front end, as each program ends it.
TEST(RunReport, StrictStatusAndErrorLinesFollowWhatHappened) {
    const std::string failedOutput = "cannot write to standard output";
    const struct {
        const char* what;
        std::vector<std::string> words;
        std::function<void(FakePlatform&)> arrange;
        int status;
        std::string err;
    } cases[] = {
        {"help", {"/?"}, nullptr, 0, ""},
        {"all removed", {"logs/*.log", "1", "/Q"}, nullptr, 0, ""},
        {"all listed", {"logs/*.log", "1", "/L"}, nullptr, 0, ""},
        {"nothing matched", {"logs/*.log", "1"}, [](FakePlatform& p) { p.entries.clear(); }, 0, ""},
        {"wrong count", {"*"}, nullptr, 2, "agecull-strict: Invalid number of paramaters\n"},
        {"bad days", {"*", "0"}, nullptr, 2, "agecull-strict: Number of days must be > 0\n"},
        {"bad option", {"*", "5", "/X"}, nullptr, 2, "agecull-strict: Optional 3rd paramater can only be /Q or /L\n"},
        {"no search",
         {"logs/*.log", "1"},
         [](FakePlatform& p) {
             p.searchOpens = false;
             p.openFailure = "logs/: No such file or directory";
         },
         2,
         "agecull-strict: logs/: No such file or directory\n"},
        {"removal failed",
         {"logs/*.log", "1", "/Q"},
         [](FakePlatform& p) { p.removalErrors["logs/old.log"] = 13; },
         1,
         "agecull-strict: logs/old.log: error 13\n"},
        {"changed at the question",
         {"logs/*.log", "1"},
         [](FakePlatform& p) {
             p.keys = {'y'};
             p.removalErrors["logs/old.log"] = ERROR_ENTRY_CHANGED;
         },
         1,
         "agecull-strict: logs/old.log: error -2\n"},
        {"listing cut short", {"logs/*.log", "1", "/L"}, [](FakePlatform& p) { p.readErrorAfter = 0; }, 1,
         "agecull-strict: logs/: error 5\n"},
        {"listing cut short here", {"*.log", "1", "/L"}, [](FakePlatform& p) { p.readErrorAfter = 0; }, 1,
         "agecull-strict: .: error 5\n"},
        {"output failed", {"logs/*.log", "1", "/L"}, [](FakePlatform& p) { p.outputFails = true; }, 1, ""},
        {"rejected, output failed too", {"*", "x"}, [](FakePlatform& p) { p.outputFails = true; }, 2,
         "agecull-strict: Number of days must be > 0\n"},
        {"journal",
         {"logs/*.log", "1", "/Q"},
         [](FakePlatform& p) {
             p.journal = true;
             p.removalErrors["logs/old.log"] = 13;
         },
         1,
         "<3>agecull-strict: logs/old.log: error 13\n"},
    };
    for (const auto& c : cases) {
        for (const Program program : {Program::AGECULL, Program::AGECULL_STRICT}) {
            FakePlatform platform;
            platform.now = fileTimeOf(2026, 12, 7);
            platform.entries = {{"old.log", fileTimeOf(2026, 11, 1)}, {"new.log", fileTimeOf(2026, 12, 7)}};
            if (c.arrange) c.arrange(platform);
            std::vector<const char*> argv{"agecull"};
            for (const std::string& word : c.words) argv.push_back(word.c_str());
            RunReport report(platform, program);
            runCommand(static_cast<int>(argv.size()), argv.data(), report);
            const bool journal = platform.journal && program == Program::AGECULL_STRICT;
            const std::string name = program == Program::AGECULL ? "agecull: " : "agecull-strict: ";
            EXPECT_EQ(platform.outputFailurePrefix, (journal ? "<3>" : "") + name + failedOutput) << c.what;
            if (program == Program::AGECULL) {
                EXPECT_EQ(report.exitStatus(), 0) << c.what;
                continue;
            }
            EXPECT_EQ(report.exitStatus(), c.status) << c.what;
            EXPECT_EQ(platform.err, c.err) << c.what;
        }
    }
}

}  // namespace
