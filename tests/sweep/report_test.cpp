#include "sweep/report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "support/fake_platform.h"

namespace {

// Whole runs through the front end, for the outcomes a real run cannot be made to show.
// The end-to-end table has each status with a real cause.
TEST(RunReport, StrictStatusIsTheWorstOfWhatHappenedAndAgecullsIsZero) {
    const struct {
        const char* what;
        std::vector<std::string> words;
        std::function<void(FakePlatform&)> arrange;
        int status;
        std::string err;
        std::string outputFailure;
    } cases[] = {
        {"changed at the question", {"*.log", "1"},
         [](FakePlatform& p) {
             p.keys = {'y'};
             p.removalErrors["old.log"] = ERROR_ENTRY_CHANGED;
         },
         1, "agecull-strict: old.log: error -2\n", "agecull-strict: cannot write to standard output"},
        {"listing cut short here", {"*.log", "1", "/L"}, [](FakePlatform& p) { p.readErrorAfter = 0; }, 1,
         "agecull-strict: .: error 5\n", "agecull-strict: cannot write to standard output"},
        {"rejected, output failed too", {"*", "x"}, [](FakePlatform& p) { p.outputFails = true; }, 2,
         "agecull-strict: Number of days must be > 0\n", "agecull-strict: cannot write to standard output"},
        {"journal", {"*.log", "1", "/L"}, [](FakePlatform& p) { p.journal = p.outputFails = true; }, 1, "",
         "<3>agecull-strict: cannot write to standard output"},
    };
    for (const auto& c : cases) {
        for (const Program program : {Program::AGECULL, Program::AGECULL_STRICT}) {
            FakePlatform platform;
            platform.now = fileTimeOf(2026, 12, 7);
            platform.entries = {{"old.log", fileTimeOf(2026, 11, 1)}, {"new.log", fileTimeOf(2026, 12, 7)}};
            c.arrange(platform);
            std::vector<const char*> argv{"agecull"};
            for (const std::string& word : c.words) argv.push_back(word.c_str());
            RunReport report(platform, program);
            runCommand(static_cast<int>(argv.size()), argv.data(), report);
            if (program == Program::AGECULL) {
                EXPECT_EQ(report.exitStatus(), 0) << c.what;
                EXPECT_EQ(platform.outputFailurePrefix, "agecull: cannot write to standard output") << c.what;
                continue;
            }
            EXPECT_EQ(report.exitStatus(), c.status) << c.what;
            EXPECT_EQ(platform.err, c.err) << c.what;
            EXPECT_EQ(platform.outputFailurePrefix, c.outputFailure) << c.what;
        }
    }
}

}  // namespace
