// The clock, the local offset, the calendar, and the user's date and time texts from the
// regional settings. The texts are asked for in the ANSI code page (LOCALE_USE_CP_ACP)
// rather than the locale's own, so a Japanese "午後" arrives in the same code page as the
// names on the line: UTF-8 under the manifest, not Shift-JIS beside UTF-8.

#include <climits>

#include "platform/date_numbers.h"
#include "platform/win32/win32.h"

namespace win32 {

namespace {

// The time picture of the command's fixed shape: 12-hour clock, literal ':' separators.
const char TIME_PICTURE[] = "hh':'mm':'ss tt";

bool toSystemTime(const CalendarTime& time, SYSTEMTIME& out) {
    SYSTEMTIME fields = {};
    fields.wYear = static_cast<WORD>(time.year);
    fields.wMonth = static_cast<WORD>(time.month);
    fields.wDay = static_cast<WORD>(time.day);
    fields.wHour = static_cast<WORD>(time.hour);
    fields.wMinute = static_cast<WORD>(time.minute);
    fields.wSecond = static_cast<WORD>(time.second);
    fields.wMilliseconds = static_cast<WORD>(time.millisecond);
    // A round trip fills in the day of the week, which the date pictures may show.
    FILETIME asFiletime;
    return SystemTimeToFileTime(&fields, &asFiletime) && FileTimeToSystemTime(&asFiletime, &out);
}

int bufferLength(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

FileTime fromFiletime(const FILETIME& time) {
    return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME toFiletime(FileTime time) {
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return result;
}

FileTime currentTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME asFiletime;
    if (!SystemTimeToFileTime(&now, &asFiletime)) return 0;
    return fromFiletime(asFiletime);
}

std::int64_t localOffsetNow() {
    const FileTime now = currentTime();
    const FILETIME nowFiletime = toFiletime(now);
    FILETIME local;
    if (!FileTimeToLocalFileTime(&nowFiletime, &local)) return 0;
    return static_cast<std::int64_t>(fromFiletime(local) - now);
}

bool toCalendar(FileTime time, CalendarTime& out) {
    const FILETIME asFiletime = toFiletime(time);
    SYSTEMTIME fields;
    // Fails for times past the year 30827, which have no calendar fields.
    if (!FileTimeToSystemTime(&asFiletime, &fields)) return false;
    out.year = fields.wYear;
    out.month = fields.wMonth;
    out.day = fields.wDay;
    out.hour = fields.wHour;
    out.minute = fields.wMinute;
    out.second = fields.wSecond;
    out.millisecond = fields.wMilliseconds;
    return true;
}

bool shortDateNumbers(const CalendarTime& time, int numbers[3]) {
    // Windows short dates are numeric: the numbers are read back in the order given.
    SYSTEMTIME fields;
    char date[255];
    if (!toSystemTime(time, fields)) return false;
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE | LOCALE_USE_CP_ACP, &fields, nullptr, date,
                       bufferLength(sizeof date)) <= 0) {
        return false;
    }
    readDateNumbers(date, numbers);
    return true;
}

bool formatTime(const CalendarTime& time, char* buffer, std::size_t size) {
    SYSTEMTIME fields;
    if (!toSystemTime(time, fields)) return false;
    return GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_USE_CP_ACP, &fields, TIME_PICTURE, buffer,
                          bufferLength(size)) > 0;
}

}  // namespace win32
