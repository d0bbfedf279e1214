# Fixtures of the launch tests: the basic payload built for other processor modes.
foreach(mode IN ITEMS X64 x32Only)
  string(TOLOWER "${mode}" lower)
  lantern_add_test_bootstrapper(e2e_mode_${lower}
    OUTPUT_NAME "Mode${mode}Setup"
    PAYLOAD $<TARGET_FILE:lantern_standin>
    FRONT_END standin.exe
    STRINGS 0 "${mode}")
endforeach()
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/launch_paths.h" CONTENT
"// Made by tests/e2e/launch.cmake: the launch tests' bootstrappers.
#pragma once
#define LANTERN_MODE_X64_EXE \"$<TARGET_PROPERTY:e2e_mode_x64,LANTERN_FILE>\"
#define LANTERN_MODE_X32ONLY_EXE \"$<TARGET_PROPERTY:e2e_mode_x32only,LANTERN_FILE>\"
")
add_dependencies(lantern_e2e_tests e2e_mode_x64 e2e_mode_x32only)

# A signature whose program name would break a command line that is not
# quoted: the front end must still get it as one argument.
lantern_add_test_bootstrapper(e2e_quote_name
  OUTPUT_NAME QuoteNameSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  SIGN_PROGRAM_NAME [=[Quote" PROP=injected /extract "C:\pwn\]=])
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/arguments_paths.h" CONTENT
"// Made by tests/e2e/launch.cmake: the bootstrapper whose signature names the installer with quotes.
#pragma once
#define LANTERN_QUOTE_NAME_EXE \"$<TARGET_PROPERTY:e2e_quote_name,LANTERN_FILE>\"
")
add_dependencies(lantern_e2e_tests e2e_quote_name)
