#include "timefmt/timefmt.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr std::size_t TEXT_SIZE = 255;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int readDateNumbers(const char* date, int numbers[3]) {
    numbers[0] = numbers[1] = numbers[2] = 0;
    int count = 0;
    const char* p = date;
    while (count < 3) {
        while (*p != '\0' && !isDigit(*p)) ++p;
        if (*p == '\0') break;
        long value = 0;
        for (; isDigit(*p); ++p) {
            if (value < 100000000) value = value * 10 + (*p - '0');
        }
        numbers[count++] = static_cast<int>(value);
    }
    return count;
}

std::size_t formatFileTime(Platform& platform, FileTime localTime, char* buffer, std::size_t size) {
    CalendarTime fields;
    char date[TEXT_SIZE];
    char time[TEXT_SIZE];
    int numbers[3];
    int written;
    if (platform.toCalendar(localTime, fields) && platform.formatShortDate(fields, date, sizeof date) &&
        platform.formatTime(fields, time, sizeof time)) {
        readDateNumbers(date, numbers);
        written = std::snprintf(buffer, size, "%02d/%02d/%4d  %s", numbers[0], numbers[1], numbers[2], time);
    } else {
        // Same width as a real time, so the column of names stays aligned.
        written = std::snprintf(buffer, size, "%s", "--/--/----  --:--:-- --");
    }
    if (written < 0) written = 0;
    return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written) : size - 1;
}

void printFileTime(Platform& platform, FileTime localTime) {
    char text[2 * TEXT_SIZE];
    const std::size_t length = formatFileTime(platform, localTime, text, sizeof text);
    platform.writeOut(text, length);
}
