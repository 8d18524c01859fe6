#include "sweep/report.h"

#include <cstdio>
#include <cstring>

#include "common/display.h"
#include "platform/platform.h"

namespace {

// The text for a removal's or a listing's error code: the C runtime's, or our own.
const char* errorText(int code) {
    return code == ERROR_ENTRY_CHANGED ? "Changed since it was listed, so it was kept" : std::strerror(code);
}

// How a link's placer fell short of the directory it leads to.
std::string distrust(const SearchFailure& failure) {
    return failure.targetOwner != failure.user
               ? ", the directory it leads to belongs to uid " + std::to_string(failure.targetOwner)
               : std::string(", who cannot reach the directory it leads to");
}

}  // namespace

RunReport::RunReport(Platform& platform, Program program)
    : platform_(platform), program_(program), journal_(program == Program::AGECULL_STRICT && platform.errorIsJournal()) {
    OutputFailureWords words;
    words.cannotWrite = lead() + words.cannotWrite;
    words.abandoned = lead() + "ended while standard output was blocked: the record may be incomplete";
    // agecull ends with 0 whatever happens; for a script a record cut short is a failure.
    words.readerGoneStatus = strict() ? STATUS_FAILED : 0;
    platform_.nameOutputFailure(words);
}

std::string RunReport::words(const SearchFailure& failure) const {
    using Reason = SearchFailure::Reason;
    const std::string& place = failure.place;
    switch (failure.reason) {
    case Reason::NONE:
        break;
    case Reason::RUNTIME_ERROR:
        return place + ": " + errorText(failure.code);
    case Reason::SYSTEM_ERROR:
        return place + ": " + platform_.systemErrorText(failure.code);
    case Reason::NO_FILE_NAME:
        return place + ": no file name after the last '" + failure.separator + "'";
    case Reason::NOT_IN_CODE_PAGE:
        return place + ": the pattern as typed cannot be held in code page " + std::to_string(failure.codePage) +
               ", so nothing was searched";
    case Reason::LINK_IN_SHARED_DIRECTORY: {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", failure.mode & 07777U);
        return place + ": symbolic link not followed: its directory (mode " + mode +
               ") may be written by others than its owner";
    }
    case Reason::LINK_PLACED_BY_STRANGER:
        return place + ": symbolic link not followed: " +
               (failure.placedByHolder ? "its directory belongs to uid " : "it belongs to uid ") +
               std::to_string(failure.user) + distrust(failure);
    case Reason::CLIMB_AFTER_STRANGER:
        return place + ": '..' not followed: a symbolic link before it was placed by uid " +
               std::to_string(failure.user) + distrust(failure);
    case Reason::CLIMB_AFTER_MOVABLE_DIRECTORY: {
        if (failure.mode == 0) {
            return place + ": '..' not followed: a directory before it could have been moved by uid " +
                   std::to_string(failure.user) + distrust(failure);
        }
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", failure.mode & 07777U);
        return place + ": '..' not followed: the directory before it lies in a directory (mode " + mode +
               ") that others than its owner may write";
    }
    }
    return place;
}

std::string RunReport::lead() const {
    // The journal files a line that starts with "<3>" at priority err, so that
    // journalctl -p err shows it.
    return std::string(journal_ ? "<3>" : "") + (strict() ? "agecull-strict: " : "agecull: ");
}

// A line may quote the pattern, a name or a link's text: on a terminal standard error
// gets the same masking as the listing.
std::string RunReport::shown(const std::string& text) const {
    std::string scratch;
    return displayText(text, platform_.errorIsTerminal(), scratch);
}

void RunReport::line(const std::string& text) { platform_.reportLine(shown(lead() + text).c_str()); }

void RunReport::argumentsRejected(const char* message) {
    outcome_.argumentsRejected = true;
    if (strict()) line(message);
}

void RunReport::searchFailed(const SearchFailure& failure) {
    outcome_.searchFailed = true;
    line(words(failure));
}

void RunReport::removalFailed(const std::string& shownPath, int code) {
    ++outcome_.failedRemovals;
    // agecull keeps its perror line; agecull-strict names the file, as rm does.
    if (strict()) {
        line(shownPath + ": " + errorText(code));
    } else {
        platform_.reportLine((std::string("  Could not delete : ") + errorText(code)).c_str());
    }
}

void RunReport::unusableName(const std::string& path, unsigned codePage, bool selected) {
    if (selected) ++outcome_.unusableNames;
    line(path + ": its name cannot be written in code page " + std::to_string(codePage) + ", so it was left alone");
}

void RunReport::listingCutShort(const std::string& directory, int code) {
    outcome_.listingCutShort = true;
    if (strict()) {
        line((directory.empty() ? std::string(".") : directory) + ": " + errorText(code));
    } else {
        platform_.reportLine((std::string("  Could not read the directory: ") + errorText(code)).c_str());
    }
}

void RunReport::examinationFailed(const std::string& shownPath, int code) {
    ++outcome_.failedExaminations;
    // agecull names the entry as well: without it a bad inode among thousands is not found.
    if (strict()) {
        line(shownPath + ": " + errorText(code));
    } else {
        platform_.reportLine(shown("  Could not examine " + shownPath + ": " + errorText(code)).c_str());
    }
}

void RunReport::directoryNotEntered(const std::string& shownPath, int code) {
    ++outcome_.directoriesNotEntered;
    line(shownPath + ": " +
         (code == ERROR_ENTRY_CHANGED ? std::string("changed since it was listed, so it was not entered")
                                      : std::string(errorText(code))));
}

void RunReport::overCap(std::int64_t count, std::int64_t cap, bool listOnly) {
    outcome_.capped = true;
    line(std::to_string(count) + " files would have been deleted, more than /MAX:" + std::to_string(cap) +
         (listOnly ? " allows, so a run without /L would delete nothing" : " allows, so nothing was deleted"));
}

void RunReport::capReached(const std::string& shownPath, std::int64_t cap) {
    outcome_.capped = true;
    line(shownPath + ": not deleted, /MAX:" + std::to_string(cap) + " reached");
}

void RunReport::stopped(const char* message, bool agecullSaysItToo) {
    outcome_.stopped = true;
    if (strict()) {
        line(message);
    } else if (agecullSaysItToo) {
        platform_.reportLine(message);
    }
}

int RunReport::exitStatus() const {
    if (!strict()) return 0;
    if (outcome_.argumentsRejected || outcome_.searchFailed) return STATUS_REFUSED;
    if (outcome_.capped) return STATUS_CAPPED;
    if (outcome_.failedRemovals > 0 || outcome_.unusableNames > 0 || outcome_.listingCutShort || outcome_.stopped ||
        outcome_.failedExaminations > 0 || outcome_.directoriesNotEntered > 0 || platform_.outputFailed()) {
        return STATUS_FAILED;
    }
    return STATUS_DONE;
}
