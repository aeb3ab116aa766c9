# Shared helpers for the project's CMake files.

set(PAPERLARK_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# paperlark_add_test(NAME name SOURCES a.cpp ... LIBS lib ...)
# One Qt Test executable, registered with CTest under the same name.
function(paperlark_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE Qt6::Test ${ARG_LIBS})
    target_compile_definitions(${ARG_NAME} PRIVATE
        PAPERLARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        PAPERLARK_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    # Tests that scan or add PDFs start the helper programs of this build.
    add_dependencies(${ARG_NAME} paperlark-scanner paperlark-pdf-reader)
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 600
        ENVIRONMENT "PAPERLARK_SCANNER=$<TARGET_FILE:paperlark-scanner>;PAPERLARK_PDF_READER=$<TARGET_FILE:paperlark-pdf-reader>")
    # Built with the sanitizers: a report from a process the test started
    # (the scanner worker's standard error goes to the test's) fails the test
    # too, although that process's exit status never reaches CTest.
    if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
        set_tests_properties(${ARG_NAME} PROPERTIES FAIL_REGULAR_EXPRESSION
            "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:")
    endif()
endfunction()

# paperlark_information_list(OUTPUT file TEMPLATE file.in SOURCES a.cpp ...)
# Generates OUTPUT from TEMPLATE (configure_file, @ONLY) when the project is
# built, with @PAPERLARK_BUILD_DATE@ set to the time of that build, so the
# date moves whenever one of SOURCES (the program's sources) changes and not
# only when the project is configured. SOURCE_DATE_EPOCH fixes the time for
# reproducible builds: from the build's environment, or else as it was when
# the project was configured. Every other @VARIABLE@ of the template gets
# the value the variable has where this function is called.
function(paperlark_information_list)
    cmake_parse_arguments(ARG "" "OUTPUT;TEMPLATE" "SOURCES" ${ARGN})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_TEMPLATE})
    file(READ ${ARG_TEMPLATE} template)
    string(REGEX MATCHALL "@[A-Za-z_][A-Za-z0-9_]*@" references "${template}")
    list(REMOVE_DUPLICATES references)
    set(definitions)
    foreach(reference IN LISTS references)
        string(REPLACE "@" "" variable "${reference}")
        if(NOT variable STREQUAL "PAPERLARK_BUILD_DATE")
            list(APPEND definitions "-D${variable}=${${variable}}")
        endif()
    endforeach()
    add_custom_command(OUTPUT ${ARG_OUTPUT}
        COMMAND ${CMAKE_COMMAND}
            "-DTEMPLATE=${ARG_TEMPLATE}" "-DOUTPUT=${ARG_OUTPUT}"
            "-DCONFIGURED_SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}"
            ${definitions}
            -P ${PAPERLARK_CMAKE_DIR}/WriteInformationList.cmake
        DEPENDS ${ARG_TEMPLATE} ${PAPERLARK_CMAKE_DIR}/WriteInformationList.cmake ${ARG_SOURCES}
        COMMENT "Stamping the build date"
        VERBATIM)
endfunction()
