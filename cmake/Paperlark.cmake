# Shared helpers for the project's CMake files.

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
    # Tests that scan start the scanner worker of this build.
    add_dependencies(${ARG_NAME} paperlark-scanner)
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 600
        ENVIRONMENT "PAPERLARK_SCANNER=$<TARGET_FILE:paperlark-scanner>")
endfunction()
