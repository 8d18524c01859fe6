#include "platform/wildcard.h"

namespace {

// Length of the character starting at name[i]: a well-formed UTF-8 sequence, or one byte
// for anything else. Well-formed means the Unicode table of valid sequences: no byte F5..FF
// or C0/C1 as a lead, no overlong forms (E0 80.., F0 80..), no surrogates (ED A0..) and
// nothing past U+10FFFF (F4 90..), so each is narrowed by the range of its second byte.
std::size_t characterLength(const char* name, std::size_t length, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(name[i]);
    std::size_t expected = 1;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        expected = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        expected = 3;
        if (lead == 0xE0) secondLow = 0xA0;
        if (lead == 0xED) secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        expected = 4;
        if (lead == 0xF0) secondLow = 0x90;
        if (lead == 0xF4) secondHigh = 0x8F;
    }
    if (expected == 1 || i + expected > length) return 1;
    const unsigned char second = static_cast<unsigned char>(name[i + 1]);
    if (second < secondLow || second > secondHigh) return 1;
    for (std::size_t k = 2; k < expected; ++k) {
        if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) return 1;
    }
    return expected;
}

// Length of the literal character at pattern[p] when name[n] starts the very same
// character, else 0. Whole characters only: a lone lead byte in the pattern must not match
// the first byte of a longer character in the name.
std::size_t sameCharacterLength(const char* pattern, std::size_t patternLength, std::size_t p, const char* name,
                                std::size_t nameLength, std::size_t n) {
    const std::size_t length = characterLength(pattern, patternLength, p);
    if (characterLength(name, nameLength, n) != length) return 0;
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
            n += characterLength(name, nameLength, n);
        } else if (const std::size_t length =
                       p < patternLength ? sameCharacterLength(pattern, patternLength, p, name, nameLength, n) : 0) {
            p += length;
            n += length;
        } else if (starPattern != patternLength) {
            p = starPattern + 1;
            starName += characterLength(name, nameLength, starName);
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
