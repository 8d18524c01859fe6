#include "sweep/sweep.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/display.h"
#include "platform/platform.h"
#include "sweep/cutoff.h"
#include "sweep/prompt.h"
#include "sweep/report.h"
#include "sweep/tree_walk.h"
#include "timefmt/timefmt.h"

namespace {

void writeCountLine(Platform& platform, std::int32_t count, const char* words) {
    char line[128];
    const int length = std::snprintf(line, sizeof line, "  %ld%s\n", static_cast<long>(count), words);
    if (length > 0) platform.writeOut(line, static_cast<std::size_t>(length));
}

// Writes what is left of an entry line after a removal, then accounts for the removal.
void finishRemoval(RunReport& report, int error, const std::string& shown, std::string& line, SweepCounts& counts) {
    Platform& platform = report.platform();
    if (error == 0) {
        line += "-deleted";
        platform.writeOut(line.data(), line.size());
        ++counts.processed;
    } else {
        platform.writeOut(line.data(), line.size());
        report.removalFailed(shown, error);
        ++counts.failed;
    }
}

// Removals stop once nobody reads the record of them: with standard output a pipe whose
// reader has gone, the run ends before the removal rather than at its next write, which
// may be a whole buffer of removals later.
int removeEntry(Platform& platform, DirectorySearch& search) {
    if (platform.readerGone()) platform.endForGoneReader();
    return search.remove();
}

// An entry whose name cannot be used is left alone and said so, whatever its age; only an
// old one counts against the run.
void reportUnusable(RunReport& report, const FoundEntry& entry, const std::string& path, FileTime cutoff) {
    const bool selected = report.platform().toLocalTime(entry.lastWrite) < cutoff;
    report.unusableName(path, entry.unusableInCodePage, selected);
}

// Whether the sweep would take the entry: old enough, and neither unusable, unexamined nor
// kept as one of its directory's newest.
bool wouldTake(Platform& platform, const TreeWalk& walk, const FoundEntry& entry, FileTime cutoff) {
    return entry.examineError == 0 && entry.unusableInCodePage == 0 && !walk.keptAsNewest() &&
           platform.toLocalTime(entry.lastWrite) < cutoff;
}

// With /MAX, what the run would delete, counted over the whole walk before anything is
// deleted or asked: false, having said so, when that is more than the cap allows.
bool withinCap(const SweepRequest& request, RunReport& report, FileTime cutoff) {
    if (request.maxDeletions < 0 || request.listOnly) return true;
    TreeWalk walk(report, request, true);
    SearchFailure ignored;
    std::int64_t count = 0;
    FoundEntry entry;
    if (walk.open(ignored)) {
        while (walk.next(entry)) {
            if (wouldTake(report.platform(), walk, entry, cutoff)) ++count;
        }
    }
    if (count <= request.maxDeletions) return true;
    report.overCap(count, request.maxDeletions, false);
    return false;
}

}  // namespace

int sweepFiles(const SweepRequest& request, Platform& platform) {
    RunReport report(platform, Program::AGECULL);
    sweepFiles(request, report);
    return 0;
}

