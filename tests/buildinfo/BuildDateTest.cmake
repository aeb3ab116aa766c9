# Checks that the build date is taken when the program is built: a small
# project stamped with paperlark_information_list is configured once and
# built several times, with and without SOURCE_DATE_EPOCH.
# Run as: cmake -DSOURCE_DIR=<repository> -DWORK=<scratch folder> -P BuildDateTest.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/source")
file(WRITE "${WORK}/source/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.25)
project(Stamp LANGUAGES NONE)
include(\"${SOURCE_DIR}/cmake/Paperlark.cmake\")
paperlark_information_list(OUTPUT \${CMAKE_BINARY_DIR}/date.txt
    TEMPLATE \${CMAKE_SOURCE_DIR}/date.txt.in SOURCES \${CMAKE_SOURCE_DIR}/program.cpp)
add_custom_target(stamp ALL DEPENDS \${CMAKE_BINARY_DIR}/date.txt)
")
file(WRITE "${WORK}/source/date.txt.in" "@PAPERLARK_BUILD_DATE@")
file(WRITE "${WORK}/source/program.cpp" "// 1\n")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed:\n${out}")
    endif()
endfunction()

function(expect_date expected what)
    file(READ "${WORK}/build/date.txt" date)
    string(STRIP "${date}" date)
    if(NOT date STREQUAL expected)
        message(FATAL_ERROR "${what}: the build date is '${date}', expected '${expected}'")
    endif()
endfunction()

# Configured with a fixed time; built without one: the configured one holds.
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1500000000
    ${CMAKE_COMMAND} -G Ninja -S "${WORK}/source" -B "${WORK}/build")
run(${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH ${CMAKE_COMMAND} --build "${WORK}/build")
expect_date("2017-07-14T02:40:00Z" "first build")

# A changed source, built without configuring again, with another time.
file(WRITE "${WORK}/source/program.cpp" "// 2\n")
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=2000000000 ${CMAKE_COMMAND} --build "${WORK}/build")
expect_date("2033-05-18T03:33:20Z" "build after a change")

# Nothing changed: nothing is built, the date stays.
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1000000000 ${CMAKE_COMMAND} --build "${WORK}/build")
expect_date("2033-05-18T03:33:20Z" "build without a change")

# Without SOURCE_DATE_EPOCH anywhere, the time of the build itself.
file(REMOVE_RECURSE "${WORK}/build")
run(${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH
    ${CMAKE_COMMAND} -G Ninja -S "${WORK}/source" -B "${WORK}/build")
run(${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH ${CMAKE_COMMAND} --build "${WORK}/build")
file(READ "${WORK}/build/date.txt" date)
string(STRIP "${date}" date)
string(REGEX MATCH "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]Z$"
       wellFormed "${date}")
if(NOT wellFormed)
    message(FATAL_ERROR "the build date '${date}' is not an ISO 8601 time")
endif()
file(REMOVE_RECURSE "${WORK}")
