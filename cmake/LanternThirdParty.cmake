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
