# Build-time step of lantern_add_bootstrapper(INFO <file>): appends the
# information block to the built executable: "MRDC", the file's bytes, and six
# trailing bytes (zeros) that are not part of the information.
#
#   cmake -DEXECUTABLE=<exe> -DINFO=<file> -DCONTEXT=<target> -P LanternInfoBlock.cmake
#
# The bootstrapper finds the block only within the last 4,116 bytes of its file
# and takes the marker nearest the end, so the information must be 1 to 4,106
# bytes long and must not hold "MRDC" itself.
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${INFO}" OR IS_DIRECTORY "${INFO}")
  message(FATAL_ERROR "${CONTEXT}: INFO file '${INFO}' does not exist")
endif()
file(SIZE "${INFO}" size)
if(size LESS 1 OR size GREATER 4106)
  message(FATAL_ERROR "${CONTEXT}: INFO file '${INFO}' holds ${size} bytes; the information block takes 1 to 4106")
endif()
file(READ "${INFO}" hex HEX)
string(TOLOWER "${hex}" hex)
# At a whole-byte position: an even number of hex digits before it.
if(hex MATCHES "^(..)*4d524443")
  message(FATAL_ERROR "${CONTEXT}: INFO file '${INFO}' holds the marker \"MRDC\", which would cut the information short")
endif()

get_filename_component(dir "${EXECUTABLE}" DIRECTORY)
set(marker "${dir}/info_block_marker.bin")
set(joined "${EXECUTABLE}.info.tmp")
file(WRITE "${marker}" "MRDC")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E cat "${EXECUTABLE}" "${marker}" "${INFO}" "${CMAKE_CURRENT_LIST_DIR}/info_block_trailer.bin"
  OUTPUT_FILE "${joined}"
  RESULT_VARIABLE status)
file(REMOVE "${marker}")
if(NOT status EQUAL 0)
  file(REMOVE "${joined}")
  message(FATAL_ERROR "${CONTEXT}: could not append the information block (${status})")
endif()
file(RENAME "${joined}" "${EXECUTABLE}")
