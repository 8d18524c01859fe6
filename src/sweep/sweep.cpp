#include "sweep/sweep.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/display.h"
#include "platform/platform.h"
#include "sweep/cutoff.h"
#include "sweep/prompt.h"
#include "sweep/report.h"
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

// The entry's path: the pattern's directory part as typed, kept at the start of `path`,
// then the name. The buffer grows to fit: a long path is never cut short into the name of
// some other file. Its storage is reused from entry to entry.
const std::string& pathOf(const FoundEntry& entry, std::string& path, std::size_t prefixLength) {
    path.resize(prefixLength);
    path.append(entry.name, entry.nameLength);
    return path;
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
void reportUnusable(RunReport& report, const FoundEntry& entry, std::string& entryPath, std::size_t prefixLength,
                    FileTime cutoff) {
    const bool selected = report.platform().toLocalTime(entry.lastWrite) < cutoff;
    report.unusableName(pathOf(entry, entryPath, prefixLength), entry.unusableInCodePage, selected);
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
    SearchFailure failure;
    std::unique_ptr<DirectorySearch> search = platform.openSearch(request.pattern, failure, false);
    FoundEntry entry;
    // Only an entry the sweep can use counts as found: one whose name cannot be used is
    // reported, and the search goes on for one that can.
    const std::size_t prefixLength = search ? search->prefixLength() : 0;
    std::string entryPath(request.pattern, prefixLength);
    bool found = search != nullptr;
    while (found && (found = search->next(entry)) && entry.unusableInCodePage != 0) {
        reportUnusable(report, entry, entryPath, prefixLength, cutoff);
    }
    if (!found) {
        // Standard output keeps its one line; the reason, when there is more to it than
        // "nothing matched", goes where a scheduled job's errors are kept.
        if (search && search->readError() != 0) {
            failure.reason = SearchFailure::Reason::RUNTIME_ERROR;
            failure.place = prefixLength == 0 ? std::string(".") : std::string(request.pattern, prefixLength);
            failure.code = search->readError();
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
    for (platform.endIfInterrupted(); found; platform.endIfInterrupted(), found = search->next(entry)) {
        if (entry.unusableInCodePage != 0) {
            reportUnusable(report, entry, entryPath, prefixLength, cutoff);
            continue;
        }
        const FileTime localWrite = platform.toLocalTime(entry.lastWrite);
        if (localWrite >= cutoff) continue;

        const std::string& shown = displayText(pathOf(entry, entryPath, prefixLength), terminal, scratch);
        line.assign(1, '\n');
        line.append(time, formatFileTime(platform, localWrite, time, sizeof time));
        line.append("  ", 2);
        line.append(shown);
        line.append("  ", 2);

        if (request.listOnly) {
            platform.writeOut(line.data(), line.size());
            ++counts.processed;
        } else if (request.quiet) {
            // Removed before its line is written, while the status next() read a moment ago
            // still holds: writing first could block on a full pipe or a paused terminal
            // for any length of time, and would then call for a second look at the entry.
            finishRemoval(report, removeEntry(platform, *search), shown, line, counts);
        } else {
            platform.writeOut(line.data(), line.size());
            const bool confirmed = confirmDelete(report, line);
            line.clear();
            if (confirmed) {
                // The answer may have taken any time: the entry is looked at again.
                finishRemoval(report, removeEntry(platform, *search), shown, line, counts);
            } else {
                ++counts.skipped;
            }
        }
        // Someone watching a long run on a terminal sees each line as it is done.
        if (terminal) platform.flushOut();
    }
    // A listing cut short by a read error must not pass for a complete sweep.
    const int readError = search->readError();
    search.reset();
    if (readError != 0) report.listingCutShort(std::string(request.pattern, prefixLength), readError);

    platform.writeText("\n\n");
    writeCountLine(platform, counts.processed,
                   request.listOnly ? " files would have been deleted without the [/L] option" : " files were deleted");
    if (counts.failed > 0) writeCountLine(platform, counts.failed, " files failed to delete");
    if (counts.skipped > 0) writeCountLine(platform, counts.skipped, " files were skipped");
    platform.endIfInterrupted();
}
