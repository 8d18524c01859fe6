#pragma once

#include <cstddef>

// True when `name` matches `pattern`, where '*' matches any run of characters (also none)
// and '?' exactly one character; every other character, '[' and '\' included, matches
// itself, case-sensitively. A character is one well-formed UTF-8 sequence or else one byte,
// so '?' matches 'é' as one, and a lone byte never matches the start of a longer character.
bool matchesWildcard(const char* pattern, std::size_t patternLength, const char* name, std::size_t nameLength);

// The long-name rules of the Windows build, over names whose case has already been folded
// by the caller: matchesWildcard's '*' and '?', plus the two forms Windows users rely on.
// "*.*" matches every name, dot or no dot; a pattern ending in '.' matches the names
// without any '.' that match the rest of it ("*." the names without an extension). A name
// that matches the pattern literally ("." and "..") matches too.
bool matchesLongName(const char* pattern, std::size_t patternLength, const char* name, std::size_t nameLength);

// True when the text holds '*' or '?'.
bool hasWildcard(const char* text, std::size_t length);
