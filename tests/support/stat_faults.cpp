// Makes fstatat fail for chosen names, so that a test can put an entry that vanished, or
// one that cannot be examined, at a known place in a real directory. Loaded into the real
// binary with LD_PRELOAD; AGECULL_STAT_FAULTS lists name=errno pairs, comma-separated,
// e.g. "f000010.log=2,f000500.log=5". Every other call goes to the C library.
//
// <sys/stat.h> is left out on purpose: the C library declares these functions with
// throw(), which definitions here would have to repeat, and they only need the struct's name.

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

struct stat;

namespace {

using Fstatat = int (*)(int, const char*, struct stat*, int);

constexpr int MAX_FAULTS = 16;
constexpr std::size_t MAX_NAME = 256;

struct Fault {
    char name[MAX_NAME];
    int error;
};

// Filled once before main, read-only afterwards: safe from any thread.
Fault faults[MAX_FAULTS];
int faultCount = 0;
Fstatat realFstatat = nullptr;
Fstatat realFstatat64 = nullptr;

__attribute__((constructor)) void loadFaults() {
    realFstatat = reinterpret_cast<Fstatat>(dlsym(RTLD_NEXT, "fstatat"));
    realFstatat64 = reinterpret_cast<Fstatat>(dlsym(RTLD_NEXT, "fstatat64"));
    const char* list = std::getenv("AGECULL_STAT_FAULTS");
    while (list != nullptr && *list != '\0' && faultCount < MAX_FAULTS) {
        const char* equals = std::strchr(list, '=');
        if (equals == nullptr || static_cast<std::size_t>(equals - list) >= MAX_NAME) break;
        Fault& fault = faults[faultCount++];
        std::memcpy(fault.name, list, static_cast<std::size_t>(equals - list));
        fault.name[equals - list] = '\0';
        char* end = nullptr;
        fault.error = static_cast<int>(std::strtol(equals + 1, &end, 10));
        list = *end == ',' ? end + 1 : end;
    }
}

// The error planted for `name`, or 0.
int plantedError(const char* name) {
    const char* base = std::strrchr(name, '/');
    base = base == nullptr ? name : base + 1;
    for (int i = 0; i < faultCount; ++i) {
        if (std::strcmp(faults[i].name, base) == 0) return faults[i].error;
    }
    return 0;
}

int call(Fstatat real, int directory, const char* name, struct stat* out, int flags) {
    if (const int error = plantedError(name)) {
        errno = error;
        return -1;
    }
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return real(directory, name, out, flags);
}

}  // namespace

extern "C" int fstatat(int directory, const char* name, struct stat* out, int flags) {
    return call(realFstatat, directory, name, out, flags);
}

extern "C" int fstatat64(int directory, const char* name, struct stat* out, int flags) {
    return call(realFstatat64, directory, name, out, flags);
}