void sweepFiles(const SweepRequest& request, RunReport& report) {
    Platform& platform = report.platform();
    // A request to stop waits for the entry in hand to be finished and its line written.
    platform.holdInterruptions();
    const FileTime cutoff = computeCutoff(platform, request.days);
    if (!withinCap(request, report, cutoff)) {
        platform.endIfInterrupted();
        return;
    }
    TreeWalk walk(report, request, false);
    SearchFailure failure;
    FoundEntry entry;
    // Only an entry the sweep can use counts as found: one whose name cannot be used is
    // reported, and the search goes on for one that can.
    bool found = walk.open(failure);
    while (found && (found = walk.next(entry)) && entry.unusableInCodePage != 0) {
        reportUnusable(report, entry, walk.path(), cutoff);
    }
    if (!found) {
        // Standard output keeps its one line; the reason, when there is more to it than
        // "nothing matched", goes where a scheduled job's errors are kept.
        if (walk.topReadError() != 0) {
            failure.reason = SearchFailure::Reason::RUNTIME_ERROR;
            failure.place = walk.topPath().empty() ? std::string(".") : walk.topPath();
            failure.code = walk.topReadError();
        }
        if (failure.failed()) report.searchFailed(failure);
        platform.writeText("File not found\n");
        platform.endIfInterrupted();
        return;
    }
    const bool terminal = platform.outputIsTerminal();

    platform.writeText(request.listOnly ? "  List of" : "  Deleting");
    platform.writeText(" files last modified before - ");
    printFileTime(platform, cutoff);
    platform.writeText("\n");

    SweepCounts counts;
    std::string scratch;
    // Each entry line is built whole and written in one piece: "\n" (which ends the line
    // before), the time, then the path with two spaces on each side.
    std::string line;
    char time[FILE_TIME_TEXT_SIZE];
    // Each pass starts with the last entry's line written: a place where the run may stop.
    // The first entry is in hand already.
    for (platform.endIfInterrupted(); found; platform.endIfInterrupted(), found = walk.next(entry)) {
        if (entry.unusableInCodePage != 0) {
            reportUnusable(report, entry, walk.path(), cutoff);
            continue;
        }
        if (entry.examineError != 0) {
            // Its age is unknown, so it is neither listed nor removed; the rest go on.
            report.examinationFailed(walk.path(), entry.examineError);
            if (!request.listOnly) ++counts.failed;
            continue;
        }
        const FileTime localWrite = platform.toLocalTime(entry.lastWrite);
        if (localWrite >= cutoff) continue;
        if (walk.keptAsNewest()) {
            ++counts.kept;
            continue;
        }
        // Entries that appeared after the count never take the deletions past the cap.
        if (!request.listOnly && request.maxDeletions >= 0 && counts.processed >= request.maxDeletions) {
            report.capReached(walk.path(), request.maxDeletions);
            ++counts.skipped;
            continue;
        }

        const std::string& shown = displayText(walk.path(), terminal, scratch);
        line.assign(1, '\n');
        line.append(time, formatFileTime(platform, localWrite, time, sizeof time));
        line.append("  ", 2);
        const std::size_t pathStart = line.size();
        line.append(shown);
        line.append("  ", 2);

        if (request.listOnly) {
            platform.writeOut(line.data(), line.size());
            ++counts.processed;
        } else if (request.quiet) {
            // Removed before its line is written: writing first could block on a full pipe
            // or a paused terminal for any length of time.
            finishRemoval(report, removeEntry(platform, walk.search()), shown, line, counts);
        } else {
            platform.writeOut(line.data(), line.size());
            // The terminal that answers gets the line too, its names masked whatever
            // standard output got.
            std::string asked;
            if (!terminal) {
                std::string masked;
                asked.assign(line, 0, pathStart).append(displayText(walk.path(), true, masked)).append("  ");
            }
            const bool confirmed = confirmDelete(report, terminal ? line : asked);
            line.clear();
            if (confirmed) {
                // The answer may have taken any time: remove() looks at the entry again.
                finishRemoval(report, removeEntry(platform, walk.search()), shown, line, counts);
            } else {
                ++counts.skipped;
            }
        }
        // Someone watching a long run on a terminal sees each line as it is done.
        if (terminal) platform.flushOut();
    }
    // A listing cut short by a read error must not pass for a complete sweep.
    if (walk.topReadError() != 0) report.listingCutShort(walk.topPath(), walk.topReadError());

    platform.writeText("\n\n");
    writeCountLine(platform, counts.processed,
                   request.listOnly ? " files would have been deleted without the [/L] option" : " files were deleted");
    if (counts.failed > 0) writeCountLine(platform, counts.failed, " files failed to delete");
    if (counts.skipped > 0) writeCountLine(platform, counts.skipped, " files were skipped");
    if (request.keepNewest > 0) writeCountLine(platform, counts.kept, " files were kept as the newest");
    // A dry run predicts the real one: over the cap, it would have been refused.
    if (request.listOnly && request.maxDeletions >= 0 && counts.processed > request.maxDeletions) {
        report.overCap(counts.processed, request.maxDeletions, true);
    }
    platform.endIfInterrupted();
}
