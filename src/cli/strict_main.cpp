// agecull-strict: agecull for scripts and schedulers. The same run, the same standard
// output; errors named on standard error, and an exit status that says how it went.

#include "cli/command.h"
#include "platform/platform.h"
#include "sweep/report.h"

int main(int argc, char** argv) {
    Platform& platform = systemPlatform();
    RunReport report(platform, Program::AGECULL_STRICT);
    runCommand(argc, argv, report);
    // Whether standard output could be written is known once it has all gone out.
    platform.flushOut();
    return report.exitStatus();
}
