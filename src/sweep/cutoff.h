#pragma once

#include <cstdint>

#include "common/types.h"

class Platform;

// Local now minus `days` whole days, to the tick. A span reaching back past 1601 gives 0,
// so that nothing is older than the cutoff: the arithmetic never wraps.
FileTime cutoffFrom(FileTime localNow, std::int32_t days);

// The cutoff for this run: the platform's local now, minus `days`.
FileTime computeCutoff(Platform& platform, std::int32_t days);
