// The date and time in the user's LC_TIME locale, chosen as setlocale would choose it
// (LC_ALL, then LC_TIME, then LANG) but without touching the process's own locale.
// The short date is shown as its three numbers, so what the locale gives is the order of
// day, month and year in its D_FMT; the numbers themselves come from the calendar fields,
// whatever digits or month names the locale would write.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <langinfo.h>
#include <locale.h>
#ifdef __APPLE__
// macOS declares locale_t, LC_TIME_MASK and the _l functions here, not in <locale.h>;
// nl_langinfo_l only when <langinfo.h> came first.
#include <xlocale.h>
#endif

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

// From the '%' of a strftime directive: past glibc's flags and width ("%-d", "%_3m") and
// the E and O modifiers ("%Ey", "%Od"), to the conversion character, or to the terminator.
const char* conversionOf(const char* percent) {
    const char* p = percent + 1;
    while (*p != '\0' && std::strchr("-_0^#", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == 'E' || *p == 'O') ++p;
    return p;
}

class OrderBuilder {
public:
    void take(DateField field, bool twoDigitYear = false) {
        const int index = static_cast<int>(field);
        if (taken_[index] || count_ == 3) return;
        taken_[index] = true;
        order_.fields[count_++] = field;
        if (field == DateField::YEAR) order_.twoDigitYear = twoDigitYear;
    }
    DateOrder finish() {
        for (DateField field : {DateField::MONTH, DateField::DAY, DateField::YEAR}) take(field);
        return order_;
    }

private:
    DateOrder order_;
    bool taken_[3] = {};
    int count_ = 0;
};

}  // namespace

DateOrder dateOrderOf(const char* format) {
    OrderBuilder order;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        p = conversionOf(p);
        switch (*p) {
            case '\0':
                return order.finish();
            case 'd': case 'e':
                order.take(DateField::DAY);
                break;
            case 'm': case 'b': case 'B': case 'h':
                order.take(DateField::MONTH);
                break;
            case 'Y': case 'G':
                order.take(DateField::YEAR);
                break;
            case 'y': case 'g':
                // An era's year (th_TH's "%Ey", Buddhist) counts from the era, not from a
                // century: no two digits of it say which year, so it is shown whole.
                order.take(DateField::YEAR, p[-1] != 'E');
                break;
            case 'C':
                // A century followed at once by the year within it ("%C%y", my_MM's
                // "%OC%Oy") is the whole year; a century alone says nothing of the order.
                if (p[1] == '%' && *conversionOf(p + 1) == 'y') {
                    order.take(DateField::YEAR);
                    p = conversionOf(p + 1);
                }
                break;
            case 'D':
                order.take(DateField::MONTH);
                order.take(DateField::DAY);
                order.take(DateField::YEAR, true);
                break;
            case 'F':
                order.take(DateField::YEAR);
                order.take(DateField::MONTH);
                order.take(DateField::DAY);
                break;
            default:
                // Weekdays, day of the year, literal text and the like.
                break;
        }
    }
    return order.finish();
}

void DateText::load() {
    if (loaded_) return;
    loaded_ = true;
    const char* name = localeName_ != nullptr ? localeName_ : chosenTimeLocale();
    // The C locale, or one that is not installed, keeps the defaults: month/day/four-digit
    // year (C's own D_FMT has a two-digit year) and AM/PM.
    if (isCLocaleName(name)) return;
    const locale_t locale = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return;
    const char* format = nl_langinfo_l(D_FMT, locale);
    if (format != nullptr) order_ = dateOrderOf(format);
    const char* am = nl_langinfo_l(AM_STR, locale);
    const char* pm = nl_langinfo_l(PM_STR, locale);
    // Some locales (de_DE among them) have no designators; a 12-hour time without one
    // would be ambiguous.
    if (am != nullptr && *am != '\0') amText_ = am;
    if (pm != nullptr && *pm != '\0') pmText_ = pm;
    freelocale(locale);
}

bool DateText::shortDateNumbers(const CalendarTime& time, int numbers[3]) {
    load();
    for (int i = 0; i < 3; ++i) {
        switch (order_.fields[i]) {
            case DateField::DAY:
                numbers[i] = time.day;
                break;
            case DateField::MONTH:
                numbers[i] = time.month;
                break;
            case DateField::YEAR:
                numbers[i] = order_.twoDigitYear ? time.year % 100 : time.year;
                break;
        }
    }
    return true;
}

bool DateText::formatTime(const CalendarTime& time, char* buffer, std::size_t size) {
    load();
    const int hour = time.hour % 12 == 0 ? 12 : time.hour % 12;
    const std::string& designator = time.hour < 12 ? amText_ : pmText_;
    const int length =
        std::snprintf(buffer, size, "%02d:%02d:%02d %s", hour, time.minute, time.second, designator.c_str());
    return length > 0 && static_cast<std::size_t>(length) < size;
}

}  // namespace posix
