// Date and time texts in the user's LC_TIME locale, chosen as setlocale would choose it
// (LC_ALL, then LC_TIME, then LANG) but without touching the process's own locale.

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <langinfo.h>

#include "platform/posix/posix.h"

namespace posix {

namespace {

bool isCLocaleName(const char* name) {
    return name == nullptr || *name == '\0' || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

const char* chosenTimeLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

void putTwoDigits(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
}

void fillWeekAndYearDay(const CalendarTime& time, struct tm& fields) {
    static const int daysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (time.year % 4 == 0 && time.year % 100 != 0) || time.year % 400 == 0;
    fields.tm_yday = daysBeforeMonth[time.month - 1] + time.day - 1 + (leap && time.month > 2 ? 1 : 0);
    // Zeller-style weekday for the proleptic Gregorian calendar; 0 is Sunday.
    int y = time.year;
    const int m = time.month;
    if (m < 3) y -= 1;
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    fields.tm_wday = ((y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + time.day) % 7 + 7) % 7;
}

}  // namespace

DateText::~DateText() {
    if (locale_ != nullptr) freelocale(locale_);
}

void DateText::load() {
    if (loaded_) return;
    loaded_ = true;
    const char* name = chosenTimeLocale();
    locale_ = isCLocaleName(name) ? nullptr : newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (locale_ == nullptr) {
        // The C locale, or a locale that is not installed: month/day/four-digit year.
        dateFormat_ = "%m/%d/%Y";
        return;
    }
    dateFormat_ = nl_langinfo_l(D_FMT, locale_);
    if (dateFormat_ == nullptr || *dateFormat_ == '\0') dateFormat_ = "%m/%d/%Y";
    const char* am = nl_langinfo_l(AM_STR, locale_);
    const char* pm = nl_langinfo_l(PM_STR, locale_);
    // Some locales (de_DE among them) have no designators; a 12-hour time without one
    // would be ambiguous.
    if (am != nullptr && *am != '\0') amText_ = am;
    if (pm != nullptr && *pm != '\0') pmText_ = pm;
}

bool DateText::formatShortDate(const CalendarTime& time, char* buffer, std::size_t size) {
    load();
    if (time.year != cachedYear_ || time.month != cachedMonth_ || time.day != cachedDay_) {
        struct tm fields {};
        fields.tm_year = time.year - 1900;
        fields.tm_mon = time.month - 1;
        fields.tm_mday = time.day;
        fields.tm_hour = 12;
        fields.tm_isdst = -1;
        fillWeekAndYearDay(time, fields);
        const std::size_t length = locale_ != nullptr
                                       ? strftime_l(cachedDate_, sizeof cachedDate_, dateFormat_, &fields, locale_)
                                       : std::strftime(cachedDate_, sizeof cachedDate_, dateFormat_, &fields);
        if (length == 0) return false;
        cachedYear_ = time.year;
        cachedMonth_ = time.month;
        cachedDay_ = time.day;
    }
    const std::size_t length = std::strlen(cachedDate_);
    if (length + 1 > size) return false;
    std::memcpy(buffer, cachedDate_, length + 1);
    return true;
}

bool DateText::formatTime(const CalendarTime& time, char* buffer, std::size_t size) {
    load();
    // Written by hand, not with snprintf: this runs for every listed entry. The fields
    // come from the calendar, so each number has exactly two digits.
    const std::string& designator = time.hour < 12 ? amText_ : pmText_;
    const std::size_t length = 9 + designator.size();  // "hh:mm:ss " and the designator
    if (length >= size) return false;
    putTwoDigits(buffer, time.hour % 12 == 0 ? 12 : time.hour % 12);
    buffer[2] = ':';
    putTwoDigits(buffer + 3, time.minute);
    buffer[5] = ':';
    putTwoDigits(buffer + 6, time.second);
    buffer[8] = ' ';
    std::memcpy(buffer + 9, designator.c_str(), designator.size() + 1);
    return true;
}

}  // namespace posix
