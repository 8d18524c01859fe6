#include "sweep/sweep.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/fake_platform.h"
#include "sweep/report.h"

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

namespace {

struct StrictRun {
    FakePlatform platform;
    int status = 0;

    void run(const char* pattern, bool quiet, bool listOnly, bool wholeTree, std::int32_t keep = 0,
             std::int64_t max = -1) {
        platform.now = NOW;
        SweepRequest request;
        request.pattern = pattern;
        request.quiet = quiet;
        request.listOnly = listOnly;
        request.wholeTree = wholeTree;
        request.keepNewest = keep;
        request.maxDeletions = max;
        RunReport report(platform, Program::AGECULL_STRICT);
        sweepFiles(request, report);
        status = report.exitStatus();
    }
};

const FileTime OLD = fileTimeOf(2026, 1, 1);

TEST(Sweep, TreesGiveEachDirectoryItsLinesThenItsSubdirectoriesDepthFirst) {
    const struct {
        const char* name;
        std::map<std::string, int> openErrors;
        std::vector<std::string> removed;
        int status;
        std::string err;
    } cases[] = {
        {"every level", {}, {"top/a.log", "top/z.log", "top/sub/b.log", "top/sub/deep/c.log", "top/sub2/d.log"}, 1,
         "agecull-strict: top/sub/bad.log: Input/output error\n"},
        {"a subdirectory that cannot be opened",
         {{"sub", EACCES}},
         {"top/a.log", "top/z.log", "top/sub2/d.log"},
         1,
         "agecull-strict: top/sub/: Permission denied\n"},
        {"a subdirectory changed since it was listed",
         {{"sub/deep", ERROR_ENTRY_CHANGED}},
         {"top/a.log", "top/z.log", "top/sub/b.log", "top/sub2/d.log"},
         1,
         "agecull-strict: top/sub/bad.log: Input/output error\n"
         "agecull-strict: top/sub/deep/: changed since it was listed, so it was not entered\n"},
        {"another file system, passed over in silence", {{"sub", 0}}, {"top/a.log", "top/z.log", "top/sub2/d.log"}, 0,
         ""},
        {"a subdirectory the code page cannot name", {{"sub2", -1}}, {"top/a.log", "top/z.log", "top/sub/b.log",
         "top/sub/deep/c.log"}, 1, "agecull-strict: top/sub/bad.log: Input/output error\n"
         "agecull-strict: top/sub2/: its name cannot be written in code page 1252, so it was left alone\n"},
    };
    for (const auto& c : cases) {
        StrictRun run;
        run.platform.entries = {
            {"a.log", OLD},
            {"sub", OLD, 0, "", true},
            {"b.log", OLD, 0, "sub"},
            {"bad.log", 0, 0, "sub", false, EIO},
            {"deep", OLD, 0, "sub", true},
            {"c.log", OLD, 0, "sub/deep"},
            {"sub2", OLD, 0, "", true},
            {"d.log", OLD, 0, "sub2"},
            {"z.log", OLD},
        };
        run.platform.openErrors = c.openErrors;
        if (c.openErrors.count("sub2") != 0 && c.openErrors.at("sub2") == -1) {
            run.platform.entries[6].unusableInCodePage = 1252;  // never opened: the fake would say -1
        }
        run.run("top/*", true, false, true);
        EXPECT_EQ(run.platform.removed, c.removed) << c.name;
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.platform.err, c.err) << c.name;
        EXPECT_EQ(run.platform.out.find("  top/sub  "), std::string::npos) << c.name;  // directories are never listed
    }
}

TEST(Sweep, ADeepTreeHoldsFewHandlesAndStopsWhereTheWayBackChanged) {
    for (const bool wayBackChanged : {false, true}) {
        StrictRun run;
        std::string below;
        for (int depth = 0; depth < 60; ++depth) {
            run.platform.entries.push_back({"d", OLD, 0, below, true});
            run.platform.entries.push_back({"f.log", OLD, 0, below});
            below += below.empty() ? "d" : "/d";
        }
        if (wayBackChanged) run.platform.reacquireErrors["d/d/d"] = ERROR_ENTRY_CHANGED;
        run.platform.entries.push_back({"last.log", OLD});  // after the subdirectory in the listing
        run.platform.entries.push_back({"e", OLD, 0, "", true});
        run.platform.entries.push_back({"e.log", OLD, 0, "e"});
        run.run("*.log", true, false, true);
        EXPECT_LE(run.platform.mostHandles, 9u);
        // Every level's file goes on the way down; the top's next subdirectory only if the
        // way back held.
        EXPECT_EQ(run.platform.removed.size(), wayBackChanged ? 61u : 62u);
        EXPECT_EQ(run.platform.removed[1], "last.log");
        EXPECT_EQ(run.platform.removed.back() == "e/e.log", !wayBackChanged);
        EXPECT_EQ(run.status, wayBackChanged ? 1 : 0);
        EXPECT_EQ(run.platform.err,
                  wayBackChanged ? "agecull-strict: d/d/d/: changed since it was listed, so it was not entered\n" : "");
    }
}

