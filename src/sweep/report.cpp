#include "sweep/report.h"

#include "common/display.h"
#include "platform/platform.h"

RunReport::RunReport(Platform& platform, Program program)
    : platform_(platform), program_(program), journal_(program == Program::AGECULL_STRICT && platform.errorIsJournal()) {
    platform_.nameOutputFailure((lead() + "cannot write to standard output").c_str());
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

void RunReport::searchFailed(const std::string& reason) {
    outcome_.searchFailed = true;
    line(reason);
}

void RunReport::removalFailed(const std::string& shownPath, int code) {
    ++outcome_.failedRemovals;
    // agecull keeps its perror line; agecull-strict names the file, as rm does.
    platform_.reportError(strict() ? shown(lead() + shownPath).c_str() : "  Could not delete ", code);
}

void RunReport::listingCutShort(const std::string& directory, int code) {
    outcome_.listingCutShort = true;
    if (strict()) {
        platform_.reportError(shown(lead() + (directory.empty() ? "." : directory)).c_str(), code);
    } else {
        platform_.reportError("  Could not read the directory", code);
    }
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
    if (outcome_.failedRemovals > 0 || outcome_.listingCutShort || outcome_.stopped || platform_.outputFailed()) {
        return STATUS_FAILED;
    }
    return STATUS_DONE;
}
