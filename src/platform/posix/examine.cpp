// The next matching name, one entry's own status, and how many worker threads may
// examine entries at once.

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include "platform/posix/read_ahead.h"
#include "platform/posix/posix.h"
#include "platform/wildcard.h"

namespace posix {

const struct dirent* nextMatchingName(DIR* directory, const std::string& namePattern, std::size_t& length, int& error,
                                     bool& sawDirectory) {
    for (;;) {
        errno = 0;
        const struct dirent* found = readdir(directory);
        if (found == nullptr) {
            error = errno;
            return nullptr;
        }
        length = std::strlen(found->d_name);
#ifdef DT_UNKNOWN
        if (found->d_type == DT_DIR || found->d_type == DT_UNKNOWN) {
            const char* name = found->d_name;
            if (!(name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.')))) sawDirectory = true;
        }
#else
        sawDirectory = true;
#endif
        if (matchesWildcard(namePattern.data(), namePattern.size(), found->d_name, length)) return found;
    }
}

int examineEntry(int directory, const char* name, EntryStatus& out) {
    struct stat status;
    if (fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    out.device = status.st_dev;
    out.inode = status.st_ino;
    out.mode = status.st_mode;
    out.lastWrite = lastWriteOf(status);
    return 0;
}

namespace {

unsigned countWorkers() {
    long available = 0;
#ifdef __linux__
    // The CPUs this process may use (taskset, cpusets), not all the machine has.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) available = CPU_COUNT(&set);
#endif
    if (available <= 0) available = sysconf(_SC_NPROCESSORS_ONLN);
    if (available <= 1) return 0;
    return static_cast<unsigned>(std::min<long>(available, MAX_EXAMINERS));
}

}  // namespace

unsigned workerCount() {
    // Asked once: a tree asks for every directory.
    static const unsigned count = countWorkers();
    return count;
}

}  // namespace posix
