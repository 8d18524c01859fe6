#pragma once

#include <cstdint>

class Platform;
class RunReport;

// What the front end hands to the sweep. `pattern` points at the argument text itself.
struct SweepRequest {
    const char* pattern = "";
    std::int32_t days = 1;
    bool quiet = false;
    bool listOnly = false;
    // agecull-strict's own: sweep every directory below the pattern's too (/S); never
    // delete the `keepNewest` newest matching files of a directory (/KEEP:n, 0 for none);
    // delete nothing when more than `maxDeletions` would go (/MAX:n, -1 for no cap).
    bool wholeTree = false;
    std::int32_t keepNewest = 0;
    std::int64_t maxDeletions = -1;
};

// Outcome counts, owned by the sweep.
struct SweepCounts {
    std::int32_t processed = 0;
    std::int32_t failed = 0;
    std::int32_t skipped = 0;
    std::int32_t kept = 0;  // old entries left as one of a directory's newest (/KEEP)
};

// Walks the entries matching the request's pattern, selects those last written before the
// cutoff, and lists, deletes or asks about each; then prints the counts. Returns 0.
int sweepFiles(const SweepRequest& request, Platform& platform);
// The same sweep for `report`'s program, which words its errors and records what went wrong.
void sweepFiles(const SweepRequest& request, RunReport& report);
