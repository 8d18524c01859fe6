#include "sweep/prompt.h"

#include <cctype>

#include "platform/platform.h"

namespace {

constexpr int KEY_ESC = 27;

// Ends the run on its own line. `alsoOnError` repeats the line on standard error, for a
// run nobody watches (cron often discards standard output).
void abortRun(Platform& platform, const char* line, bool alsoOnError) {
    platform.writeOut("\n", 1);
    platform.writeText(line);
    platform.writeOut("\n", 1);
    if (alsoOnError) platform.reportLine(line);
    platform.exitProcess(0);
}

}  // namespace

bool confirmDelete(Platform& platform) {
    static const char question[] = "delete y/n ? ";
    // readKey shows the question, once a key can be read.
    platform.writeOut(question, sizeof question - 1);
    for (;;) {
        const int key = platform.readKey();
        // A detached job can never answer: stop, as Esc does, rather than guess.
        if (key == KEY_NONE) abortRun(platform, "No terminal to answer the prompt - Program aborted", true);
        const int code = std::toupper(key);
        if (code == 'Y' || code == 'N') {
            const char echo = static_cast<char>(code);
            platform.writeOut(&echo, 1);
            return code == 'Y';
        }
        if (code == KEY_ESC) abortRun(platform, "ESC - Program aborted", false);
    }
}
