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
#define LANTERN_MODE_X64_EXE \"$<TARGET_FILE:e2e_mode_x64>\"
#define LANTERN_MODE_X32ONLY_EXE \"$<TARGET_FILE:e2e_mode_x32only>\"
")
add_dependencies(lantern_e2e_tests e2e_mode_x64 e2e_mode_x32only)
