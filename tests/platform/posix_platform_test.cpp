// The real POSIX platform against a real temporary directory.

#include <gtest/gtest.h>

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/read_ahead.h"
#include "platform/posix/posix.h"
#include "platform/posix/reach.h"
#include "support/fake_platform.h"
#include "sweep/report.h"

namespace {

std::unique_ptr<DirectorySearch> openSearch(const std::string& pattern) {
    SearchFailure failure;
    return systemPlatform().openSearch(pattern.c_str(), failure, false);
}

// A search's failure as the user reads it, without the program's name.
std::string wordsOf(const SearchFailure& failure) {
    FakePlatform platform;
    RunReport(platform, Program::AGECULL).searchFailed(failure);
    return platform.err.substr(std::strlen("agecull: "), platform.err.size() - std::strlen("agecull: \n"));
}

class PosixPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/agecull-platform-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        const std::string command = "chmod -R u+w '" + root_ + "' && rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string path(const std::string& name) const { return root_ + "/" + name; }

    void makeFile(const std::string& name, mode_t mode = 0644) const {
        const int descriptor = open(path(name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode);
        ASSERT_GE(descriptor, 0) << name;
        close(descriptor);
        ASSERT_EQ(chmod(path(name).c_str(), mode), 0);
    }

    bool exists(const std::string& name) const {
        struct stat info;
        return lstat(path(name).c_str(), &info) == 0;
    }

    std::vector<std::string> namesFound(const std::string& namePattern) const {
        std::vector<std::string> names;
        const std::string pattern = path(namePattern);
        std::unique_ptr<DirectorySearch> search = openSearch(pattern);
        if (!search) return {"<not found>"};
        FoundEntry entry;
        while (search->next(entry)) names.emplace_back(entry.name, entry.nameLength);
        EXPECT_EQ(search->readError(), 0);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root_;
};

using Names = std::vector<std::string>;

TEST_F(PosixPlatformTest, SearchMatchesTheLastComponent) {
    makeFile("a.log");
    makeFile("b.LOG");
    makeFile(".hidden.log");
    makeFile("[x].txt");
    makeFile("x.txt");
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    const struct {
        const char* pattern;
        Names expected;
    } cases[] = {
        {"*.log", {".hidden.log", "a.log"}},
        {"?.log", {"a.log"}},
        {"*", {".", "..", ".hidden.log", "[x].txt", "a.log", "b.LOG", "sub", "x.txt"}},
        {"[x].txt", {"[x].txt"}},
        {"sub", {"sub"}},
        {"*.none", {"<not found>"}},
        {"missing", {"<not found>"}},
        {"missing/*", {"<not found>"}},
        {"sub/", {"<not found>"}},
    };
    for (const auto& c : cases) EXPECT_EQ(namesFound(c.pattern), c.expected) << c.pattern;
}

TEST_F(PosixPlatformTest, DirectoryPartIsWalkedAsTheKernelWouldWalkIt) {
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("sub/deep").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("other").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("other/inner").c_str(), 0755), 0);
    makeFile("sub/deep/f.log");
    makeFile("other/g.log");
    makeFile("file");
    for (const auto& [target, link] : {std::pair<std::string, std::string>{"l2", "l1"}, {"sub", "l2"},
                                       {path("sub"), "absolute"}, {"../other/inner", "sub/away"},
                                       {"loop2", "loop1"}, {"loop1", "loop2"}, {"missing", "dangling"}}) {
        ASSERT_EQ(symlink(target.c_str(), path(link).c_str()), 0) << link;
    }
    // chain0 -> chain1 -> ... -> chain40 -> sub: from chain1, exactly the kernel's 40 links.
    ASSERT_EQ(symlink("sub", path("chain40").c_str()), 0);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(symlink(("chain" + std::to_string(i + 1)).c_str(), path("chain" + std::to_string(i)).c_str()), 0);
    }
    const Names found{"f.log"};
    const struct {
        std::string pattern;  // relative ones from root_/sub
        Names expected;
    } cases[] = {
        {"/" + root_ + "/sub/deep/*.log", found},
        {root_ + "//sub/./deep//*.log", found},
        {root_ + "/sub/deep/../deep/*.log", found},
        {root_ + "/l1/deep/*.log", found},  // a chain of two relative links
        {root_ + "/absolute/deep/*.log", found},
        {root_ + "/sub/away/../*.log", {"g.log"}},  // '..' after a link leaves its target
        {"../sub/deep/*.log", found},
        {"./deep/./*.log", found},
        {"deep/*.log", found},
        {"*.none", {"<not found>"}},
        {root_ + "/chain1/deep/*.log", found},
        {root_ + "/chain0/deep/*.log", {root_ + "/chain0/: Too many levels of symbolic links"}},
        {root_ + "/loop1/*.log", {root_ + "/loop1/: Too many levels of symbolic links"}},
        {root_ + "/dangling/x", {root_ + "/dangling -> missing/: No such file or directory"}},
        {root_ + "/file/x", {root_ + "/file/: Not a directory"}},
        {"../sub/gone/more/*", {"../sub/gone/: No such file or directory"}},
        {"deep/", {"deep/: no file name after the last '/'"}},
    };
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    ASSERT_EQ(chdir(path("sub").c_str()), 0);
    for (const auto& c : cases) {
        SearchFailure failure;
        std::unique_ptr<DirectorySearch> search = systemPlatform().openSearch(c.pattern.c_str(), failure, false);
        Names names;
        FoundEntry entry;
        while (search && search->next(entry)) names.emplace_back(entry.name, entry.nameLength);
        if (!search) names.push_back(failure.failed() ? wordsOf(failure) : "<not found>");
        EXPECT_EQ(names, c.expected) << c.pattern;
    }
    EXPECT_EQ(fchdir(home), 0);
    close(home);
}

