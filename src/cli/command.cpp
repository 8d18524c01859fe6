#include "cli/command.h"

#include <cctype>
#include <cstring>

#include "common/types.h"
#include "common/version.h"
#include "platform/platform.h"
#include "sweep/report.h"
#include "sweep/sweep.h"

namespace {

void writeLine(Platform& platform, const char* text) {
    platform.writeText(text);
    platform.writeText("\n");
}

bool isHelpRequest(const char* argument) {
    return std::strcmp(argument, "?") == 0 || std::strcmp(argument, "/?") == 0;
}

// Exactly two bytes: '/' and Q or L in either case.
bool readOption(const char* argument, SweepRequest& request) {
    if (std::strlen(argument) != 2 || argument[0] != '/') return false;
    const int letter = std::toupper(static_cast<unsigned char>(argument[1]));
    if (letter == 'Q') {
        request.quiet = true;
        return true;
    }
    if (letter == 'L') {
        request.listOnly = true;
        return true;
    }
    return false;
}

// Ends the run with its one line about the command line.
void reject(RunReport& report, const char* message) {
    writeLine(report.platform(), message);
    report.argumentsRejected(message);
}

}  // namespace

void printBanner(Platform& platform) {
    platform.writeText("agecull " AGECULL_VERSION " - removes files older than a given number of days");
}

void printUsage(Platform& platform) {
    static const char* const lines[] = {
        "Usage: agecull fname days [/Q] [/L]",
        "  fname - file name which can include wildcards * and ?.",
        "  days  - is the number of days.",
        "  /Q    - Run quietly and do not prompt to delete each file.",
        "  /L    - List the older files only. Do not delete them.",
        "",
        "Example: agecull *.dat 5",
        "  This command will delete all files ending in .dat in the current",
        "  directory/folder older than 5 days.",
    };
    for (const char* line : lines) writeLine(platform, line);
}

std::int32_t parseDayCount(const char* text) {
    // The C locale's white space, as atol skips it.
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    // Accumulate the magnitude, stopping once it is past the range: no overflow.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

int runCommand(int argc, const char* const* argv, Platform& platform) {
    RunReport report(platform, Program::AGECULL);
    runCommand(argc, argv, report);
    return 0;
}

void runCommand(int argc, const char* const* argv, RunReport& report) {
    Platform& platform = report.platform();
    printBanner(platform);
    platform.writeText("\n");
    writeLine(platform, "* Deleted files are NOT moved to recycle bin. Use this program with caution. *");
    platform.writeText("\n");

    if (argc == 2 && isHelpRequest(argv[1])) {
        printUsage(platform);
        return;
    }
    if (argc < 3 || argc > 4) {
        reject(report, "Invalid number of paramaters");
        platform.writeText("\n");
        printUsage(platform);
        return;
    }
    if (std::strlen(argv[1]) > MAX_PATTERN_LENGTH) return reject(report, "Path too long");
    SweepRequest request;
    request.pattern = argv[1];
    request.days = parseDayCount(argv[2]);
    if (request.days < 1) return reject(report, "Number of days must be > 0");
    if (std::strspn(argv[2], "0123456789") < std::strlen(argv[2])) {
        return reject(report, "days must consist of the digits 0 - 9 only");
    }
    if (argc == 4 && !readOption(argv[3], request)) return reject(report, "Optional 3rd paramater can only be /Q or /L");
    sweepFiles(request, report);
}
