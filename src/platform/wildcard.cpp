#include "platform/wildcard.h"

#include "common/utf8.h"

namespace {

// Length of the literal character at pattern[p] when name[n] starts the very same
// character, else 0. Whole characters only: a lone lead byte in the pattern must not match
// the first byte of a longer character in the name.
std::size_t sameCharacterLength(const char* pattern, std::size_t patternLength, std::size_t p, const char* name,
                                std::size_t nameLength, std::size_t n) {
    const std::size_t length = utf8CharacterLength(pattern, patternLength, p);
    if (utf8CharacterLength(name, nameLength, n) != length) return 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (pattern[p + k] != name[n + k]) return 0;
    }
    return length;
}

}  // namespace

bool hasWildcard(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '*' || text[i] == '?') return true;
    }
    return false;
}

bool matchesWildcard(const char* pattern, std::size_t patternLength, const char* name, std::size_t nameLength) {
    // Greedy walk that remembers the last '*' and, on a mismatch, lets it take one more
    // character. Linear in practice, quadratic at worst, never recursive. Every step moves
    // over whole characters, so the walk only ever stands on the name's character
    // boundaries, which is what makes forgetting earlier stars safe.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starPattern = patternLength;  // none yet
    std::size_t starName = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < patternLength && pattern[p] == '?') {
            ++p;
            n += utf8CharacterLength(name, nameLength, n);
        } else if (const std::size_t length =
                       p < patternLength ? sameCharacterLength(pattern, patternLength, p, name, nameLength, n) : 0) {
            p += length;
            n += length;
        } else if (starPattern != patternLength) {
            p = starPattern + 1;
            starName += utf8CharacterLength(name, nameLength, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == '*') ++p;
    return p == patternLength;
}

bool matchesLongName(const char* pattern, std::size_t patternLength, const char* name, std::size_t nameLength) {
    if (patternLength == 3 && pattern[0] == '*' && pattern[1] == '.' && pattern[2] == '*') return true;
    if (matchesWildcard(pattern, patternLength, name, nameLength)) return true;
    if (patternLength == 0 || pattern[patternLength - 1] != '.') return false;
    for (std::size_t i = 0; i < nameLength; ++i) {
        if (name[i] == '.') return false;
    }
    return matchesWildcard(pattern, patternLength - 1, name, nameLength);
}
