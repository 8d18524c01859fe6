#pragma once

#include <cstddef>

#include "common/types.h"

class Platform;

// A buffer this size holds the fixed shape whole, whatever the locale's texts.
constexpr std::size_t FILE_TIME_TEXT_SIZE = 2 * 255;

// The fixed shape "%02d/%02d/%4d  %s" for a local FileTime, into `buffer`. Returns the
// length written (the text is cut to fit, always terminated).
std::size_t formatFileTime(Platform& platform, FileTime localTime, char* buffer, std::size_t size);

// Writes the fixed shape for a local FileTime to standard output, with no line break.
void printFileTime(Platform& platform, FileTime localTime);
