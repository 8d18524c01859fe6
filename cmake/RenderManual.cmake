# Renders the manual page as plain text for the Windows package, where there is no man:
# ASCII without overstriking, lines ending in CR LF. Run with -DGROFF=, -DPAGE= and -DOUT=.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
                OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${PAGE}: ${errors}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
