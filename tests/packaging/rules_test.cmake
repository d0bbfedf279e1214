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
  # Device names, with or without an extension, in any part and any case.
  "App.exe|App.exe,NUL|device name 'NUL'"
  "App.exe|App.exe,con.txt|device name 'CON'"
  "App.exe|App.exe,data\\Aux.tar.gz|device name 'AUX'"
  "App.exe|App.exe,prn\\x.bin|device name 'PRN'"
  "App.exe|App.exe,com1.log|device name 'COM1'"
  "App.exe|App.exe,LPT9|device name 'LPT9'"
  "App.exe|App.exe,conin$|device name 'CONIN[$]'"
  "App.exe|App.exe,CONOUT$.txt|device name 'CONOUT[$]'"
  "App.exe|App.exe,nul .txt|device name 'NUL'"
  "App.exe|App.exe,data\\NUL.txt|device name 'NUL'"
  "App.exe|App.exe,com1|device name 'COM1'"
  "App.exe|App.exe,lpt0|device name 'LPT0'"
  "App.exe|App.exe,console.txt,com10.txt,nul_x.txt,a.nul,data\\auxiliary\\x|OK"
  # Windows drops trailing dots and spaces: such names land on another name.
  "App.exe|App.exe,a.txt,a.txt.|ends in a dot or a space"
  "App.exe|a.txt ,App.exe|ends in a dot or a space"
  "App.exe|App.exe,data.\\x.bin|ends in a dot or a space"
  "App.exe|App.exe,data \\x.bin|ends in a dot or a space"
  "App.exe|App.exe,...|ends in a dot or a space"
  "App.exe|App.exe, leading space.txt,.hidden,a..b.txt|OK"
  # A file and a folder of the same name.
  "App.exe|App.exe,data,DATA\\x.bin|needs a folder of the same name"
  "App.exe|App.exe,data\\sub\\x.bin,data\\SUB|needs a folder of the same name"
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
