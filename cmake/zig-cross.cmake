# Cross build with zig's bundled clang, libc headers and libc++, e.g. for macOS:
#   cmake -S . -B build/macos-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/zig-cross.cmake \
#         -DAGECULL_ZIG=/path/to/zig -DAGECULL_ZIG_TARGET=aarch64-macos -DAGECULL_TESTS=OFF
# AGECULL_ZIG is zig 0.11 (tools/check fetches a pinned one); AGECULL_ZIG_TARGET is one of
# zig's targets (aarch64-macos, x86_64-macos...). zig keeps what it builds for a target (the
# C++ runtime above all, minutes on the first link) in ZIG_GLOBAL_CACHE_DIR, ~/.cache/zig by
# default. Nothing built this way can run here: it is only compiled and linked.

if(NOT AGECULL_ZIG OR NOT AGECULL_ZIG_TARGET)
  message(FATAL_ERROR "zig-cross.cmake needs -DAGECULL_ZIG=<zig> and -DAGECULL_ZIG_TARGET=<target>")
endif()
# CMake reads this file again for each of its own trial builds, which see only these.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AGECULL_ZIG AGECULL_ZIG_TARGET)

string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${AGECULL_ZIG_TARGET}")
if(AGECULL_ZIG_TARGET MATCHES "-macos")
  set(CMAKE_SYSTEM_NAME Darwin)
  # No SDK here: zig brings the system's headers and stubs itself.
  set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
elseif(AGECULL_ZIG_TARGET MATCHES "-linux")
  set(CMAKE_SYSTEM_NAME Linux)
else()
  message(FATAL_ERROR "zig-cross.cmake knows macOS and Linux targets, not ${AGECULL_ZIG_TARGET}")
endif()

# A list: CMake runs the first item and passes the others first on every command line.
set(CMAKE_CXX_COMPILER "${AGECULL_ZIG}" c++ -target ${AGECULL_ZIG_TARGET})
# The host's ar knows nothing of Mach-O symbol tables; zig's does.
set(CMAKE_CXX_ARCHIVE_CREATE "\"${AGECULL_ZIG}\" ar qc <TARGET> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "\"${AGECULL_ZIG}\" ar q <TARGET> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "\"${AGECULL_ZIG}\" ranlib <TARGET>")

# CMake learns the pointer size from a trial build that passes -Wl,-v, which zig refuses.
# Both macOS targets are 64-bit.
set(CMAKE_SIZEOF_VOID_P 8)

# zig builds the C++ runtime once per target and optimisation level: CMake's first trial
# program (no flags of its own, so a debug runtime) would cost a second build of it beside
# the optimised one a Release link uses. Optimising every compile makes them one.
set(CMAKE_CXX_FLAGS_INIT "-O2")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
