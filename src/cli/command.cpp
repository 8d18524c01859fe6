#include "cli/command.h"

#include <cctype>
#include <cstring>
#include <string>

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

bool strict(const RunReport& report) { return report.program() == Program::AGECULL_STRICT; }

// agecull-strict's switches after the day count. Any order, any case, each at most once.
// Returns "" when all are good, otherwise the one line that names the first bad one.
std::string readSwitches(int argc, const char* const* argv, SweepRequest& request) {
    bool seen[5] = {};  // /Q, /L, /S, /KEEP:, /MAX:
    for (int i = 3; i < argc; ++i) {
        const char* word = argv[i];
        std::string upper(word);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        int which = -1;
        if (upper == "/Q" || upper == "/L" || upper == "/S") {
            which = upper == "/Q" ? 0 : upper == "/L" ? 1 : 2;
        } else if (upper.compare(0, 6, "/KEEP:") == 0) {
            which = 3;
        } else if (upper.compare(0, 5, "/MAX:") == 0) {
            which = 4;
        } else {
            return std::string("Unknown switch: ") + word;
        }
        if (seen[which]) return std::string("Switch given twice: ") + word;
        seen[which] = true;
        if (which == 3 || which == 4) {
            const std::int64_t lowest = which == 3 ? 1 : 0;
            const std::int64_t number = parseCount(word + (which == 3 ? 6 : 5));
            if (number < lowest) {
                return std::string(which == 3 ? "/KEEP needs a number from 1" : "/MAX needs a number from 0") +
                       " to 2147483647: " + word;
            }
            if (which == 3) request.keepNewest = static_cast<std::int32_t>(number);
            if (which == 4) request.maxDeletions = number;
        }
    }
    if (seen[0] && seen[1]) return "/Q and /L cannot be given together";
    request.quiet = seen[0];
    request.listOnly = seen[1];
    request.wholeTree = seen[2];
    return std::string();
}

}  // namespace

std::int64_t parseCount(const char* text) {
    if (*text == '\0') return -1;
    std::int64_t number = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return -1;
        number = number * 10 + (*text - '0');
        if (number > 2147483647) return -1;
    }
    return number;
}

void printBanner(Platform& platform) {
    platform.writeText("agecull " AGECULL_VERSION " - removes files older than a given number of days");
}

void printUsage(Platform& platform, Program program) {
    static const char* const strictLines[] = {
        "Usage: agecull-strict fname days [/Q | /L] [/S] [/KEEP:n] [/MAX:n]",
        "  fname - file name which can include wildcards * and ?.",
        "  days  - is the number of days.",
        "  /Q    - Run quietly and do not prompt to delete each file.",
        "  /L    - List the older files only. Do not delete them.",
        "  /S    - Sweep every subdirectory too, matching the names in each.",
        "  /KEEP:n - Never delete the n newest matching files of a directory.",
        "  /MAX:n  - Delete nothing when more than n files would be deleted.",
        "",
        "Example: agecull-strict *.dat 5 /S /KEEP:3",
        "  This command will delete all files ending in .dat in the current",
        "  directory/folder and below it older than 5 days, keeping the 3 newest of each.",
    };
    if (program == Program::AGECULL_STRICT) {
        for (const char* line : strictLines) writeLine(platform, line);
        return;
    }
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

    const Program program = report.program();
    if (argc == 2 && isHelpRequest(argv[1])) {
        printUsage(platform, program);
        return;
    }
    // agecull takes one switch; agecull-strict up to four: /Q or /L, /S, /KEEP:n, /MAX:n.
    if (argc < 3 || argc > (strict(report) ? 7 : 4)) {
        reject(report, "Invalid number of paramaters");
        platform.writeText("\n");
        printUsage(platform, program);
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
    if (strict(report)) {
        const std::string problem = readSwitches(argc, argv, request);
        if (!problem.empty()) {
            reject(report, problem.c_str());
            platform.writeText("\n");
            printUsage(platform, program);
            return;
        }
    } else if (argc == 4 && !readOption(argv[3], request)) {
        return reject(report, "Optional 3rd paramater can only be /Q or /L");
    }
    sweepFiles(request, report);
}
