#pragma once

#include <cstddef>
#include <cstdint>

// Length of the character starting at text[i] (of `length` bytes): a well-formed UTF-8
// sequence, or 1 for anything else. Well-formed means the Unicode table of valid sequences:
// no byte F5..FF or C0/C1 as a lead, no overlong forms (E0 80.., F0 80..), no surrogates
// (ED A0..) and nothing past U+10FFFF (F4 90..), so each is narrowed by the range of its
// second byte.
inline std::size_t utf8CharacterLength(const char* text, std::size_t length, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
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
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if (second < secondLow || second > secondHigh) return 1;
    for (std::size_t k = 2; k < expected; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    }
    return expected;
}

// The code point of the `size` bytes at `text`, a character as utf8CharacterLength
// measured it; a single byte stands for itself, whatever its value.
inline std::uint32_t utf8CodePoint(const char* text, std::size_t size) {
    static const unsigned char leadBits[] = {0xFF, 0xFF, 0x1F, 0x0F, 0x07};
    std::uint32_t codePoint = static_cast<unsigned char>(text[0]) & leadBits[size];
    for (std::size_t k = 1; k < size; ++k) codePoint = codePoint << 6 | (static_cast<unsigned char>(text[k]) & 0x3Fu);
    return codePoint;
}
