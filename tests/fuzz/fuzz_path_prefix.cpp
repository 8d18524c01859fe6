// The POSIX split of a pattern into its directory prefix and the name pattern the search
// matches: the prefix is empty or a leading part ending in '/', never longer than the
// pattern, and the name part holds no '/' (else the search would look for it in the wrong
// directory). The pattern sits at the end of its own allocation so over-reads are caught.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/posix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* terminator = static_cast<const char*>(std::memchr(bytes, '\0', size));
    const std::size_t length = terminator == nullptr ? size : static_cast<std::size_t>(terminator - bytes);
    std::unique_ptr<char[]> pattern(new char[length + 1]);
    std::memcpy(pattern.get(), bytes, length);
    pattern[length] = '\0';

    const std::size_t prefix = posix::pathPrefixLength(pattern.get());
    const char* problem = nullptr;
    if (prefix > length) {
        problem = "prefix longer than the pattern";
    } else if (prefix > 0 && pattern[prefix - 1] != '/') {
        problem = "prefix does not end in '/'";
    } else if (std::memchr(pattern.get() + prefix, '/', length - prefix) != nullptr) {
        problem = "name part still holds a '/'";
    }
    if (problem != nullptr) {
        std::fprintf(stderr, "fuzz_path_prefix: %s: %zu of '%s'\n", problem, prefix, pattern.get());
        std::abort();
    }
    return 0;
}
