# Libraries Lantern takes from the distribution rather than keeping copies.
#
# toml++ (header-only): reads the packing tool's project files and writes its
# JSON reports. Its headers are copied into the build folder, so that a
# cross build can use them without seeing the rest of the host's headers.
include_guard(GLOBAL)

find_path(LANTERN_TOMLPP_INCLUDE_DIR toml++/toml.h
  PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH
  DOC "The folder that holds toml++/toml.h")
if(NOT LANTERN_TOMLPP_INCLUDE_DIR)
  message(FATAL_ERROR "Lantern: the toml++ headers were not found (Debian: libtomlplusplus-dev; scripts/setup "
                      "installs it); set LANTERN_TOMLPP_INCLUDE_DIR to the folder that holds toml++/toml.h")
endif()
set(lantern_tomlpp_copy "${CMAKE_BINARY_DIR}/third_party/include")
file(COPY "${LANTERN_TOMLPP_INCLUDE_DIR}/toml++" DESTINATION "${lantern_tomlpp_copy}")
add_library(lantern_tomlplusplus INTERFACE)
target_include_directories(lantern_tomlplusplus SYSTEM INTERFACE "${lantern_tomlpp_copy}")
# Header-only, no exceptions: a parse gives back its error as a value.
target_compile_definitions(lantern_tomlplusplus INTERFACE TOML_HEADER_ONLY=1 TOML_EXCEPTIONS=0)
add_library(lantern::tomlplusplus ALIAS lantern_tomlplusplus)
unset(lantern_tomlpp_copy)

# zstd: the optional compression of payload files. The packing tool
# compresses (level 19, window at most 4 MB), the stub decodes.
#
# - Native builds (the host tool, the native tests) use the distribution's
#   library (Debian: libzstd-dev; scripts/setup installs it).
# - Windows builds compile zstd's C sources, which no distribution packages
#   for mingw: scripts/setup fetches them once into a cache folder, and
#   LANTERN_ZSTD_SOURCE names that folder (the one holding lib/zstd.h). The
#   stub gets the decoder alone, built small (no assembly, no error texts,
#   one Huffman and one sequence decoder, no legacy formats); the Windows
#   tool adds the encoder on top of it.
#
# lantern::zstd_decoder and lantern::zstd (encoder and decoder) are the targets.
if(WIN32)
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(lantern_zstd_default "$ENV{XDG_CACHE_HOME}/lantern/zstd-1.5.7")
  else()
    set(lantern_zstd_default "$ENV{HOME}/.cache/lantern/zstd-1.5.7")
  endif()
  set(LANTERN_ZSTD_SOURCE "${lantern_zstd_default}" CACHE PATH
    "zstd's sources: the folder that holds lib/zstd.h (scripts/setup fetches them)")
  unset(lantern_zstd_default)
  set(lib "${LANTERN_ZSTD_SOURCE}/lib")
  if(NOT EXISTS "${lib}/zstd.h" OR NOT EXISTS "${lib}/decompress/zstd_decompress.c")
    message(FATAL_ERROR "Lantern: zstd's sources were not found at '${LANTERN_ZSTD_SOURCE}' (the stub's decoder "
                        "and the Windows tool's compression are built from them); run scripts/setup, which "
                        "fetches them there, or set LANTERN_ZSTD_SOURCE to the folder that holds lib/zstd.h")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${lib}/zstd.h")

  add_library(lantern_zstd_decoder STATIC
    "${lib}/common/entropy_common.c" "${lib}/common/error_private.c" "${lib}/common/fse_decompress.c"
    "${lib}/common/xxhash.c" "${lib}/common/zstd_common.c"
    "${lib}/decompress/huf_decompress.c" "${lib}/decompress/zstd_ddict.c"
    "${lib}/decompress/zstd_decompress.c" "${lib}/decompress/zstd_decompress_block.c")
  target_include_directories(lantern_zstd_decoder SYSTEM PUBLIC "${lib}")
  target_compile_definitions(lantern_zstd_decoder PUBLIC
    ZSTD_DISABLE_ASM ZSTD_STRIP_ERROR_STRINGS ZSTD_LEGACY_SUPPORT=0 ZSTD_TRACE=0 DYNAMIC_BMI2=0)
  target_compile_definitions(lantern_zstd_decoder PRIVATE
    HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT)
  # Optimised for size like the rest of the stub: 20 KB smaller than at -O2
  # for decoding about 15 % slower (natively, 230 against 275 MB/s), which
  # extraction on several threads does not feel. C code that calls nothing of
  # ours, so no exception ever passes through it: it needs no unwind tables.
  target_compile_options(lantern_zstd_decoder PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Os>
    -fno-asynchronous-unwind-tables -fno-unwind-tables)

  file(GLOB lantern_zstd_compress CONFIGURE_DEPENDS "${lib}/compress/*.c")
  add_library(lantern_zstd_encoder STATIC ${lantern_zstd_compress}
    "${lib}/common/pool.c" "${lib}/common/threading.c" "${lib}/common/debug.c")
  target_link_libraries(lantern_zstd_encoder PUBLIC lantern_zstd_decoder)
  unset(lantern_zstd_compress)
  unset(lib)
else()
  find_path(LANTERN_ZSTD_INCLUDE_DIR zstd.h DOC "The folder that holds zstd.h")
  find_library(LANTERN_ZSTD_LIBRARY zstd DOC "The zstd library")
  if(NOT LANTERN_ZSTD_INCLUDE_DIR OR NOT LANTERN_ZSTD_LIBRARY)
    message(FATAL_ERROR "Lantern: the zstd library was not found (Debian: libzstd-dev; scripts/setup installs "
                        "it); set LANTERN_ZSTD_INCLUDE_DIR and LANTERN_ZSTD_LIBRARY")
  endif()
  add_library(lantern_zstd_decoder INTERFACE)
  target_include_directories(lantern_zstd_decoder SYSTEM INTERFACE "${LANTERN_ZSTD_INCLUDE_DIR}")
  target_link_libraries(lantern_zstd_decoder INTERFACE "${LANTERN_ZSTD_LIBRARY}")
  add_library(lantern_zstd_encoder INTERFACE)
  target_link_libraries(lantern_zstd_encoder INTERFACE lantern_zstd_decoder)
endif()
add_library(lantern::zstd_decoder ALIAS lantern_zstd_decoder)
add_library(lantern::zstd ALIAS lantern_zstd_encoder)
