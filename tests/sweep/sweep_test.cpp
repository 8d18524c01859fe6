#include "sweep/sweep.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/fake_platform.h"

namespace {

const FileTime NOW = fileTimeOf(2026, 12, 7, 15, 4, 5, 250);
const FileTime CUTOFF = fileTimeOf(2026, 12, 6, 15, 4, 5, 250);  // one day
const char HEADER_TIME[] = "12/06/2026  03:04:05 PM";

struct Sweep {
    FakePlatform platform;

    Sweep() {
        platform.now = NOW;
        platform.entries = {
            {"old.log", fileTimeOf(2026, 11, 1, 9, 0, 0)},
            {"new.log", fileTimeOf(2026, 12, 7, 9, 0, 0)},
            {"older.log", fileTimeOf(2026, 10, 1, 21, 30, 0)},
        };
    }

    int run(const char* pattern, bool quiet, bool listOnly) {
        SweepRequest request;
        request.pattern = pattern;
        request.days = 1;
        request.quiet = quiet;
        request.listOnly = listOnly;
        return sweepFiles(request, platform);
    }
};

TEST(Sweep, ListModeRemovesNothing) {
    Sweep sweep;
    EXPECT_EQ(sweep.run("*.log", false, true), 0);
    EXPECT_EQ(sweep.platform.out,
              std::string("  List of files last modified before - ") + HEADER_TIME + "\n" +
                  "\n11/01/2026  09:00:00 AM  old.log  "
                  "\n10/01/2026  09:30:00 PM  older.log  "
                  "\n\n  2 files would have been deleted without the [/L] option\n");
    EXPECT_TRUE(sweep.platform.removed.empty());
    EXPECT_EQ(sweep.platform.keysRead, 0u);
}

TEST(Sweep, QuietModeRemovesOnlyOlderEntries) {
    Sweep sweep;
    sweep.run("logs/*.log", true, false);
    EXPECT_EQ(sweep.platform.out,
              std::string("  Deleting files last modified before - ") + HEADER_TIME + "\n" +
                  "\n11/01/2026  09:00:00 AM  logs/old.log  -deleted"
                  "\n10/01/2026  09:30:00 PM  logs/older.log  -deleted"
                  "\n\n  2 files were deleted\n");
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"logs/old.log", "logs/older.log"}));
    EXPECT_EQ(sweep.platform.keysRead, 0u);
}

TEST(Sweep, QuietRemovalComesBeforeItsLineIsWritten) {
    Sweep sweep;
    sweep.run("*.log", true, false);
    // Nothing that could block (a write) lies between listing an entry and removing it.
    const std::string& out = sweep.platform.out;
    ASSERT_EQ(sweep.platform.outSizeAtRemoval.size(), 2u);
    const std::string beforeFirst = out.substr(0, sweep.platform.outSizeAtRemoval[0]);
    const std::string beforeSecond = out.substr(0, sweep.platform.outSizeAtRemoval[1]);
    EXPECT_EQ(beforeFirst, std::string("  Deleting files last modified before - ") + HEADER_TIME + "\n");
    EXPECT_EQ(beforeSecond, beforeFirst + "\n11/01/2026  09:00:00 AM  old.log  -deleted");
}

TEST(Sweep, EntryAtExactCutoffIsKeptAndOneTickOlderIsTaken) {
    Sweep sweep;
    sweep.platform.localOffsetTicks = -5 * 3600LL * 10000000;  // the comparison is on local times
    const FileTime localCutoff = CUTOFF - 5 * 3600ULL * 10000000;
    const FileTime utcCutoff = localCutoff + 5 * 3600ULL * 10000000;
    sweep.platform.entries = {{"at", utcCutoff}, {"before", utcCutoff - 1}, {"after", utcCutoff + 1}};
    sweep.run("*", true, false);
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"before"}));
}

TEST(Sweep, InteractiveAnswersCountDeletedAndSkipped) {
    Sweep sweep;
    sweep.platform.keys = {'x', 'y', 'n'};
    sweep.run("*.log", false, false);
    EXPECT_EQ(sweep.platform.out,
              std::string("  Deleting files last modified before - ") + HEADER_TIME + "\n" +
                  "\n11/01/2026  09:00:00 AM  old.log  delete y/n ? Y-deleted"
                  "\n10/01/2026  09:30:00 PM  older.log  delete y/n ? N"
                  "\n\n  1 files were deleted\n  1 files were skipped\n");
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"old.log"}));
}

