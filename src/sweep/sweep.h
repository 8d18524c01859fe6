#pragma once

#include "common/types.h"

class Platform;
class RunReport;

// Walks the entries matching the request's pattern, selects those last written before the
// cutoff, and lists, deletes or asks about each; then prints the counts. Returns 0.
int sweepFiles(const SweepRequest& request, Platform& platform);
// The same sweep for `report`'s program, which words its errors and records what went wrong.
void sweepFiles(const SweepRequest& request, RunReport& report);