TEST_F(PosixPlatformTest, EntriesCarryTheirOwnLastWriteTime) {
    makeFile("target");
    ASSERT_EQ(symlink("target", path("link").c_str()), 0);
    const struct timespec targetTime[2] = {{0, 0}, {1000000000, 123456700}};
    const struct timespec linkTime[2] = {{0, 0}, {-1000000000, 0}};  // 1938: before 1970
    ASSERT_EQ(utimensat(AT_FDCWD, path("target").c_str(), targetTime, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, path("link").c_str(), linkTime, AT_SYMLINK_NOFOLLOW), 0);
    for (const auto& [name, seconds, hundredNs] :
         {std::tuple<const char*, long long, unsigned long long>{"target", 1000000000, 1234567},
          {"link", -1000000000, 0}}) {
        const std::string pattern = path(name);
        auto search = openSearch(pattern);
        ASSERT_TRUE(search);
        FoundEntry entry;
        ASSERT_TRUE(search->next(entry));
        EXPECT_EQ(entry.lastWrite, static_cast<FileTime>((seconds + 11644473600LL) * 10000000LL) + hundredNs) << name;
    }
}

TEST_F(PosixPlatformTest, RemovalTakesFilesAndLinksOnly) {
    makeFile("plain");
    makeFile("readonly", 0444);
    ASSERT_EQ(mkdir(path("dir").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink("dir", path("dirlink").c_str()), 0);
    const struct {
        const char* name;
        int expected;
        bool remains;
    } cases[] = {
        {"plain", 0, false}, {"readonly", EACCES, true}, {"dir", EACCES, true},
        {"fifo", EACCES, true}, {"dirlink", 0, false},
    };
    for (const auto& c : cases) {
        const std::string pattern = path(c.name);
        auto search = openSearch(pattern);
        ASSERT_TRUE(search) << c.name;
        FoundEntry entry;
        ASSERT_TRUE(search->next(entry));
        EXPECT_EQ(search->remove(), c.expected) << c.name;
        EXPECT_EQ(exists(c.name), c.remains) << c.name;
    }
    EXPECT_TRUE(exists("dir"));  // the link's target is untouched
}

TEST_F(PosixPlatformTest, EntryChangedAfterExaminationIsKept) {
    makeFile("log");
    makeFile("other");
    const std::string pattern = path("log");
    for (bool replace : {false, true}) {
        auto search = openSearch(pattern);
        ASSERT_TRUE(search);
        FoundEntry entry;
        ASSERT_TRUE(search->next(entry));
        if (replace) {
            ASSERT_EQ(rename(path("other").c_str(), pattern.c_str()), 0);
        } else {
            const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, pattern.c_str(), later, 0), 0);
        }
        EXPECT_EQ(search->remove(), ERROR_ENTRY_CHANGED) << replace;
        EXPECT_TRUE(exists("log"));
    }
}

