# Builds one bootstrapper of the consumer project that the packing tool must
# refuse, and checks its message and that no executable was left.
#   cmake -DBUILD_DIR=<consumer build> -DTARGET=<name> -DEXPECT_ERROR=<regex> -P build_fault.cmake
cmake_minimum_required(VERSION 3.25)
set(exe "${BUILD_DIR}/faults/${TARGET}.exe")
file(REMOVE "${exe}")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target "${TARGET}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[ \t\r\n]+" " " flat "${out} ${err}")
if(NOT failed)
  message(FATAL_ERROR "${TARGET}: the build succeeded, but it should have stopped with '${EXPECT_ERROR}'")
endif()
if(NOT flat MATCHES "lantern_add_bootstrapper\\(${TARGET}\\): [^\n]*${EXPECT_ERROR}")
  message(FATAL_ERROR "${TARGET}: expected an error matching '${EXPECT_ERROR}', got:\n${out}\n${err}")
endif()
file(GLOB left "${BUILD_DIR}/faults/${TARGET}.exe*")
if(left)
  message(FATAL_ERROR "${TARGET}: the refused build left ${left}")
endif()
message(STATUS "${TARGET}: stopped as expected: ${EXPECT_ERROR}")
