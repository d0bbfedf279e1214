# The user interface's fixtures: a bootstrapper built with a product team's
# own About-box values and pictures, and a bootstrapper whose answers from
# the machine are scripted (uihost/uihost.cpp), so that every dialog can be
# driven under Wine.

# The fixture's pictures are of both kinds a product may give besides 24-bit
# ones: Lantern's own banner, run-length encoded (RLE8), and its splash drawn
# again with a colour table and stored uncompressed.
set(ui_pictures "${CMAKE_CURRENT_BINARY_DIR}/ui_pictures")
file(MAKE_DIRECTORY "${ui_pictures}")
execute_process(
  COMMAND "${_LANTERN_PYTHON}" "${LANTERN_SOURCE_DIR}/res/art/make_pictures.py" --format 8 "${ui_pictures}"
  COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${LANTERN_SOURCE_DIR}/res/art/make_pictures.py" "${LANTERN_SOURCE_DIR}/res/art/make_icon.py")
set(ui_banner "${LANTERN_SOURCE_DIR}/res/banner.bmp")
set(ui_splash "${ui_pictures}/splash.bmp")

# Unsigned, so that an interactive run asks the signature question.
lantern_add_test_bootstrapper(e2e_ui
  UNSIGNED
  OUTPUT_NAME UiSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  VERSION 3.1.4.15
  # 46 characters, the most the About box takes, in 47 bytes of UTF-8.
  COPYRIGHT "© 2026 Vantrel \"Test\" Builds & Sons of Lantern"
  BANNER "${ui_banner}"
  SPLASH "${ui_splash}"
  ICON "${LANTERN_SOURCE_DIR}/res/lantern.ico")

# The scripted bootstrapper carries the same resources as any bootstrapper,
# but its own application object.
set(uihost_dir "${CMAKE_CURRENT_BINARY_DIR}/lantern_uihost.lantern")
file(MAKE_DIRECTORY "${uihost_dir}")
_lantern_string_table(lantern_uihost "${uihost_dir}/strings.rcinc")
_lantern_ui_resources(lantern_uihost "${uihost_dir}" uihost_depends
  VERSION 2.5.0.17 COPYRIGHT "Copyright (C) 2026 Vantrel")
_lantern_write_if_changed("${uihost_dir}/uihost.rc"
"#pragma code_page(65001)
LANGUAGE 9, 2
#include \"${uihost_dir}/ui.rcinc\"
#include \"${_LANTERN_RES_DIR}/lantern.rc\"
#include \"${uihost_dir}/strings.rcinc\"
")
add_executable(lantern_uihost WIN32
  "${CMAKE_CURRENT_SOURCE_DIR}/uihost/uihost.cpp" "${uihost_dir}/uihost.rc")
set_source_files_properties("${uihost_dir}/uihost.rc" PROPERTIES
  INCLUDE_DIRECTORIES "${_LANTERN_RES_DIR}"
  OBJECT_DEPENDS "${uihost_dir}/strings.rcinc;${_LANTERN_RES_DIR}/lantern.rc;${_LANTERN_RES_DIR}/lantern.manifest;${uihost_depends}")
set_target_properties(lantern_uihost PROPERTIES OUTPUT_NAME UiHost)
target_link_libraries(lantern_uihost PRIVATE lantern_win32 lantern_decoder_zstd)
if(MINGW)
  target_link_options(lantern_uihost PRIVATE -municode)
endif()

file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/ui_paths.h" CONTENT
"// Made by tests/e2e/ui.cmake: the user interface's fixtures.
#pragma once
#define LANTERN_UI_EXE \"$<TARGET_PROPERTY:e2e_ui,LANTERN_FILE>\"
#define LANTERN_UIHOST_EXE \"$<TARGET_FILE:lantern_uihost>\"
#define LANTERN_SCREENSHOT_DIR \"${CMAKE_CURRENT_BINARY_DIR}/screenshots\"
#define LANTERN_UI_BANNER_BMP \"${ui_banner}\"
#define LANTERN_UI_SPLASH_BMP \"${ui_splash}\"
")
add_dependencies(lantern_e2e_tests e2e_ui lantern_uihost)
# The tests read the version record of a bootstrapper.
target_link_libraries(lantern_e2e_tests PRIVATE version)

# Accepts .NET Framework 3.5 only (a negative minimum service pack refuses a
# version), which the test machine (4.8 only) does not have.
lantern_add_test_bootstrapper(e2e_ui_dotnet35
  OUTPUT_NAME UiDotNet35Setup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  STRINGS 138 "-1" 139 "-1" 140 "0" 141 "-1" 142 "-1" 143 "-1" 144 "-1")
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/ui_dotnet_paths.h" CONTENT
"#pragma once
#define LANTERN_UI_DOTNET35_EXE \"$<TARGET_PROPERTY:e2e_ui_dotnet35,LANTERN_FILE>\"
")
add_dependencies(lantern_e2e_tests e2e_ui_dotnet35)
