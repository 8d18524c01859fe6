# Renders the generated manual page with every groff warning turned on and fails on any
# output at all, and checks that the page carries the project version.
#   cmake -DGROFF=<groff> -DPAGE=<agecull.1> -DVERSION=<version> -P check_manual.cmake

foreach(variable GROFF PAGE VERSION)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "check_manual.cmake needs -D${variable}=...")
  endif()
endforeach()

execute_process(
  COMMAND "${GROFF}" -man -ww -z "${PAGE}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} exited with ${status} and printed:\n${out}${err}")
endif()

file(STRINGS "${PAGE}" title REGEX "^\\.TH ")
if(NOT title MATCHES "\"agecull ${VERSION}\"")
  message(FATAL_ERROR "The manual's title line does not name agecull ${VERSION}: ${title}")
endif()
file(STRINGS "${PAGE}" leftovers REGEX "@[A-Za-z_]+@")
if(leftovers)
  message(FATAL_ERROR "Unreplaced template variables in the manual: ${leftovers}")
endif()