std::unique_ptr<DirectorySearch> openTreeSearch(const std::string& pattern) {
    SearchFailure failure;
    return systemPlatform().openSearch(pattern.c_str(), failure, true);
}

std::string nameOf(const FoundEntry& entry) { return std::string(entry.name, entry.nameLength); }

// Descriptors this process has open.
int openDescriptors() {
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) return -1;
    int count = 0;
    while (readdir(listing) != nullptr) ++count;
    closedir(listing);
    return count;
}

TEST_F(PosixPlatformTest, TreeSearchHandsOverEntriesThenSubdirectoriesAndStartsAgain) {
    makeFile("a.log");
    makeFile("b.txt");
    for (const char* name : {"sub", "dir.log", "empty"}) ASSERT_EQ(mkdir(path(name).c_str(), 0755), 0);
    makeFile("sub/c.log");
    ASSERT_EQ(symlink("sub", path("dirlink").c_str()), 0);
    ASSERT_EQ(symlink("a.log", path("filelink.log").c_str()), 0);
    auto search = openTreeSearch(path("*.log"));
    ASSERT_TRUE(search);
    for (int pass = 0; pass < 3; ++pass) {
        if (pass > 0) {
            ASSERT_TRUE(search->restart());
        }
        Names entries;
        Names subdirectories;
        FoundEntry entry;
        while (search->next(entry)) entries.push_back(nameOf(entry) + (entry.directory ? "/" : ""));
        EXPECT_EQ(search->readError(), 0);
        while (search->nextSubdirectory(entry)) {
            struct stat info;
            ASSERT_EQ(lstat(path(nameOf(entry)).c_str(), &info), 0);
            EXPECT_EQ(entry.identity, (EntryIdentity{info.st_dev, info.st_ino})) << entry.name;
            subdirectories.push_back(nameOf(entry));
        }
        EXPECT_EQ(search->readError(), 0);
        std::sort(entries.begin(), entries.end());
        std::sort(subdirectories.begin(), subdirectories.end());
        EXPECT_EQ(entries, (Names{"a.log", "dir.log/", "filelink.log"})) << pass;
        EXPECT_EQ(subdirectories, (Names{"dir.log", "empty", "sub"})) << pass;
    }
    // Its subdirectories may hold matches: a tree's search opens with none of its own, and
    // lists them all though no name it read matched.
    EXPECT_FALSE(openSearch(path("*.none")));
    auto none = openTreeSearch(path("*.none"));
    ASSERT_TRUE(none);
    FoundEntry entry;
    EXPECT_FALSE(none->next(entry));
    Names below;
    while (none->nextSubdirectory(entry)) below.push_back(nameOf(entry));
    std::sort(below.begin(), below.end());
    EXPECT_EQ(below, (Names{"dir.log", "empty", "sub"}));
}

TEST_F(PosixPlatformTest, SubdirectoryChangedSinceItWasListedIsNotEntered) {
    // What has the subdirectory's name when it is opened, after it was listed.
    for (const std::string now : {"itself", "nothing", "link", "directory", "file"}) {
        const std::string sub = "case-" + now + "/sub";
        ASSERT_EQ(mkdir(path("case-" + now).c_str(), 0755), 0);
        ASSERT_EQ(mkdir(path(sub).c_str(), 0755), 0);
        makeFile(sub + "/x.log");
        auto search = openTreeSearch(path("case-" + now + "/*.log"));
        ASSERT_TRUE(search) << now;
        FoundEntry entry;
        ASSERT_FALSE(search->next(entry));
        ASSERT_TRUE(search->nextSubdirectory(entry)) << now;
        const bool moved = now == "itself" || rename(path(sub).c_str(), path(sub + ".old").c_str()) == 0;
        const bool replaced = now == "link"        ? symlink("sub.old", path(sub).c_str()) == 0
                              : now == "directory" ? mkdir(path(sub).c_str(), 0755) == 0
                                                   : true;
        ASSERT_TRUE(moved && replaced) << now;
        if (now == "file") makeFile(sub);
        int error = 1;
        auto child = search->openSubdirectory(error);
        EXPECT_EQ(error, now == "itself" ? 0 : ERROR_ENTRY_CHANGED) << now;
        ASSERT_EQ(child != nullptr, now == "itself") << now;
        if (child) {
            ASSERT_TRUE(child->next(entry));
            EXPECT_EQ(nameOf(entry), "x.log");
        }
    }
}