TEST(Sweep, AnEntryThatCannotBeExaminedIsNamedAndTheSweepGoesOn) {
    Sweep sweep;
    sweep.platform.entries.insert(sweep.platform.entries.begin() + 1, {"bad.log", 0, 0, "", false, 117});
    sweep.run("logs/*.log", true, false);
    EXPECT_EQ(sweep.platform.removed, (std::vector<std::string>{"logs/old.log", "logs/older.log"}));
    EXPECT_EQ(sweep.platform.err, std::string("  Could not examine logs/bad.log: ") + std::strerror(117) + "\n");
    EXPECT_NE(sweep.platform.out.find("  2 files were deleted\n  1 files failed to delete\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(Sweep, KeepTheNewestAndCapTheDeletions) {
    const FileTime young = fileTimeOf(2026, 12, 7, 12);
    const auto day = [](int n) { return fileTimeOf(2026, 11, n); };
    const struct {
        const char* name;
        std::vector<FakeEntry> entries;
        bool listOnly;
        std::int32_t keep;
        std::int64_t max;
        std::vector<std::string> removed;
        std::string summaryTail;
        int status;
        std::string err;
        std::vector<std::string> addedAfterCount{};
    } cases[] = {
        {"young files count among the newest", {{"y1", young}, {"o1", day(1)}, {"y2", young}, {"o2", day(2)}, {"o3", day(3)}},
         false, 3, -1, {"o1", "o2"}, "  2 files were deleted\n  1 files were kept as the newest\n", 0, ""},
        {"directories never count", {{"o1", day(1)}, {"dir", day(9), 0, "", true}, {"o2", day(2)}}, false, 1, -1,
         {"o1"}, "  1 files were deleted\n  1 files were kept as the newest\n", 0, ""},
        {"a dry run under the cap", {{"a", day(1)}}, true, 0, 1, {},
         "  1 files would have been deleted without the [/L] option\n", 0, ""},
        {"no deletion at all allowed", {{"new", young}}, false, 0, 0, {}, "  0 files were deleted\n", 0, ""},
        {"newcomers after the count", {{"a", day(1)}, {"b", day(2)}}, false, 0, 2, {"a", "b"},
         "  2 files were deleted\n  1 files were skipped\n", 3, "agecull-strict: late: not deleted, /MAX:2 reached\n",
         {"late"}},
    };
    for (const auto& c : cases) {
        StrictRun run;
        run.platform.entries = c.entries;
        run.platform.addedAfterFirstPass = c.addedAfterCount;
        run.run("*", !c.listOnly, c.listOnly, true, c.keep, c.max);
        EXPECT_EQ(run.platform.removed, c.removed) << c.name;
        const std::string& out = run.platform.out;
        ASSERT_GE(out.size(), c.summaryTail.size()) << c.name;
        EXPECT_EQ(out.substr(out.size() - c.summaryTail.size()), c.summaryTail) << c.name << "\n" << out;
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.platform.err, c.err) << c.name;
    }
}

}  // namespace

namespace {

TEST(Sweep, TheTerminalThatAnswersSeesTheQuestionWithNamesMaskedWhateverStandardOutputGets) {
    Sweep sweep;
    sweep.platform.entries = {{"a\x1b[2Jb.log", fileTimeOf(2026, 1, 1)}};
    sweep.platform.keys = {'y'};
    sweep.run("*.log", false, false);
    EXPECT_NE(sweep.platform.out.find("  a\x1b[2Jb.log  delete y/n ? Y-deleted"), std::string::npos);
    EXPECT_EQ(sweep.platform.terminalShown, "\n01/01/2026  12:00:00 AM  a?[2Jb.log  delete y/n ? Y");
}

}  // namespace
