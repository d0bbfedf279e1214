# The stub: the bootstrapper with everything but a payload (its manifest,
# dialogs, icon, default pictures, a version record of this Lantern's
# version with no copyright line, and this build's string table), built
# once. The packing tool adds a payload and a product's own resources to a
# copy of it. A resource names it a stub of this version, so that the tool
# can refuse any other program, or a stub of another Lantern.
set(dir "${CMAKE_CURRENT_BINARY_DIR}/lantern_stub.lantern")
file(MAKE_DIRECTORY "${dir}")
_lantern_string_table(lantern_stub "${dir}/strings.rcinc")
string(REPLACE "." "," version_parts "${_LANTERN_DEFAULT_VERSION}")
# A string among a resource's raw data is its bytes alone, with no terminator.
set(marker "Lantern stub ${PROJECT_VERSION}")
_lantern_write_if_changed("${dir}/stub.rc"
"// Made by src/app/stub.cmake: the stub's resources.
#pragma code_page(65001)
LANGUAGE 9, 2
#define LANTERN_ICON_FILE \"${_LANTERN_RES_DIR}/lantern.ico\"
#define LANTERN_BANNER_FILE \"${_LANTERN_RES_DIR}/banner.bmp\"
#define LANTERN_SPLASH_FILE \"${_LANTERN_RES_DIR}/splash.bmp\"
#define LANTERN_VERSION_PARTS ${version_parts}
#undef LANTERN_VERSION_TEXT  // the library's own, from the compile definitions
#define LANTERN_VERSION_TEXT \"${_LANTERN_DEFAULT_VERSION}\"
#define LANTERN_COPYRIGHT_TEXT \"\"
#include \"${_LANTERN_RES_DIR}/lantern.rc\"
#include \"${dir}/strings.rcinc\"
LANGUAGE 9, 2
LANTERN_STUB RCDATA
BEGIN
  \"${marker}\"
END
")

add_executable(lantern_stub WIN32
  "${CMAKE_CURRENT_SOURCE_DIR}/app/main_win32.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/app/load_config_win32.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/app/lean_runtime_win32.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/app/lean_threads_win32.cpp"
  "${dir}/stub.rc")
set_source_files_properties("${dir}/stub.rc" PROPERTIES
  INCLUDE_DIRECTORIES "${_LANTERN_RES_DIR}"
  OBJECT_DEPENDS "${dir}/strings.rcinc;${_LANTERN_RES_DIR}/lantern.rc;${_LANTERN_RES_DIR}/lantern.manifest;${_LANTERN_RES_DIR}/lantern.ico;${_LANTERN_RES_DIR}/banner.bmp;${_LANTERN_RES_DIR}/splash.bmp")
set_target_properties(lantern_stub PROPERTIES OUTPUT_NAME lantern-stub)
target_link_libraries(lantern_stub PRIVATE lantern_win32 lantern_compact)
if(MINGW)
  target_link_options(lantern_stub PRIVATE -municode)  # the entry point is wWinMain
  # Only what the program reaches from its entry (and the load configuration,
  # which the header names rather than the code) is kept.
  target_link_options(lantern_stub PRIVATE "LINKER:--gc-sections")
endif()
_lantern_harden_executable(lantern_stub)
unset(dir)