TEST_F(PosixPlatformTest, ReleasedSearchGivesUpItsDescriptorAndKeepsTheRestOfItsListing) {
    if (openDescriptors() < 0) GTEST_SKIP() << "no /proc/self/fd to count descriptors with";
    for (const bool moved : {false, true}) {
        const std::string base = moved ? "moved" : "kept";
        Names all;
        ASSERT_EQ(mkdir(path(base).c_str(), 0755), 0);
        for (int i = 0; i < 10; ++i) {
            all.push_back("d" + std::to_string(i));
            ASSERT_EQ(mkdir(path(base + "/" + all.back()).c_str(), 0755), 0);
            makeFile(base + "/" + all.back() + "/x.log");
        }
        auto search = openTreeSearch(path(base + "/*.log"));
        ASSERT_TRUE(search);
        FoundEntry entry;
        ASSERT_FALSE(search->next(entry));
        ASSERT_TRUE(search->nextSubdirectory(entry));
        Names listed{nameOf(entry)};
        int error = 1;
        auto child = search->openSubdirectory(error);
        ASSERT_TRUE(child);
        const int before = openDescriptors();
        search->release();
        EXPECT_EQ(openDescriptors(), before - 1);
        if (moved) {
            ASSERT_EQ(rename(path(base + "/" + listed[0]).c_str(), path("away").c_str()), 0);
        }
        EXPECT_EQ(search->reacquire(*child), moved ? ERROR_ENTRY_CHANGED : 0) << base;
        if (moved) continue;
        child.reset();
        while (search->nextSubdirectory(entry)) {
            listed.push_back(nameOf(entry));
            // Opened relative to the descriptor taken again.
            auto next = search->openSubdirectory(error);
            ASSERT_TRUE(next) << entry.name << ": " << error;
            ASSERT_TRUE(next->next(entry));
            EXPECT_EQ(nameOf(entry), "x.log");
        }
        EXPECT_EQ(search->readError(), 0);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, all);
    }
}

// Many batches' worth, so that with several CPUs the entries are examined ahead on worker
// threads and handed over from batch storage that is refilled behind them.
constexpr int MANY = static_cast<int>(posix::BATCH_NAMES * posix::BATCHES * 3);

std::string manyName(int index) { return "f" + std::to_string(10000 + index); }

TEST_F(PosixPlatformTest, EachEntryKeepsItsOwnStatusThroughALargeDirectory) {
    for (int i = 0; i < MANY; ++i) {
        makeFile(manyName(i), i % 2 == 0 ? 0444 : 0644);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000 + i, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path(manyName(i)).c_str(), times, 0), 0);
    }
    auto search = openSearch(path("f*"));
    ASSERT_TRUE(search);
    FoundEntry entry;
    int seen = 0;
    while (search->next(entry)) {
        const int index = std::stoi(std::string(entry.name, entry.nameLength).substr(1)) - 10000;
        ASSERT_EQ(entry.lastWrite, static_cast<FileTime>((1000000000LL + index + 11644473600LL) * 10000000LL))
            << entry.name;
        // Removal acts on the name just handed over, judged by that name's own status.
        ASSERT_EQ(search->remove(), index % 2 == 0 ? EACCES : 0) << entry.name;
        ++seen;
    }
    EXPECT_EQ(search->readError(), 0);
    EXPECT_EQ(seen, MANY);
    for (int i = 0; i < MANY; ++i) EXPECT_EQ(exists(manyName(i)), i % 2 == 0) << manyName(i);
}

