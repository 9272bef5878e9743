# Writes a manual page from a program's --help and --version output.
#   cmake -DPROGRAM=path -DNAME=kestro -DSUMMARY="..." -DOUTPUT=kestro.1 -P help-to-man.cmake
# The help text becomes the DESCRIPTION, kept as the program prints it.
foreach(var PROGRAM NAME SUMMARY OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "help-to-man: ${var} not given")
    endif()
endforeach()
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE help_status)
if(NOT help_status EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "help-to-man: ${PROGRAM} --help failed (${help_status})")
endif()
set(version "")
if(DEFINED VERSION)
    set(version "${VERSION}")
endif()
# roff: a backslash is written \e, and a line that starts with . or ' is
# protected with \&.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "\n${help}")
string(TOUPPER "${NAME}" upper)
file(WRITE ${OUTPUT}
".TH ${upper} 1 \"\" \"${NAME} ${version}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf${help}
.fi
")
