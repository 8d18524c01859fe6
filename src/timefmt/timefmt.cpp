#include "timefmt/timefmt.h"

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr std::size_t TEXT_SIZE = 255;
// Widest numbers part: three numbers of up to ten digits and two slashes.
constexpr std::size_t NUMBERS_SIZE = 3 * 10 + 2;

// Writes `value` in decimal at `out`, padded on the left with `pad` to at least `width`
// characters, as printf's "%0*d" and "%*d" do for a value that is not negative. Returns
// the end of what was written. This runs for every listed entry, where snprintf cost more
// than all the rest of the line together.
char* putNumber(char* out, unsigned value, int width, char pad) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) *out++ = pad;
    while (count > 0) *out++ = digits[--count];
    return out;
}

}  // namespace

std::size_t formatFileTime(Platform& platform, FileTime localTime, char* buffer, std::size_t size) {
    if (size == 0) return 0;
    CalendarTime fields;
    int numbers[3];
    char time[TEXT_SIZE];
    // "%02d/%02d/%4d  %s" of the three date numbers and the time.
    char text[NUMBERS_SIZE + 2 + TEXT_SIZE];
    std::size_t length;
    if (platform.toCalendar(localTime, fields) && platform.shortDateNumbers(fields, numbers) &&
        platform.formatTime(fields, time, sizeof time)) {
        char* end = putNumber(text, static_cast<unsigned>(numbers[0]), 2, '0');
        *end++ = '/';
        end = putNumber(end, static_cast<unsigned>(numbers[1]), 2, '0');
        *end++ = '/';
        end = putNumber(end, static_cast<unsigned>(numbers[2]), 4, ' ');
        *end++ = ' ';
        *end++ = ' ';
        const std::size_t timeLength = std::strlen(time);
        std::memcpy(end, time, timeLength);
        length = static_cast<std::size_t>(end - text) + timeLength;
    } else {
        // Same width as a real time, so the column of names stays aligned.
        static const char placeholder[] = "--/--/----  --:--:-- --";
        length = sizeof placeholder - 1;
        std::memcpy(text, placeholder, length);
    }
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return length;
}

void printFileTime(Platform& platform, FileTime localTime) {
    char text[FILE_TIME_TEXT_SIZE];
    const std::size_t length = formatFileTime(platform, localTime, text, sizeof text);
    platform.writeOut(text, length);
}