TEST_F(PosixPlatformTest, AnExaminationHeldTooLongIsDoneAgain) {
    for (int i = 0; i < MANY; ++i) makeFile(manyName(i));
    auto search = openSearch(path("f*"));
    ASSERT_TRUE(search);
    FoundEntry entry;
    ASSERT_TRUE(search->next(entry));
    const std::string inHand(entry.name, entry.nameLength);
    // The entry after it in directory order: examined already, whatever the CPUs.
    std::string vanishing;
    DIR* listing = opendir(root_.c_str());
    ASSERT_NE(listing, nullptr);
    for (const struct dirent* found = readdir(listing); found != nullptr && vanishing.empty(); found = readdir(listing)) {
        if (found->d_name[0] == 'f' && found->d_name != inHand) vanishing = found->d_name;
    }
    closedir(listing);
    // Everything after the entry in hand changes while the sweep is held up, and one entry
    // goes: however far ahead it was examined, each entry handed over afterwards shows the
    // change, and the one gone is not handed over at all.
    const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    for (int i = 0; i < MANY; ++i) {
        if (manyName(i) != inHand) {
            ASSERT_EQ(utimensat(AT_FDCWD, path(manyName(i)).c_str(), later, 0), 0);
        }
    }
    ASSERT_EQ(unlink(path(vanishing).c_str()), 0);
    std::this_thread::sleep_for(std::chrono::nanoseconds(2 * posix::STALE_NANOSECONDS));
    int seen = 1;
    while (search->next(entry)) {
        ASSERT_NE(std::string(entry.name, entry.nameLength), vanishing);
        ASSERT_EQ(entry.lastWrite, static_cast<FileTime>((2000000000LL + 11644473600LL) * 10000000LL)) << entry.name;
        ++seen;
    }
    EXPECT_EQ(search->readError(), 0);
    EXPECT_EQ(seen, MANY - 1);
}

