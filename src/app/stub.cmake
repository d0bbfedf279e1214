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

# Both stubs are built from one more build of the bootstrapper's libraries
# (core, logic, platform), made for them alone: without C++ exceptions and
# run-time type information, and so without their tables and the unwinder.
# The libraries themselves keep both, for the tests and the packing tool. The
# places where the code goes on after running out of memory mark their
# handlers with core/when_memory_fails.h; in the stubs a failed allocation ends
# the process instead (app/lean_runtime_win32.cpp).
add_library(lantern_stub_options INTERFACE)
target_link_libraries(lantern_stub_options INTERFACE lantern_options lantern_compact)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_compile_options(lantern_stub_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  # A 32-bit program then needs no unwind tables at all. An x86-64 one keeps
  # them: there the system itself walks the stack with them.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(lantern_stub_options INTERFACE -fno-asynchronous-unwind-tables -fno-unwind-tables)
  endif()
endif()
add_library(lantern_stub_code OBJECT ${lantern_core_sources} ${lantern_logic_sources} ${lantern_platform_sources})
target_include_directories(lantern_stub_code PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_compile_definitions(lantern_stub_code PUBLIC "LANTERN_VERSION_TEXT=\"${PROJECT_VERSION}\"")
target_link_libraries(lantern_stub_code PUBLIC lantern_stub_options ${lantern_win32_imports})

# _lantern_add_stub(<target> <output name> <decoder source> <says it decodes> [<decoder libraries>...])
function(_lantern_add_stub target output_name decoder_source says_it_decodes)
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
    "${app}/lean_threads_win32.cpp" "${decoder_source}"
    "${dir}/stub.rc")
  set_source_files_properties("${dir}/stub.rc" PROPERTIES
    INCLUDE_DIRECTORIES "${_LANTERN_RES_DIR}"
    OBJECT_DEPENDS "${dir}/strings.rcinc;${_LANTERN_RES_DIR}/lantern.rc;${_LANTERN_RES_DIR}/lantern.manifest;${_LANTERN_RES_DIR}/lantern.ico;${_LANTERN_RES_DIR}/banner.bmp;${_LANTERN_RES_DIR}/splash.bmp")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name})
  target_link_libraries(${target} PRIVATE lantern_stub_code lantern_stub_options ${ARGN})
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)  # the entry point is wWinMain
    # Only what the program reaches from its entry (and the load configuration,
    # which the header names rather than the code) is kept.
    target_link_options(${target} PRIVATE "LINKER:--gc-sections")
  endif()
  _lantern_harden_executable(${target})
endfunction()

_lantern_add_stub(lantern_stub lantern-stub "${CMAKE_CURRENT_SOURCE_DIR}/payload/decoder_none.cpp" FALSE)
_lantern_add_stub(lantern_stub_zstd lantern-stub-zstd "${CMAKE_CURRENT_SOURCE_DIR}/payload/decoder_zstd.cpp" TRUE
  lantern::zstd_decoder)
