# The payload-name rules, case by case: each case runs in a process of its own,
# because a failing check stops the process.
#   cmake -DRULES=<LanternPayloadRules.cmake> -P rules_test.cmake
cmake_minimum_required(VERSION 3.25)
set(cases
  # front end | names, separated by commas | expected error, or OK
  "App.exe|App.exe,App.exe.config,data\\x.bin|OK"
  "|readme.txt,data\\table.csv|OK"
  "Setup.exe|App.exe|is not in the payload"
  "readme.txt|readme.txt|would not be started"
  ".exe|.exe|would not be started"
  "|tool.exe,notes.txt|no FRONT_END is named"
  "App.exe|App.exe,a*b.txt|holds '[*]'"
  "App.exe|App.exe,A.txt,a.TXT|both named"
  "App.exe|App.exe,café.txt|printable ASCII"
  "App.exe|App.exe,what?.txt|does not allow"
  "App.exe|App.exe,..\\up.txt|relative path"
  "App.exe|App.exe,\\rooted.txt|relative path"
  "App.exe|App.exe,data\\NUL.txt|names a Windows device"
  "App.exe|App.exe,com1|names a Windows device"
  "App.exe|App.exe,console.txt,com10,data.con|OK"
)
set(failures 0)
foreach(case IN LISTS cases)
  if(NOT case MATCHES "^([^|]*)[|]([^|]*)[|](.*)$")
    message(FATAL_ERROR "bad case '${case}'")
  endif()
  set(front_end "${CMAKE_MATCH_1}")
  set(names "${CMAKE_MATCH_2}")
  set(expected "${CMAKE_MATCH_3}")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DRULES=${RULES}" "-DFRONT_END=${front_end}" "-DNAMES=${names}"
                          -P "${CMAKE_CURRENT_LIST_DIR}/check_names.cmake"
                  RESULT_VARIABLE failed ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \t\r\n]+" " " err "${err}")
  if(expected STREQUAL "OK")
    if(failed)
      message(SEND_ERROR "front end '${front_end}', names '${names}': rejected: ${err}")
      math(EXPR failures "${failures} + 1")
    endif()
  elseif(NOT failed OR NOT err MATCHES "${expected}")
    message(SEND_ERROR "front end '${front_end}', names '${names}': expected '${expected}', got: ${err}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures} case(s) failed")
endif()
