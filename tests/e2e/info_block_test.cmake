# The information block that lantern_add_bootstrapper(INFO) appends: its
# layout, and the information it refuses because the bootstrapper would not
# find it whole. Each case runs the appender in a process of its own.
#   cmake -DAPPENDER=<LanternInfoBlock.cmake> -DWORK=<folder> -P info_block_test.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

string(REPEAT "x" 4106 largest)
string(REPEAT "x" 4107 too_large)
# Bytes A4 D5 24 44 3F: "4d524443" in their hex digits, but not at a byte.
string(ASCII 164 213 36 68 63 shifted)
set(cases
  "small|<info/>|OK"
  "largest|${largest}|OK"
  "shifted|${shifted}|OK"
  "empty||takes 1 to 4106"
  "too-large|${too_large}|takes 1 to 4106"
  "marker|<a>MRDC</a>|holds the marker"
)
set(failures 0)
foreach(case IN LISTS cases)
  string(REGEX MATCH "^([^|]*)[|](.*)[|]([^|]*)$" ignored "${case}")
  set(name "${CMAKE_MATCH_1}")
  set(information "${CMAKE_MATCH_2}")
  set(expected "${CMAKE_MATCH_3}")
  set(exe "${WORK}/${name}.exe")
  file(WRITE "${exe}" "MZ program bytes")
  file(WRITE "${WORK}/${name}.xml" "${information}")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DEXECUTABLE=${exe}" "-DINFO=${WORK}/${name}.xml" "-DCONTEXT=test"
                          -P "${APPENDER}"
                  RESULT_VARIABLE failed ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")  # CMake wraps long messages
  file(READ "${exe}" hex HEX)
  file(READ "${WORK}/${name}.xml" info_hex HEX)
  if(expected STREQUAL "OK")
    # "MZ program bytes", "MRDC", the information, six zero bytes.
    set(want "4d5a2070726f6772616d206279746573" "4d524443" "${info_hex}" "000000000000")
    string(JOIN "" want ${want})
    if(failed OR NOT hex STREQUAL want)
      message(SEND_ERROR "${name}: expected the block appended, got (${failed}) ${err}")
      math(EXPR failures "${failures} + 1")
    endif()
  elseif(NOT failed OR NOT err MATCHES "${expected}" OR NOT hex STREQUAL "4d5a2070726f6772616d206279746573")
    message(SEND_ERROR "${name}: expected '${expected}' and the program unchanged, got (${failed}) ${err}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures} case(s) failed")
endif()
