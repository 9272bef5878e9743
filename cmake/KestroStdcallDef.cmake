# kestro_stdcall_def(OUTPUT_VAR HEADER DEF OUTPUT): writes OUTPUT, a module
# definition that exports every function of DEF under its 32-bit stdcall
# name (_OpenUSB@0, _ReadData@12 are named after their argument bytes), and
# sets OUTPUT_VAR to its path. The argument bytes come from the KESTRO_CALL
# declarations in HEADER, each argument 4 bytes; the configure fails unless
# HEADER declares exactly the functions DEF exports. Both files are
# configure dependencies, so a changed declaration regenerates it.
function(kestro_stdcall_def output_var header def output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header} ${def})
    file(READ ${header} text)
    string(REGEX MATCHALL "KESTRO_CALL[ \t\r\n]+[A-Za-z0-9_]+\\([^)]*\\)" decls "${text}")
    set(stdcall_def "LIBRARY kestro\nEXPORTS\n")
    set(declared)
    foreach(decl IN LISTS decls)
        string(REGEX REPLACE "^KESTRO_CALL[ \t\r\n]+([A-Za-z0-9_]+)\\(.*$" "\\1" name "${decl}")
        string(REGEX REPLACE "^[^(]*\\(([^)]*)\\)$" "\\1" args "${decl}")
        string(STRIP "${args}" args)
        set(bytes 0)
        if(NOT args STREQUAL "void" AND NOT args STREQUAL "")
            string(REGEX REPLACE "[^,]" "" commas "${args}")
            string(LENGTH "${commas}" count)
            math(EXPR bytes "4 * (${count} + 1)")
        endif()
        string(APPEND stdcall_def "    ${name}@${bytes}\n")
        list(APPEND declared ${name})
    endforeach()
    file(STRINGS ${def} def_lines)
    list(FILTER def_lines INCLUDE REGEX "^[ \t]+[A-Za-z0-9_]+[ \t]*$")
    list(TRANSFORM def_lines STRIP)
    list(SORT def_lines)
    list(SORT declared)
    if(NOT declared STREQUAL def_lines)
        message(FATAL_ERROR "${header} declares ${declared}, ${def} exports ${def_lines}")
    endif()
    file(GENERATE OUTPUT ${output} CONTENT "${stdcall_def}")
    set(${output_var} ${output} PARENT_SCOPE)
endfunction()
