#pragma once

// Text as a terminal may be given it. Names, patterns and the text of links come from
// whoever created them, and reach standard output in the listing and standard error in
// the messages: on a terminal both get the same masking.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/utf8.h"

// Characters a terminal obeys rather than shows: the C0 and C1 controls and DEL (ESC or
// CSI can clear the screen or rewrite the line being judged), and the bidirectional
// overrides and isolates, which can make a name read backwards at the question.
inline bool isControlCharacter(std::uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) ||
           (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

// On a terminal each control character is shown as one '?', whatever its length in bytes,
// and so is each stray byte 0x80-0x9F (some terminals take those alone as C1 controls).
// Other bytes, letters in any script among them, pass as they are. Files and pipes get
// the real bytes: `text` itself comes back, otherwise `scratch` holding the masked copy.
inline const std::string& displayText(const std::string& text, bool terminal, std::string& scratch) {
    if (!terminal) return text;
    scratch.clear();
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        // A stray byte counts as the code it would be alone.
        const std::size_t length = utf8CharacterLength(text.data(), size, i);
        const std::uint32_t codePoint = utf8CodePoint(text.data() + i, length);
        if (isControlCharacter(codePoint)) {
            scratch += '?';
        } else {
            scratch.append(text, i, length);
        }
        i += length;
    }
    return scratch;
}
