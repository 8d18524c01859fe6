#include "timefmt/timefmt.h"

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr std::size_t TEXT_SIZE = 255;

}  // namespace

std::size_t formatFileTime(Platform& platform, FileTime localTime, char* buffer, std::size_t size) {
    if (size == 0) return 0;
    CalendarTime fields;
    int numbers[3];
    char time[TEXT_SIZE];
    int length;
    if (platform.toCalendar(localTime, fields) && platform.shortDateNumbers(fields, numbers) &&
        platform.formatTime(fields, time, sizeof time)) {
        length = std::snprintf(buffer, size, "%02d/%02d/%4d  %s", numbers[0], numbers[1], numbers[2], time);
    } else {
        // Same width as a real time, so the column of names stays aligned.
        length = std::snprintf(buffer, size, "%s", "--/--/----  --:--:-- --");
    }
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return std::min(static_cast<std::size_t>(length), size - 1);
}

void printFileTime(Platform& platform, FileTime localTime) {
    char text[FILE_TIME_TEXT_SIZE];
    const std::size_t length = formatFileTime(platform, localTime, text, sizeof text);
    platform.writeOut(text, length);
}
