# Configures (and, when it should succeed, builds) the consumer project for one
# case, and checks the outcome.
#   cmake -DCASE=<case> -DLANTERN_DIR=<repo> -DBUILD_DIR=<dir> -DTOOLCHAIN=<file>
#         [-DEXPECT_ERROR=<regex>] -P run_project.cmake
file(REMOVE_RECURSE "${BUILD_DIR}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/project" -B "${BUILD_DIR}" -G Ninja
          "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" "-DLANTERN_DIR=${LANTERN_DIR}" "-DCASE=${CASE}"
          -DCMAKE_BUILD_TYPE=Release
  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(DEFINED EXPECT_ERROR)
  if(NOT failed)
    message(FATAL_ERROR "case ${CASE}: configuring succeeded, but it should have stopped with '${EXPECT_ERROR}'")
  endif()
  string(REGEX REPLACE "[ \t\r\n]+" " " flat "${err}")
  if(NOT flat MATCHES "${EXPECT_ERROR}")
    message(FATAL_ERROR "case ${CASE}: expected an error matching '${EXPECT_ERROR}', got:\n${err}")
  endif()
  message(STATUS "case ${CASE}: stopped as expected: ${EXPECT_ERROR}")
  file(REMOVE_RECURSE "${BUILD_DIR}")
  return()
endif()
if(failed)
  message(FATAL_ERROR "case ${CASE}: configuring failed:\n${out}\n${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" RESULT_VARIABLE failed
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(failed)
  message(FATAL_ERROR "case ${CASE}: building failed:\n${out}\n${err}")
endif()