TEST(Sweep, FailedRemovalIsReportedAndSweepContinues) {
    Sweep sweep;
    sweep.platform.removalErrors["old.log"] = 13;
    sweep.platform.entries.push_back({"last.log", fileTimeOf(2026, 1, 1)});
    sweep.run("*.log", true, false);
    EXPECT_EQ(sweep.platform.out,
              std::string("  Deleting files last modified before - ") + HEADER_TIME + "\n" +
                  "\n11/01/2026  09:00:00 AM  old.log  <err>"
                  "\n10/01/2026  09:30:00 PM  older.log  -deleted"
                  "\n01/01/2026  12:00:00 AM  last.log  -deleted"
                  "\n\n  2 files were deleted\n  1 files failed to delete\n");
    EXPECT_EQ(sweep.platform.err, std::string("  Could not delete : ") + std::strerror(13) + "\n");
}

TEST(Sweep, EscAbortsWithoutSummary) {
    Sweep sweep;
    sweep.platform.keys = {'y', 27};
    EXPECT_THROW(sweep.run("*.log", false, false), FakeExit);
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"old.log"}));
    const std::string& out = sweep.platform.out;
    const std::string tail = "older.log  delete y/n ? \nESC - Program aborted\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.find("files were"), std::string::npos);
}

TEST(Sweep, InterruptionEndsTheRunOnlyOnceTheEntryInHandIsRecorded) {
    const struct {
        bool quiet;
        bool listOnly;
        std::deque<int> keys;
        std::size_t atRemoval;  // 0: the request came before the first entry
        std::string outTail;
        std::vector<std::string> removed;
    } cases[] = {
        {true, false, {}, 1, "\n11/01/2026  09:00:00 AM  old.log  -deleted|", {"old.log"}},
        {false, false, {'y', 'y'}, 1, "\n11/01/2026  09:00:00 AM  old.log  delete y/n ? |Y-deleted|", {"old.log"}},
        {true, false, {}, 0, " PM\n|", {}},
        {false, true, {}, 0, " PM\n|", {}},
    };
    for (const auto& c : cases) {
        Sweep sweep;
        sweep.platform.markFlushes = true;
        sweep.platform.keys = c.keys;
        sweep.platform.interruptAtRemoval = c.atRemoval;
        sweep.platform.interrupted = c.atRemoval == 0;
        try {
            sweep.run("*.log", c.quiet, c.listOnly);
            ADD_FAILURE() << "ran to its end";
        } catch (const FakeExit& exit) {
            EXPECT_EQ(exit.status, INTERRUPTED_STATUS);
        }
        EXPECT_TRUE(sweep.platform.interruptionsHeld);
        const std::string& out = sweep.platform.out;
        ASSERT_GE(out.size(), c.outTail.size()) << out;
        EXPECT_EQ(out.substr(out.size() - c.outTail.size()), c.outTail);  // its line whole, and flushed
        EXPECT_EQ(sweep.platform.removed, c.removed);  // and nothing after it
    }
}

TEST(Sweep, NothingSelectedGivesTwoEmptyLinesAndZeroCount) {
    for (bool listOnly : {false, true}) {
        Sweep sweep;
        sweep.platform.entries = {{"new.log", NOW}};
        sweep.run("*.log", false, listOnly);
        const std::string expectedTail =
            listOnly ? "\n\n\n  0 files would have been deleted without the [/L] option\n" : "\n\n\n  0 files were deleted\n";
        const std::string& out = sweep.platform.out;
        EXPECT_EQ(out.substr(out.size() - expectedTail.size()), expectedTail);
        EXPECT_EQ(sweep.platform.keysRead, 0u);
    }
}

TEST(Sweep, FailedOpenPrintsFileNotFoundAndNoHeader) {
    // Nothing matched: standard output alone. A directory that could not be searched: its
    // reason on standard error first.
    for (const std::string why : {"", "missing/: No such file or directory"}) {
        Sweep sweep;
        sweep.platform.searchOpens = false;
        if (!why.empty()) {
            sweep.platform.openFailure.reason = SearchFailure::Reason::RUNTIME_ERROR;
            sweep.platform.openFailure.place = "missing/";
            sweep.platform.openFailure.code = ENOENT;
        }
        EXPECT_EQ(sweep.run("missing/*", true, false), 0);
        EXPECT_EQ(sweep.platform.out, why.empty() ? "File not found\n" : "<err>File not found\n");
        EXPECT_EQ(sweep.platform.err, why.empty() ? "" : "agecull: " + why + "\n");
    }
}

