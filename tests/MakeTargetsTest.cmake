# Checks what the task runner's targets would do (make -n), without doing it:
# `make run` builds the program alone, not the tests and benchmarks, and
# `make sanitize` builds and tests in its own folder.
# Run as: cmake -DSOURCE_DIR=<repository> -P MakeTargetsTest.cmake
function(dry_run target out)
    execute_process(COMMAND make -n -C "${SOURCE_DIR}" ${target}
                    RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE text)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "make -n ${target} failed:\n${text}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

dry_run(run text)
string(REGEX MATCHALL "cmake --build[^\n]*" builds "${text}")
if(NOT builds STREQUAL "cmake --build --preset default --target paperlark")
    message(FATAL_ERROR "make run builds more than the program: ${builds}")
endif()

dry_run(sanitize text)
foreach(expected "cmake --preset sanitize" "cmake --build --preset sanitize"
                 "ctest --preset sanitize")
    string(FIND "${text}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "make sanitize does not run '${expected}':\n${text}")
    endif()
endforeach()
