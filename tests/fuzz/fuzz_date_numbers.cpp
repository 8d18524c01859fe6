// readDateNumbers over any text up to its terminator. The text sits at the very end of its
// own allocation, so a read past the terminator is caught by AddressSanitizer, and the
// numbers must agree with a reference that splits the text into digit runs first.
// The reading keeps the first nine significant digits of a longer run (dates never need more).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/date_numbers.h"

namespace {

constexpr std::size_t KEPT_DIGITS = 9;

std::vector<int> referenceNumbers(const std::string& text) {
    std::vector<int> numbers;
    std::size_t i = 0;
    while (numbers.size() < 3) {
        const std::size_t start = text.find_first_of("0123456789", i);
        if (start == std::string::npos) break;
        std::size_t end = text.find_first_not_of("0123456789", start);
        if (end == std::string::npos) end = text.size();
        std::string digits = text.substr(start, end - start);
        digits.erase(0, digits.find_first_not_of('0'));  // all zeros leaves it empty
        digits = digits.substr(0, KEPT_DIGITS);
        numbers.push_back(digits.empty() ? 0 : std::atoi(digits.c_str()));
        i = end;
    }
    return numbers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* terminator = static_cast<const char*>(std::memchr(bytes, '\0', size));
    const std::size_t length = terminator == nullptr ? size : static_cast<std::size_t>(terminator - bytes);
    std::unique_ptr<char[]> text(new char[length + 1]);
    std::memcpy(text.get(), bytes, length);
    text[length] = '\0';

    int numbers[3] = {-1, -1, -1};
    const int count = readDateNumbers(text.get(), numbers);
    const std::vector<int> expected = referenceNumbers(std::string(bytes, length));
    bool same = count == static_cast<int>(expected.size());
    for (std::size_t k = 0; k < 3; ++k) {
        same = same && numbers[k] == (k < expected.size() ? expected[k] : 0);
    }
    if (!same) {
        std::fprintf(stderr, "fuzz_date_numbers: '%s' gave %d: %d %d %d\n", text.get(), count, numbers[0], numbers[1],
                     numbers[2]);
        std::abort();
    }
    return 0;
}
