// The clock, the local offset and the calendar, in FileTime ticks.

#include <ctime>

#include "platform/posix/posix.h"

namespace posix {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr FileTime MAX_FILE_TIME = ~static_cast<FileTime>(0);

// Days since 1970-01-01 to a civil date (proleptic Gregorian), for any day count.
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

FileTime fileTimeFromUnix(std::int64_t seconds, long nanoseconds) {
    // Nanoseconds outside 0..999999999 are carried into the seconds first. File systems
    // such as tmpfs keep any 64-bit time, so nothing here may add before it has checked:
    // seconds are first held to +-2^62, far beyond the FileTime range on either side,
    // which leaves room for the carry.
    constexpr long NANOSECONDS_PER_SECOND = 1000000000L;
    constexpr std::int64_t FAR_BEYOND = std::int64_t{1} << 62;
    std::int64_t carry = nanoseconds / NANOSECONDS_PER_SECOND;
    long rest = nanoseconds % NANOSECONDS_PER_SECOND;
    if (rest < 0) {
        rest += NANOSECONDS_PER_SECOND;
        --carry;
    }
    seconds = seconds > FAR_BEYOND ? FAR_BEYOND : seconds < -FAR_BEYOND ? -FAR_BEYOND : seconds;
    seconds += carry;
    if (seconds < -EPOCH_OFFSET_SECONDS) return 0;
    const std::uint64_t since1601 = static_cast<std::uint64_t>(seconds + EPOCH_OFFSET_SECONDS);
    // Past the end of the range is the newest time there is, never an old one.
    if (since1601 > MAX_FILE_TIME / TICKS_PER_SECOND) return MAX_FILE_TIME;
    const FileTime whole = since1601 * TICKS_PER_SECOND;
    const auto hundreds = static_cast<FileTime>(rest / 100);
    return hundreds > MAX_FILE_TIME - whole ? MAX_FILE_TIME : whole + hundreds;
}

FileTime lastWriteOf(const struct stat& info) {
#if defined(__APPLE__)
    return fileTimeFromUnix(info.st_mtimespec.tv_sec, info.st_mtimespec.tv_nsec);
#else
    return fileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
#endif
}

FileTime currentTime() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const long milliseconds = now.tv_nsec / 1000000;
    return fileTimeFromUnix(now.tv_sec, milliseconds * 1000000);
}

std::int64_t localOffsetNow() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return static_cast<std::int64_t>(local.tm_gmtoff) * TICKS_PER_SECOND;
}

void toCalendar(FileTime time, CalendarTime& out) {
    const std::uint64_t ticksPerDay = TICKS_PER_DAY;
    const std::int64_t days1601 = static_cast<std::int64_t>(time / ticksPerDay);
    std::uint64_t rest = time % ticksPerDay;
    civilFromDays(days1601 - 134774, out.year, out.month, out.day);  // 134774 days 1601..1970
    out.hour = static_cast<int>(rest / (3600 * TICKS_PER_SECOND));
    rest %= 3600 * TICKS_PER_SECOND;
    out.minute = static_cast<int>(rest / (60 * TICKS_PER_SECOND));
    rest %= 60 * TICKS_PER_SECOND;
    out.second = static_cast<int>(rest / TICKS_PER_SECOND);
    out.millisecond = static_cast<int>(rest % TICKS_PER_SECOND / 10000);
}

}  // namespace posix
