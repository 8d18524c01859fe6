// The wildcard matcher against a reference that is slow but plainly right: both texts cut
// into characters first (a well-formed UTF-8 sequence, or else one byte), then a table of
// which pattern prefix matches which name prefix. The Windows long-name rules are checked
// against the same reference. Input: pattern, a NUL byte, then the name.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/wildcard.h"

namespace {

// Lengths of the well-formed UTF-8 sequences: lead byte range, length, and the range of the
// second byte (later bytes are always 0x80..0xBF). This is the Unicode standard's table of
// well-formed byte sequences, row by row.
struct SequenceForm {
    unsigned char leadLow, leadHigh;
    std::size_t length;
    unsigned char secondLow, secondHigh;
};
const SequenceForm SEQUENCE_FORMS[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

bool inRange(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

std::size_t characterLength(const std::string& text, std::size_t i) {
    const auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    for (const SequenceForm& form : SEQUENCE_FORMS) {
        if (!inRange(byteAt(i), form.leadLow, form.leadHigh)) continue;
        if (i + form.length > text.size()) return 1;
        if (!inRange(byteAt(i + 1), form.secondLow, form.secondHigh)) return 1;
        for (std::size_t k = 2; k < form.length; ++k) {
            if (!inRange(byteAt(i + k), 0x80, 0xBF)) return 1;
        }
        return form.length;
    }
    return 1;
}

std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = characterLength(text, i);
        out.push_back(text.substr(i, length));
        i += length;
    }
    return out;
}

// matched[i][j]: the first i pattern characters match the first j name characters.
bool referenceMatch(const std::string& patternText, const std::string& nameText) {
    const std::vector<std::string> pattern = characters(patternText);
    const std::vector<std::string> name = characters(nameText);
    std::vector<std::vector<bool>> matched(pattern.size() + 1, std::vector<bool>(name.size() + 1, false));
    matched[0][0] = true;
    for (std::size_t i = 1; i <= pattern.size(); ++i) {
        const std::string& token = pattern[i - 1];
        for (std::size_t j = 0; j <= name.size(); ++j) {
            if (token == "*") {
                matched[i][j] = matched[i - 1][j] || (j > 0 && matched[i][j - 1]);
            } else if (token == "?") {
                matched[i][j] = j > 0 && matched[i - 1][j - 1];
            } else {
                matched[i][j] = j > 0 && matched[i - 1][j - 1] && token == name[j - 1];
            }
        }
    }
    return matched[pattern.size()][name.size()];
}

void printBytes(const char* label, const std::string& text) {
    std::fprintf(stderr, "\n %s:", label);
    for (char c : text) std::fprintf(stderr, " %02X", static_cast<unsigned char>(c));
}

void fail(const char* what, const std::string& pattern, const std::string& name) {
    std::fprintf(stderr, "fuzz_wildcard: %s", what);
    printBytes("pattern", pattern);
    printBytes("name   ", name);
    std::fprintf(stderr, "\n");
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* separator = static_cast<const char*>(std::memchr(text, '\0', size));
    if (separator == nullptr) return 0;
    const std::string pattern(text, separator);
    const std::string name(separator + 1, text + size);
    // Patterns and names are short (at most a few hundred bytes); the table is quadratic.
    if (pattern.size() > 300 || name.size() > 300) return 0;

    // Exact-size copies, so reading past either end is caught.
    std::vector<char> patternCopy(pattern.begin(), pattern.end());
    std::vector<char> nameCopy(name.begin(), name.end());
    const bool got = matchesWildcard(patternCopy.data(), patternCopy.size(), nameCopy.data(), nameCopy.size());
    if (got != referenceMatch(pattern, name)) fail(got ? "matches, reference does not" : "reference matches, matcher does not", pattern, name);

    // The long-name rules are the same walk plus "*.*" and a trailing '.'.
    bool longName = pattern == "*.*" || got;
    if (!longName && !pattern.empty() && pattern.back() == '.' && name.find('.') == std::string::npos) {
        longName = referenceMatch(pattern.substr(0, pattern.size() - 1), name);
    }
    if (matchesLongName(patternCopy.data(), patternCopy.size(), nameCopy.data(), nameCopy.size()) != longName) {
        fail("matchesLongName differs from the long-name rules", pattern, name);
    }

    const bool wild = pattern.find_first_of("*?") != std::string::npos;
    if (hasWildcard(patternCopy.data(), patternCopy.size()) != wild) fail("hasWildcard is wrong", pattern, name);
    return 0;
}
