// The argument checks, fed argument lists split from the input at NUL bytes. Whatever the
// words, the command prints the opening lines and then exactly the outcome that a plain
// restatement of the checks below predicts, searches only when every check passed, and
// never touches anything else. parseDayCount is held against strtoll clamped to 32 bits.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "support/expected_text.h"
#include "support/fake_platform.h"

namespace {

using expected::DAYS_FORM;
using expected::DAYS_VALUE;
using expected::INVALID_COUNT;
using expected::OPENING;
using expected::OPTION;
using expected::PATH_TOO_LONG;
using expected::USAGE;
const std::string SEARCHED = "File not found\n";  // the fake directory is empty

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_command: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// The C library's reading of a decimal count, clamped into 32 bits.
std::int32_t referenceDayCount(const std::string& text) {
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool isOption(const std::string& word) {
    return word.size() == 2 && word[0] == '/' &&
           (word[1] == 'Q' || word[1] == 'q' || word[1] == 'L' || word[1] == 'l');
}

const std::string& expectedOutcome(const std::vector<std::string>& words) {
    const std::size_t argc = words.size() + 1;
    if (argc == 2 && (words[0] == "?" || words[0] == "/?")) return USAGE;
    if (argc < 3 || argc > 4) return INVALID_COUNT;
    if (words[0].size() > MAX_PATTERN_LENGTH) return PATH_TOO_LONG;
    if (referenceDayCount(words[1]) < 1) return DAYS_VALUE;
    if (words[1].find_first_not_of("0123456789") != std::string::npos) return DAYS_FORM;
    if (argc == 4 && !isOption(words[2])) return OPTION;
    return SEARCHED;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    if (size > 0) {
        const char* text = reinterpret_cast<const char*>(data);
        std::size_t start = 0;
        for (std::size_t i = 0; i <= size; ++i) {
            if (i == size || text[i] == '\0') {
                words.emplace_back(text + start, i - start);
                start = i + 1;
            }
        }
    }
    for (const std::string& word : words) {
        if (parseDayCount(word.c_str()) != referenceDayCount(word)) fail("day count differs from strtoll", word);
    }

    std::vector<const char*> argv{"agecull"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);

    FakePlatform platform;
    const int status = runCommand(static_cast<int>(words.size() + 1), argv.data(), platform);
    const std::string& expected = expectedOutcome(words);
    if (status != 0) fail("status is not 0", platform.out);
    if (platform.out != OPENING + expected) fail("unexpected output", platform.out);
    if (!platform.err.empty()) fail("wrote to standard error", platform.err);
    const bool searched = &expected == &SEARCHED;
    if (searched != !platform.pathsOpened.empty()) fail("searched when it should not, or the reverse", platform.out);
    if (searched && (platform.pathsOpened.size() != 1 || platform.pathsOpened[0] != words[0])) {
        fail("searched for something other than the pattern as typed", words[0]);
    }
    if (!platform.removed.empty() || platform.keysRead != 0) fail("removed or asked", platform.out);
    return 0;
}
