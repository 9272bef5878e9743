# kestro_version_resource(target description): gives a Windows target a
# version resource with the project's version, the product and company
# name, the copyright of the MIT licence (LICENSE), the description and the
# target's file name.
set(KESTRO_COPYRIGHT "Copyright (C) 2026 The Kestro developers. MIT licence.")
function(kestro_version_resource target description)
    get_target_property(type ${target} TYPE)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(KESTRO_VERSION_DESCRIPTION "${description}")
    set(KESTRO_VERSION_INTERNAL "${name}")
    if(type STREQUAL "EXECUTABLE")
        set(KESTRO_VERSION_FILETYPE VFT_APP)
        set(KESTRO_VERSION_FILE "${name}.exe")
    else()
        set(KESTRO_VERSION_FILETYPE VFT_DLL)
        set(KESTRO_VERSION_FILE "${name}.dll")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
