#pragma once

// A platform held in memory: entries with chosen times, a frozen clock, a fixed local
// offset, scripted keys and removals that fail. It records what was written and removed.

#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// Thrown by exitProcess, so a test can watch the program end without the process ending.
// endIfInterrupted throws it with INTERRUPTED_STATUS.
struct FakeExit {
    int status;
};
constexpr int INTERRUPTED_STATUS = -1;

struct FakeEntry {
    std::string name;
    FileTime lastWrite;
    unsigned unusableInCodePage = 0;
    std::string directory{};  // where it lies below the pattern's directory: "" or "a/b"
    bool isDirectory = false;
    int examineError = 0;
};

class FakePlatform;

// The entries of one directory of FakePlatform::entries.
class FakeSearch final : public DirectorySearch {
public:
    FakeSearch(FakePlatform& platform, std::string directory);
    ~FakeSearch() override;
    bool next(FoundEntry& out) override;
    int readError() const override;
    std::size_t prefixLength() const override;
    int remove() override;
    bool restart() override;
    bool nextSubdirectory(FoundEntry& out) override;
    std::unique_ptr<DirectorySearch> openSubdirectory(int& error) override;
    void release() override;
    int reacquire(DirectorySearch& child) override;

private:
    void handOver(std::size_t index, FoundEntry& out) const;

    FakePlatform& platform_;
    std::string directory_;
    std::vector<std::size_t> indices_;  // its entries in `entries`
    std::size_t subdirectory_ = 0;      // the next of indices_ to look at for a subdirectory
    std::size_t current_ = 0;           // index in `entries` of the last one handed over

    std::size_t position_ = 0;
    bool atEnd_ = false;
};

class FakePlatform final : public Platform {
public:
    // Inputs.
    FileTime now = 0;                        // UTC clock
    std::int64_t localOffsetTicks = 0;       // added by toLocalTime
    std::vector<FakeEntry> entries;          // what the search yields, in order
    bool searchOpens = true;                 // false: the open fails
    SearchFailure openFailure;               // the reason a failed open gives
    std::size_t readErrorAfter = SIZE_MAX;   // the listing fails after this many entries
    int readErrorCode = 5;                   // EIO
    std::map<std::string, int> removalErrors;  // entry path -> error code
    std::deque<int> keys;                    // readKey's answers; KEY_NONE once exhausted
    std::size_t interruptAtRemoval = 0;      // a signal comes during this removal (from 1)
    bool terminal = false;                   // standard output is a terminal
    bool errorTerminal = false;              // standard error is a terminal
    bool outputFails = false;                // every write to standard output fails
    bool journal = false;                    // standard error is the journal's stream
    std::map<std::string, int> openErrors;   // subdirectory ("a/b") -> openSubdirectory's error
    std::map<std::string, int> reacquireErrors;  // released directory -> reacquire's error
    std::vector<int> shortDate;              // the short date's numbers; empty: month, day, year
    bool dateFails = false;

    // Records.
    std::string out;       // standard output, with "|" where it was flushed when asked
    std::string err;
    std::string terminalShown;  // what showOnTerminal was given
    OutputFailureWords outputFailureWords;
    std::vector<std::string> removed;
    std::vector<std::size_t> outSizeAtRemoval;  // how much output was written, per call
    std::vector<std::string> pathsOpened;
    std::vector<bool> treesOpened;  // per search opened: whether over the whole tree
    std::size_t searchesHoldingHandles = 0;  // searches open and not released, now and at most
    std::size_t mostHandles = 0;
    std::vector<std::string> addedAfterFirstPass;  // names appended to `entries` (old) once a listing ends
    std::size_t keysRead = 0;
    bool markFlushes = false;
    bool interruptionsHeld = false;
    bool interrupted = false;

    void writeOut(const char* data, std::size_t size) override { out.append(data, size); }
    void flushOut() override {
        // Flushing twice with nothing written between shows nothing new: one mark.
        if (markFlushes && (out.empty() || out.back() != '|')) out += "|";
    }
    bool outputIsTerminal() const override { return terminal; }
    bool errorIsTerminal() const override { return errorTerminal; }
    void reportLine(const char* text) override {
        flushOut();
        err += std::string(text) + "\n";
        out += "<err>";  // where, in the output, the report was written
    }
    std::string systemErrorText(int code) override { return "system error " + std::to_string(code); }
    void nameOutputFailure(const OutputFailureWords& words) override { outputFailureWords = words; }
    bool outputFailed() const override { return outputFails; }
    // The reader of standard output never leaves here: the end-to-end tables make it leave
    // on each system.
    bool readerGone() override { return false; }
    [[noreturn]] void endForGoneReader() override { throw FakeExit{outputFailureWords.readerGoneStatus}; }
    bool errorIsJournal() const override { return journal; }
    void showOnTerminal(const char* text, std::size_t size) override { terminalShown.append(text, size); }
    int readKey() override {
        flushOut();
        ++keysRead;
        if (keys.empty()) return KEY_NONE;
        const int key = keys.front();
        keys.pop_front();
        return key;
    }
    [[noreturn]] void exitProcess(int status) override { throw FakeExit{status}; }
    void holdInterruptions() override { interruptionsHeld = true; }
    void endIfInterrupted() override {
        if (!interrupted) return;
        flushOut();
        throw FakeExit{INTERRUPTED_STATUS};
    }

    FileTime currentTime() override { return now; }
    FileTime toLocalTime(FileTime utc) override { return shiftFileTime(utc, localOffsetTicks); }
    bool toCalendar(FileTime time, CalendarTime& fields) override;
    bool shortDateNumbers(const CalendarTime& time, int numbers[3]) override {
        const std::vector<int> shown = shortDate.empty() ? std::vector<int>{time.month, time.day, time.year} : shortDate;
        for (std::size_t i = 0; i < 3; ++i) numbers[i] = i < shown.size() ? shown[i] : 0;
        return !dateFails;
    }
    bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) override;

    char pathSeparator() const override { return '/'; }

    std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree) override {
        pathsOpened.emplace_back(pattern);
        treesOpened.push_back(wholeTree);
        failure = openFailure;
        if (!searchOpens || entries.empty()) return nullptr;
        return std::make_unique<FakeSearch>(*this, std::string());
    }

    friend class FakeSearch;
};

// Ticks for a UTC moment, through the same days-from-civil arithmetic as the tests expect.
FileTime fileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0);