TEST(Sweep, ReadErrorPartWayIsReportedNotPassedOffAsComplete) {
    Sweep sweep;
    sweep.platform.readErrorAfter = 1;
    sweep.run("*.log", true, false);
    EXPECT_EQ(sweep.platform.err, std::string("  Could not read the directory: ") + std::strerror(5) + "\n");
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"old.log"}));
    const std::string& out = sweep.platform.out;
    EXPECT_NE(out.find("old.log  -deleted<err>\n\n  1 files were deleted\n"), std::string::npos) << out;
}

// Names as stored, and as a terminal shows them: one '?' per control character.
const struct {
    const char* name;
    const char* shown;
} CONTROL_NAMES[] = {
    {"a\x1b[2Jb\nc\x7f", "a?[2Jb?c?"},                    // C0 controls and DEL
    {"csi\xc2\x9b" "2J\xc2\x80\xc2\x9f", "csi?2J??"},     // C1 controls, U+009B CSI among them
    {"lone\x9b" "2J\x80", "lone?2J?"},                      // C1 bytes outside any UTF-8 sequence
    {"cut\xe2\x80" "x", "cut\xe2?x"},                       // a sequence cut short leaves stray bytes
    {"gpj.\xe2\x80\xaetxt", "gpj.?txt"},                    // U+202E right-to-left override
    {"\xe2\x80\xaa\xe2\x80\xac\xe2\x81\xa6\xe2\x81\xa9", "????"},  // U+202A, U+202C, U+2066, U+2069
    {"caf\xc3\xa9 \xce\xa9 \xe6\x97\xa5\xe6\x9c\xac", "caf\xc3\xa9 \xce\xa9 \xe6\x97\xa5\xe6\x9c\xac"},  // é Ω 日本
    {"\xe2\x80\xa9\xe2\x81\xaa\xf0\x9f\x98\x80", "\xe2\x80\xa9\xe2\x81\xaa\xf0\x9f\x98\x80"},  // neighbours of the ranges
    {"latin1 caf\xe9 \xa0", "latin1 caf\xe9 \xa0"},           // stray bytes above 0x9F
    {"over\xc1\x9b\xe0\x82\x9b", "over\xc1?\xe0??"},     // overlong forms are stray bytes
};

TEST(Sweep, TerminalSeesEachLineAsItIsDoneAndControlCharactersMasked) {
    for (const auto& c : CONTROL_NAMES) {
        Sweep sweep;
        sweep.platform.terminal = true;
        sweep.platform.markFlushes = true;
        sweep.platform.entries = {{c.name, fileTimeOf(2026, 1, 1)}, {"d", fileTimeOf(2026, 1, 1)}};
        sweep.run("*", true, false);
        const std::string& out = sweep.platform.out;
        EXPECT_NE(out.find(std::string("  ") + c.shown + "  -deleted|\n"), std::string::npos) << out;
        EXPECT_NE(out.find("  d  -deleted|\n"), std::string::npos) << out;
        EXPECT_EQ(sweep.platform.removed[0], c.name);  // removal uses the real name
    }
}

TEST(Sweep, ControlCharactersPassUnchangedToFilesAndPipes) {
    for (const auto& c : CONTROL_NAMES) {
        Sweep sweep;
        sweep.platform.entries = {{c.name, fileTimeOf(2026, 1, 1)}};
        sweep.run("*", false, true);
        EXPECT_NE(sweep.platform.out.find(std::string("  ") + c.name + "  \n"), std::string::npos) << c.name;
    }
}

TEST(Sweep, LongPrefixPlusLongNameIsNeverCut) {
    Sweep sweep;
    const std::string prefix = std::string(250, 'd') + "/";
    const std::string name = std::string(255, 'n');
    sweep.platform.entries = {{name, fileTimeOf(2026, 1, 1)}};
    const std::string pattern = prefix + "*";
    sweep.run(pattern.c_str(), true, false);
    ASSERT_EQ(sweep.platform.removed.size(), 1u);
    EXPECT_EQ(sweep.platform.removed[0], prefix + name);
    EXPECT_NE(sweep.platform.out.find("  " + prefix + name + "  -deleted"), std::string::npos);
}

}  // namespace
