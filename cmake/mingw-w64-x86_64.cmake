# Cross build for 64-bit Windows with MinGW-w64, e.g. from Debian with g++-mingw-w64-x86-64:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DAGECULL_TESTS=OFF
# The executable is linked statically (libgcc, libstdc++, winpthread), so agecull.exe needs
# nothing beside the system's own DLLs and runs as it is on Windows or under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(AGECULL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${AGECULL_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${AGECULL_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${AGECULL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${AGECULL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run through Wine when a build step or test needs to run them.
find_program(AGECULL_WINE wine)
if(AGECULL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AGECULL_WINE})
endif()
