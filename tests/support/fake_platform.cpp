#include "support/fake_platform.h"

#include <algorithm>

namespace {

// Days since 1601-01-01 for a proleptic Gregorian date.
std::int64_t daysFrom1601(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + 134774;
}

}  // namespace

FileTime fileTimeOf(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const std::int64_t seconds = daysFrom1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<FileTime>(seconds) * 10000000U + static_cast<FileTime>(millisecond) * 10000U;
}

bool FakePlatform::toCalendar(FileTime time, CalendarTime& fields) {
    // Walk whole days forward from 1601: slow, but independent of the real implementation.
    std::uint64_t days = time / TICKS_PER_DAY;
    std::uint64_t rest = time % TICKS_PER_DAY;
    int year = 1601;
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days >= static_cast<std::uint64_t>(leap(year) ? 366 : 365)) days -= leap(year++) ? 366U : 365U;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 1;
    for (;;) {
        const int length = lengths[month - 1] + (month == 2 && leap(year) ? 1 : 0);
        if (days < static_cast<std::uint64_t>(length)) break;
        days -= static_cast<std::uint64_t>(length);
        ++month;
    }
    fields.year = year;
    fields.month = month;
    fields.day = static_cast<int>(days) + 1;
    fields.hour = static_cast<int>(rest / 36000000000ULL);
    rest %= 36000000000ULL;
    fields.minute = static_cast<int>(rest / 600000000ULL);
    rest %= 600000000ULL;
    fields.second = static_cast<int>(rest / 10000000ULL);
    fields.millisecond = static_cast<int>(rest % 10000000ULL / 10000ULL);
    return true;
}

bool FakePlatform::formatTime(const CalendarTime& time, char* buffer, std::size_t size) {
    const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    const int length = std::snprintf(buffer, size, "%02d:%02d:%02d %s", hour12, time.minute, time.second,
                                     time.hour < 12 ? "AM" : "PM");
    return length > 0 && static_cast<std::size_t>(length) < size;
}

FakeSearch::FakeSearch(FakePlatform& platform, std::string directory)
    : platform_(platform), directory_(std::move(directory)) {
    for (std::size_t i = 0; i < platform_.entries.size(); ++i) {
        if (platform_.entries[i].directory == directory_) indices_.push_back(i);
    }
    platform_.mostHandles = std::max(platform_.mostHandles, ++platform_.searchesHoldingHandles);
}

FakeSearch::~FakeSearch() { --platform_.searchesHoldingHandles; }

void FakeSearch::handOver(std::size_t index, FoundEntry& out) const {
    const FakeEntry& entry = platform_.entries[index];
    out.name = entry.name.c_str();
    out.nameLength = entry.name.size();
    out.lastWrite = entry.lastWrite;
    out.unusableInCodePage = entry.unusableInCodePage;
    out.examineError = entry.examineError;
    out.directory = entry.isDirectory;
    out.identity.file = index + 1;
}

bool FakeSearch::next(FoundEntry& out) {
    if (position_ >= indices_.size() || (directory_.empty() && position_ >= platform_.readErrorAfter)) {
        if (!atEnd_ && directory_.empty()) {
            // Newcomers arrive once a first listing is over, before the next.
            for (const std::string& name : platform_.addedAfterFirstPass) platform_.entries.push_back({name, 0});
            platform_.addedAfterFirstPass.clear();
        }
        atEnd_ = true;
        return false;
    }
    current_ = indices_[position_++];
    handOver(current_, out);
    return true;
}

bool FakeSearch::restart() {
    indices_.clear();
    for (std::size_t i = 0; i < platform_.entries.size(); ++i) {
        if (platform_.entries[i].directory == directory_) indices_.push_back(i);
    }
    position_ = 0;
    atEnd_ = false;
    return true;
}

bool FakeSearch::nextSubdirectory(FoundEntry& out) {
    while (subdirectory_ < indices_.size()) {
        current_ = indices_[subdirectory_++];
        if (platform_.entries[current_].isDirectory) {
            handOver(current_, out);
            return true;
        }
    }
    return false;
}

std::unique_ptr<DirectorySearch> FakeSearch::openSubdirectory(int& error) {
    const std::string below = (directory_.empty() ? "" : directory_ + "/") + platform_.entries[current_].name;
    const auto failure = platform_.openErrors.find(below);
    error = failure == platform_.openErrors.end() ? 0 : failure->second;
    if (failure != platform_.openErrors.end()) return nullptr;
    return std::make_unique<FakeSearch>(platform_, below);
}

void FakeSearch::release() { --platform_.searchesHoldingHandles; }

int FakeSearch::reacquire(DirectorySearch&) {
    ++platform_.searchesHoldingHandles;
    const auto failure = platform_.reacquireErrors.find(directory_);
    return failure == platform_.reacquireErrors.end() ? 0 : failure->second;
}

std::size_t FakeSearch::prefixLength() const {
    const std::string& pattern = platform_.pathsOpened.back();
    const std::size_t slash = pattern.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

int FakeSearch::readError() const {
    return directory_.empty() && atEnd_ && position_ >= platform_.readErrorAfter && position_ < indices_.size()
               ? platform_.readErrorCode
               : 0;
}

int FakeSearch::remove() {
    // The entry's path as the sweep shows it: the pattern's directory part, the directories
    // below it and the name.
    const std::string& pattern = platform_.pathsOpened.back();
    const std::string entryPath = pattern.substr(0, prefixLength()) + (directory_.empty() ? "" : directory_ + "/") +
                                  platform_.entries[current_].name;
    platform_.outSizeAtRemoval.push_back(platform_.out.size());
    if (platform_.outSizeAtRemoval.size() == platform_.interruptAtRemoval) platform_.interrupted = true;
    const auto failure = platform_.removalErrors.find(entryPath);
    if (failure != platform_.removalErrors.end()) return failure->second;
    platform_.removed.emplace_back(entryPath);
    return 0;
}
