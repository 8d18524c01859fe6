#include "sweep/prompt.h"

#include <cctype>

#include "platform/platform.h"

namespace {

constexpr int KEY_ESC = 27;

void abortRun(Platform& platform, const char* line) {
    platform.writeOut("\n", 1);
    platform.writeText(line);
    platform.writeOut("\n", 1);
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
        if (key == KEY_NONE) abortRun(platform, "No terminal to answer the prompt - Program aborted");
        const int code = std::toupper(key);
        if (code == 'Y' || code == 'N') {
            const char echo = static_cast<char>(code);
            platform.writeOut(&echo, 1);
            return code == 'Y';
        }
        if (code == KEY_ESC) abortRun(platform, "ESC - Program aborted");
    }
}
