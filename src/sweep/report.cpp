#include "sweep/report.h"

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

void RunReport::line(const std::string& text) { platform_.reportLine((lead() + text).c_str()); }

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
    platform_.reportError(strict() ? (lead() + shownPath).c_str() : "  Could not delete ", code);
}

void RunReport::listingCutShort(const std::string& directory, int code) {
    outcome_.listingCutShort = true;
    if (strict()) {
        platform_.reportError((lead() + (directory.empty() ? "." : directory)).c_str(), code);
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
