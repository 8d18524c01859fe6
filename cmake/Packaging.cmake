# Packages made by cpack from the install rules: a Debian package on Linux, a zip on
# Windows, a tarball from the fully static Linux build (AGECULL_STATIC). Every package carries the project version, like the banner and the manual page.

set(CPACK_PACKAGE_NAME agecull)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "agecull developers")
set(AGECULL_PACKAGE_MAINTAINER "agecull developers <agecull@example.org>"
    CACHE STRING "Name and address written as the package maintainer")
set(CPACK_PACKAGE_CONTACT "${AGECULL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "delete files matching a pattern that are older than N days")
set(CPACK_PACKAGE_DESCRIPTION
"agecull looks at the directory entries matching a wildcard pattern and
deletes those last written more than a given number of days ago. It asks
y/n for each file, deletes without asking (/Q), or only lists what it
would delete (/L). Directories, special files and read-only files are
never removed, and symbolic links are removed as links.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "agecull-${PROJECT_VERSION}-windows")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
elseif(AGECULL_STATIC)
  # The commands, the manual, the completions, the examples and the licence, laid out as
  # under a prefix (bin/, share/): unpack it anywhere, or copy its contents to /usr/local.
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "agecull-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR}-linux")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${AGECULL_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The control file's Description is made of the summary and the text above.
  # Dependencies read off the binary when dpkg-shlibdeps (package dpkg-dev) is there;
  # otherwise the libraries every g++ build links against.
  find_program(AGECULL_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(AGECULL_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
else()
  set(CPACK_GENERATOR TGZ)
endif()

include(CPack)
