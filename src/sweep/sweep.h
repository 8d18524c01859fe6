#pragma once

#include "common/types.h"

class Platform;

// Walks the entries matching the request's pattern, selects those last written before the
// cutoff, and lists, deletes or asks about each; then prints the counts. Returns 0.
int sweepFiles(const SweepRequest& request, Platform& platform);
