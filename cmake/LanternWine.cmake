# Runs Windows test programs under Wine: one prefix, one persistent wineserver
# and one Xvfb display per build tree, started and stopped by CTest fixtures.
set(LANTERN_WINE_STATE "${CMAKE_BINARY_DIR}/wine" CACHE INTERNAL "")
set(LANTERN_WINE_HARNESS "${CMAKE_CURRENT_LIST_DIR}/wine/harness" CACHE INTERNAL "")

if(WIN32 AND CMAKE_CROSSCOMPILING AND NOT TARGET lantern_wine_fixture)
  add_custom_target(lantern_wine_fixture)
  add_test(NAME wine.start COMMAND "${LANTERN_WINE_HARNESS}" start "${LANTERN_WINE_STATE}")
  add_test(NAME wine.stop COMMAND "${LANTERN_WINE_HARNESS}" stop "${LANTERN_WINE_STATE}")
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 LABELS wine)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS wine)
endif()

# lantern_add_wine_test(NAME <name> COMMAND <target-or-program> [args...]
#                       [TIMEOUT <seconds>] [ENVIRONMENT <VAR=value>...])
# A Windows test program run under Wine with a time limit, so that a dialog
# waiting for input fails its test instead of hanging the run. Every test that
# needs Wine carries the label "wine", so that a machine that cannot run this
# build's programs can still run the rest (`ctest -LE wine`).
function(lantern_add_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  set_tests_properties(${arg_NAME} PROPERTIES
    FIXTURES_REQUIRED wine
    LABELS wine
    TIMEOUT ${arg_TIMEOUT}
    # One display: programs that take the keyboard focus must not meet.
    RESOURCE_LOCK wine_display
    ENVIRONMENT "LANTERN_WINE_STATE=${LANTERN_WINE_STATE};LANTERN_WINE_TIMEOUT=${arg_TIMEOUT};${arg_ENVIRONMENT}")
endfunction()
