// Makes fstatat fail for chosen names, so that a test can put an entry that vanished, or
// one that cannot be examined, at a known place in a real directory. Loaded into the real
// binary with LD_PRELOAD; AGECULL_STAT_FAULTS lists name=errno pairs, comma-separated,
// e.g. "f000010.log=2,f000500.log=5". AGECULL_STAT_SWAPS lists name=newcomer pairs: just
// after the first examination of `name` succeeds, `newcomer` (relative to the same
// directory) is renamed over it, as another program might at the worst moment; a directory,
// which nothing can be renamed over, changes places with the newcomer instead. A newcomer
// written "newcomer>other" is renamed over `other` instead, so that the moment can be the
// examination of another name (the last one listed, say). Every other call goes to the C
// library.
//
// <sys/stat.h> is left out on purpose: the C library declares these functions with
// throw(), which definitions here would have to repeat, and they only need the struct's name.

#include <dlfcn.h>
#include <stdio.h>

#include <atomic>
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

struct Swap {
    char name[MAX_NAME];
    char newcomer[MAX_NAME];
    char target[MAX_NAME];  // empty: the examined name itself
    std::atomic<bool> done;
};

// Filled once before main, read-only afterwards (but for each swap's flag): safe from any
// thread.
Fault faults[MAX_FAULTS];
int faultCount = 0;
Swap swaps[MAX_FAULTS];
int swapCount = 0;
Fstatat realFstatat = nullptr;
Fstatat realFstatat64 = nullptr;

// Calls `take(name, value)` for each name=value pair of the list in `variable`.
template <typename Take>
void readPairs(const char* variable, Take take) {
    const char* list = std::getenv(variable);
    while (list != nullptr && *list != '\0') {
        const char* equals = std::strchr(list, '=');
        if (equals == nullptr || static_cast<std::size_t>(equals - list) >= MAX_NAME) return;
        const char* end = std::strchr(equals, ',');
        if (end == nullptr) end = equals + std::strlen(equals);
        char name[MAX_NAME];
        char value[MAX_NAME];
        if (static_cast<std::size_t>(end - equals) > MAX_NAME) return;
        std::memcpy(name, list, static_cast<std::size_t>(equals - list));
        name[equals - list] = '\0';
        std::memcpy(value, equals + 1, static_cast<std::size_t>(end - equals - 1));
        value[end - equals - 1] = '\0';
        if (!take(name, value)) return;
        list = *end == ',' ? end + 1 : end;
    }
}

__attribute__((constructor)) void loadFaults() {
    realFstatat = reinterpret_cast<Fstatat>(dlsym(RTLD_NEXT, "fstatat"));
    realFstatat64 = reinterpret_cast<Fstatat>(dlsym(RTLD_NEXT, "fstatat64"));
    readPairs("AGECULL_STAT_FAULTS", [](const char* name, const char* value) {
        if (faultCount == MAX_FAULTS) return false;
        Fault& fault = faults[faultCount++];
        std::strcpy(fault.name, name);
        fault.error = static_cast<int>(std::strtol(value, nullptr, 10));
        return true;
    });
    readPairs("AGECULL_STAT_SWAPS", [](const char* name, const char* value) {
        if (swapCount == MAX_FAULTS) return false;
        Swap& swap = swaps[swapCount++];
        std::strcpy(swap.name, name);
        std::strcpy(swap.newcomer, value);
        char* other = std::strchr(swap.newcomer, '>');
        swap.target[0] = '\0';
        if (other != nullptr) {
            *other = '\0';
            std::strcpy(swap.target, other + 1);
        }
        return true;
    });
}

const char* baseName(const char* name) {
    const char* slash = std::strrchr(name, '/');
    return slash == nullptr ? name : slash + 1;
}

// The error planted for `name`, or 0.
int plantedError(const char* name) {
    for (int i = 0; i < faultCount; ++i) {
        if (std::strcmp(faults[i].name, baseName(name)) == 0) return faults[i].error;
    }
    return 0;
}

// After `name` was examined: the first time, its newcomer takes its place.
void swapAfterExamination(int directory, const char* name) {
    for (int i = 0; i < swapCount; ++i) {
        if (std::strcmp(swaps[i].name, baseName(name)) == 0 && !swaps[i].done.exchange(true)) {
            const char* target = swaps[i].target[0] != '\0' ? swaps[i].target : name;
            if (renameat(directory, swaps[i].newcomer, directory, target) != 0 && errno == EISDIR) {
                renameat2(directory, swaps[i].newcomer, directory, target, RENAME_EXCHANGE);
            }
        }
    }
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
    const int result = real(directory, name, out, flags);
    if (result == 0) {
        const int saved = errno;
        swapAfterExamination(directory, name);
        errno = saved;
    }
    return result;
}

}  // namespace

extern "C" int fstatat(int directory, const char* name, struct stat* out, int flags) {
    return call(realFstatat, directory, name, out, flags);
}

extern "C" int fstatat64(int directory, const char* name, struct stat* out, int flags) {
    return call(realFstatat64, directory, name, out, flags);
}
