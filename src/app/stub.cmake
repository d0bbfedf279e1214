# The stubs: the bootstrapper with everything but a payload (its manifest,
# dialogs, icon, default pictures, a version record of this Lantern's
# version with no copyright line, and this build's string table), built
# once. The packing tool adds a payload and a product's own resources to a
# copy of one. A resource names it a stub of this version, so that the tool
# can refuse any other program, or a stub of another Lantern.
#
# Two are built from the same sources: lantern-stub.exe, which carries no
# payload decoder, for bootstrappers packed without compression, and
# lantern-stub-zstd.exe, which decodes compressed payload files and says so
# with a second resource (RCDATA "LANTERN_DECODER", holding "zstd"). The
# decoder is most of the difference in their sizes.

# _lantern_add_stub(<target> <output name> <decoder object library> <says it decodes>)
function(_lantern_add_stub target output_name decoder says_it_decodes)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.lantern")
  file(MAKE_DIRECTORY "${dir}")
  _lantern_string_table(${target} "${dir}/strings.rcinc")
  string(REPLACE "." "," version_parts "${_LANTERN_DEFAULT_VERSION}")
  # A string among a resource's raw data is its bytes alone, with no terminator.
  set(marker "Lantern stub ${PROJECT_VERSION}")
  set(decoder_marker "")
  if(says_it_decodes)
    set(decoder_marker "LANTERN_DECODER RCDATA
BEGIN
  \"zstd\"
END
")
  endif()
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
${decoder_marker}")

  set(app "${LANTERN_SOURCE_DIR}/src/app")
  add_executable(${target} WIN32
    "${app}/main_win32.cpp" "${app}/load_config_win32.cpp" "${app}/lean_runtime_win32.cpp"
    "${app}/lean_threads_win32.cpp"
    "${dir}/stub.rc")
  set_source_files_properties("${dir}/stub.rc" PROPERTIES
    INCLUDE_DIRECTORIES "${_LANTERN_RES_DIR}"
    OBJECT_DEPENDS "${dir}/strings.rcinc;${_LANTERN_RES_DIR}/lantern.rc;${_LANTERN_RES_DIR}/lantern.manifest;${_LANTERN_RES_DIR}/lantern.ico;${_LANTERN_RES_DIR}/banner.bmp;${_LANTERN_RES_DIR}/splash.bmp")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name})
  target_link_libraries(${target} PRIVATE lantern_win32 ${decoder} lantern_compact)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)  # the entry point is wWinMain
    # Only what the program reaches from its entry (and the load configuration,
    # which the header names rather than the code) is kept.
    target_link_options(${target} PRIVATE "LINKER:--gc-sections")
  endif()
  _lantern_harden_executable(${target})
endfunction()

_lantern_add_stub(lantern_stub lantern-stub lantern_decoder_none FALSE)
_lantern_add_stub(lantern_stub_zstd lantern-stub-zstd lantern_decoder_zstd TRUE)
