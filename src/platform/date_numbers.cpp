#include "platform/date_numbers.h"

namespace {

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
