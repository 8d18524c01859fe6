#include "cli/command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    Platform& platform = systemPlatform();
    const int status = runCommand(argc, argv, platform);
    platform.flushOut();
    return status;
}
