#include "sweep/prompt.h"

#include <cctype>

#include "platform/platform.h"
#include "sweep/report.h"

namespace {

constexpr int KEY_ESC = 27;

// Ends the run on its own line. `alsoOnError` repeats the line on agecull's standard error,
// for a run nobody watches (cron often discards standard output).
void abortRun(RunReport& report, const char* line, bool alsoOnError) {
    Platform& platform = report.platform();
    platform.writeOut("\n", 1);
    platform.writeText(line);
    platform.writeOut("\n", 1);
    report.stopped(line, alsoOnError);
    platform.exitProcess(report.exitStatus());
}

}  // namespace

bool confirmDelete(RunReport& report, const std::string& line) {
    Platform& platform = report.platform();
    static const char question[] = "delete y/n ? ";
    // readKey shows the question, once a key can be read.
    platform.writeOut(question, sizeof question - 1);
    // Whoever answers must see what is asked, even when standard output goes to a file.
    const std::string asked = line + question;
    platform.showOnTerminal(asked.data(), asked.size());
    for (;;) {
        const int key = platform.readKey();
        // A detached job can never answer: stop, as Esc does, rather than guess.
        if (key == KEY_NONE) abortRun(report, "No terminal to answer the prompt - Program aborted", true);
        const int code = std::toupper(key);
        if (code == 'Y' || code == 'N') {
            const char echo = static_cast<char>(code);
            platform.writeOut(&echo, 1);
            platform.showOnTerminal(&echo, 1);
            return code == 'Y';
        }
        if (code == KEY_ESC) abortRun(report, "ESC - Program aborted", false);
    }
}