TEST_F(PosixPlatformTest, StandardOutputGoesOutInWholeWritesOf4KiB) {
    Platform& platform = systemPlatform();
    platform.flushOut();
    std::fflush(stdout);
    const int file = open(path("out").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_EQ(dup2(file, STDOUT_FILENO), STDOUT_FILENO);
    auto written = [file] {
        struct stat info;
        return fstat(file, &info) == 0 ? info.st_size : -1;
    };
    std::vector<off_t> sizes;
    const std::string almost(4096 - 1, 'x');
    platform.writeOut(almost.data(), almost.size());
    sizes.push_back(written());
    for (const char* more : {"y", "z"}) {
        platform.writeOut(more, 1);
        sizes.push_back(written());
    }
    platform.flushOut();
    sizes.push_back(written());
    dup2(saved, STDOUT_FILENO);  // before any check, which gtest reports on standard output
    close(saved);
    close(file);
    EXPECT_EQ(sizes, (std::vector<off_t>{0, 4096, 4096, 4096 + 1}));
}

TEST(PosixPlatform, PrefixIsThePatternUpToItsLastSlash) {
    const struct {
        const char* pattern;
        std::size_t expected;
    } cases[] = {{"*.log", 0}, {"logs/*.log", 5}, {"/var/log/*", 9}, {"a//b/c", 5}, {"dir\\*.txt", 0}, {"/", 1}};
    for (const auto& c : cases) EXPECT_EQ(posix::pathPrefixLength(c.pattern), c.expected) << c.pattern;
}

TEST(PosixPlatform, UnixTimesAreHeldAtTheEndsOfTheFileTimeRange) {
    constexpr FileTime EPOCH = 116444736000000000ULL;  // 1970-01-01 in ticks since 1601
    constexpr FileTime MAX = ~static_cast<FileTime>(0);
    constexpr std::int64_t LAST_SECOND = 1833029933770LL;  // the last whole second MAX holds
    const struct {
        std::int64_t seconds;
        long nanoseconds;
        FileTime expected;
    } cases[] = {
        {0, 0, EPOCH},
        {0, 1500000000L, EPOCH + 15000000},  // nanoseconds past a second carry over
        {0, -100, EPOCH - 1},
        {-11644473600LL, 0, 0},
        {-11644473600LL, -1, 0},  // before 1601: the oldest time
        {std::int64_t{1} << 40, 0, 11111561013760000000ULL},
        {LAST_SECOND, 955161500L, MAX},
        {LAST_SECOND, 955161600L, MAX},  // after 1601: the newest time, never a wrapped one
        {LAST_SECOND + 1, 0, MAX},
        {INT64_MAX, 999999999L, MAX},
        {INT64_MAX, LONG_MIN, MAX},
        {INT64_MIN, 0, 0},
        {INT64_MIN, LONG_MAX, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::fileTimeFromUnix(c.seconds, c.nanoseconds), c.expected) << c.seconds << " s " << c.nanoseconds;
    }
}

TEST(PosixPlatform, TwelveHourTimeHasTwoDigitFieldsAndFitsItsBuffer) {
    posix::DateText dates("C");
    const struct {
        int hour, minute, second;
        const char* expected;
    } cases[] = {
        {0, 0, 0, "12:00:00 AM"},   {9, 5, 7, "09:05:07 AM"},   {11, 59, 59, "11:59:59 AM"},
        {12, 0, 0, "12:00:00 PM"},  {12, 59, 59, "12:59:59 PM"}, {23, 4, 5, "11:04:05 PM"},
    };
    for (const auto& c : cases) {
        CalendarTime fields;
        fields.hour = c.hour;
        fields.minute = c.minute;
        fields.second = c.second;
        char text[64];
        ASSERT_TRUE(dates.formatTime(fields, text, sizeof text)) << c.expected;
        EXPECT_EQ(std::string(text), c.expected);
    }
    char tooSmall[11];
    EXPECT_FALSE(dates.formatTime(CalendarTime{}, tooSmall, sizeof tooSmall));
    char justEnough[12];
    EXPECT_TRUE(dates.formatTime(CalendarTime{}, justEnough, sizeof justEnough));
}

TEST(PosixPlatform, DateOrderComesFromTheDirectivesOfTheDateFormat) {
    constexpr auto D = posix::DateField::DAY;
    constexpr auto M = posix::DateField::MONTH;
    constexpr auto Y = posix::DateField::YEAR;
    const struct {
        const char* format;
        posix::DateField first, second, third;
        bool twoDigitYear;
    } cases[] = {
        {"%m/%d/%Y", M, D, Y, false},           // en_US
        {"%d/%m/%y", D, M, Y, true},            // en_GB
        {"%d.%m.%Y", D, M, Y, false},           // de_DE
        {"%Y-%m-%d", Y, M, D, false},           // en_CA
        {"%d. %b %Y", D, M, Y, false},          // nb_NO
        {"%d %b, %Y", D, M, Y, false},          // ar_EG
        {"%Oy/%Om/%Od", Y, M, D, true},         // fa_IR
        {"%d/%m/%Ey", D, M, Y, false},          // th_TH: an era's year
        {"%-d.%-m.%Y", D, M, Y, false},         // cs_CZ: glibc flags
        {"%A, %B %e, %Y", M, D, Y, false},      // weekday ignored
        {"%a %_3e.%^h %EY", D, M, Y, false},    // width, flags, %h and %EY
        {"%OC%Oy %b %Od %A", Y, M, D, false},   // my_MM: century and year are one year
        {"%C %d %m %y", D, M, Y, true},         // a century alone says nothing
        {"%D", M, D, Y, true},
        {"%F", Y, M, D, false},
        {"%e %B", D, M, Y, false},              // no year: it follows
        {"%d %e %m %d %Y %y", D, M, Y, false},  // the first of each counts
        {"%y%%%d", Y, D, M, true},
        {"%j %a %%d", M, D, Y, false},          // nothing usable: month/day/year
        {"", M, D, Y, false},
        {"%d/%m/%", D, M, Y, false},            // a lone % at the end
        {"%d/%m/%E", D, M, Y, false},
        {"%d/%m/%C", D, M, Y, false},
        {"%d/%m/%C%", D, M, Y, false},
    };
    for (const auto& c : cases) {
        const posix::DateOrder order = posix::dateOrderOf(c.format);
        EXPECT_EQ(std::vector<posix::DateField>(order.fields, order.fields + 3),
                  std::vector<posix::DateField>({c.first, c.second, c.third}))
            << c.format;
        EXPECT_EQ(order.twoDigitYear, c.twoDigitYear) << c.format;
    }
}

TEST(PosixPlatform, ShortDateOfTheCLocaleHasAFourDigitYear) {
    CalendarTime fields;
    fields.year = 2005;
    fields.month = 3;
    fields.day = 7;
    // C's own D_FMT has a two-digit year; C.UTF-8 is C, and a locale that is not installed too.
    for (const char* locale : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
        posix::DateText dates(locale);
        int numbers[3] = {-1, -1, -1};
        ASSERT_TRUE(dates.shortDateNumbers(fields, numbers)) << locale;
        EXPECT_EQ(std::vector<int>(numbers, numbers + 3), std::vector<int>({3, 7, 2005})) << locale;
    }
}

TEST(PosixPlatform, CalendarFieldsForAnyFileTime) {
    const struct {
        FileTime time;
        CalendarTime expected;
    } cases[] = {
        {0, {1601, 1, 1, 0, 0, 0, 0}},
        {fileTimeOf(1969, 12, 31, 23, 59, 59, 999), {1969, 12, 31, 23, 59, 59, 999}},
        {fileTimeOf(2024, 2, 29, 12, 0, 0), {2024, 2, 29, 12, 0, 0, 0}},
        {fileTimeOf(2026, 12, 7, 15, 4, 5, 250), {2026, 12, 7, 15, 4, 5, 250}},
        {~static_cast<FileTime>(0), {60056, 5, 28, 5, 36, 10, 955}},
    };
    for (const auto& c : cases) {
        CalendarTime fields;
        ASSERT_TRUE(systemPlatform().toCalendar(c.time, fields));
        EXPECT_EQ(std::vector<int>({fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second,
                                    fields.millisecond}),
                  std::vector<int>({c.expected.year, c.expected.month, c.expected.day, c.expected.hour,
                                    c.expected.minute, c.expected.second, c.expected.millisecond}))
            << c.time;
    }
}

// Lists the kernel would refuse to store can only be made here: a list not understood
// lets nobody through.
TEST(PosixPlatform, AccessListLetsAUserSearchOnlyWhenNoEntryThatMayApplyDeniesIt) {
    enum : unsigned { USER_OBJ = 1, USER = 2, GROUP_OBJ = 4, GROUP = 8, MASK = 16, OTHER = 32, BAD = 64 };
    const auto acl = [](std::uint32_t version, std::vector<std::array<unsigned, 3>> entries) {
        std::vector<unsigned char> bytes;
        const auto put = [&bytes](std::uint32_t value, int size) {
            for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        };
        put(version, 4);
        for (const auto& [tag, permissions, id] : entries) put(tag, 2), put(permissions, 2), put(id, 4);
        return bytes;
    };
    const std::array<unsigned, 3> owner{USER_OBJ, 7, 0}, group{GROUP_OBJ, 5, 0}, others{OTHER, 5, 0};
    std::vector<unsigned char> cutShort = acl(2, {owner, group, others});
    cutShort.pop_back();
    const struct {
        std::vector<unsigned char> acl;
        bool searches;
    } cases[] = {
        {acl(2, {owner, {USER, 0, 7}, group, {MASK, 5, 0}, others}), true},  // names someone else
        {acl(2, {owner, {USER, 0, 42}, group, {MASK, 5, 0}, others}), false},
        {acl(2, {owner, {USER, 1, 42}, group, {MASK, 5, 0}, {OTHER, 0, 0}}), true},  // its own entry decides
        {acl(2, {owner, {USER, 1, 42}, group, {MASK, 4, 0}, others}), false},      // as far as the mask allows
        {acl(2, {owner, group, {GROUP, 4, 9}, {MASK, 5, 0}, others}), false},      // it may be in that group
        {acl(2, {owner, group, {MASK, 4, 0}, others}), false},
        {acl(1, {owner, group, others}), false},
        {acl(2, {owner, group, {BAD, 7, 0}, others}), false},
        {acl(2, {owner, others}), false},  // no entry for the owning group
        {cutShort, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(posix::aclLetsSearch(cases[i].acl.data(), cases[i].acl.size(), 42), cases[i].searches) << i;
    }
}

}  // namespace
