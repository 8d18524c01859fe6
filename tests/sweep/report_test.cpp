#include "sweep/report.h"

#include <gtest/gtest.h>

#include <cstring>
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
        {{"", "*", "1", "/L"}, [](FakePlatform& p) {
             p.entries.push_back({"next", 0});
             p.readErrorAfter = 1;
         }, 1,
         std::string("agecull-strict: .: ") + std::strerror(5) + "\n", "agecull-strict: cannot write to standard output"},
        // A name the system cannot give fails the run only when the entry was old enough.
        {{"", "*", "1", "/Q"}, [](FakePlatform& p) {
             p.now = fileTimeOf(2026, 12, 8);
             p.entries.insert(p.entries.begin(), {"n?w", p.now, 1252});
         },
         0, "agecull-strict: n?w: its name cannot be written in code page 1252, so it was left alone\n",
         "agecull-strict: cannot write to standard output"},
        {{"", "*", "1", "/Q"}, [](FakePlatform& p) {
             p.now = fileTimeOf(2026, 12, 8);
             p.entries.push_back({"?ld", 0, 932});
         },
         1,
         "agecull-strict: ?ld: its name cannot be written in code page 932, so it was left alone\n",
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
            EXPECT_EQ(platform.outputFailureWords.cannotWrite,
                      strict ? c.outputFailure : "agecull: cannot write to standard output");
            EXPECT_EQ(platform.outputFailureWords.readerGoneStatus, strict ? STATUS_FAILED : 0);
        }
    }
}

}  // namespace
