#include "sweep/report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "support/fake_platform.h"

namespace {

// What a real run cannot be made to show; the end-to-end table has each status with a
// real cause. agecull ends with 0 and keeps its own words whatever happened.
TEST(RunReport, StrictStatusIsTheWorstOfWhatHappened) {
    const struct {
        std::vector<const char*> argv;
        std::function<void(FakePlatform&)> arrange;
        int status;
        std::string err;
        std::string outputFailure;
    } cases[] = {
        {{"", "*", "x"}, [](FakePlatform& p) { p.outputFails = true; }, 2,
         "agecull-strict: Number of days must be > 0\n", "agecull-strict: cannot write to standard output"},
        {{"", "*", "1", "/L"}, [](FakePlatform& p) { p.journal = p.outputFails = true; }, 1, "",
         "<3>agecull-strict: cannot write to standard output"},
        {{"", "*", "1", "/L"}, [](FakePlatform& p) { p.readErrorAfter = 0; }, 1, "agecull-strict: .: error 5\n",
         "agecull-strict: cannot write to standard output"},
    };
    for (const auto& c : cases) {
        for (const Program program : {Program::AGECULL, Program::AGECULL_STRICT}) {
            FakePlatform platform;
            platform.entries = {{"old", 0}};
            c.arrange(platform);
            RunReport report(platform, program);
            runCommand(static_cast<int>(c.argv.size()), c.argv.data(), report);
            const bool strict = program == Program::AGECULL_STRICT;
            EXPECT_EQ(report.exitStatus(), strict ? c.status : 0);
            if (strict) {
                EXPECT_EQ(platform.err, c.err);
            }
            EXPECT_EQ(platform.outputFailurePrefix, strict ? c.outputFailure : "agecull: cannot write to standard output");
        }
    }
}

}  // namespace
