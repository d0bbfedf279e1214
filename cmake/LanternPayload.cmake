# Build-time step of lantern_add_bootstrapper(): writes the payload catalogue
# (resource 101, "id*name*size" triples with the files' exact sizes) and the
# resource lines that carry the payload files.
#
#   cmake -DMODE=payload|raw -DENTRIES=<file> [-DFRONT_END=<name>]
#         [-DRAW_CATALOGUE=<file>] -DCATALOGUE_OUT=<file> -DRC_OUT=<file>
#         -DCONTEXT=<target> -P LanternPayload.cmake
#
# ENTRIES holds one line per file: "<path>|<name>" (payload mode; an empty name
# means the file's own name) or "<id>|<path>" (raw mode).
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/LanternPayloadRules.cmake")

set(TOOLKIT_FIRST_ID 102)
set(CATALOGUE_ID 101)

function(rc_path out path)
  file(TO_CMAKE_PATH "${path}" path)
  if(path MATCHES "\"")
    message(FATAL_ERROR "${CONTEXT}: payload path '${path}' holds a double quote")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

file(STRINGS "${ENTRIES}" lines ENCODING UTF-8)
set(rc "#pragma code_page(65001)\n")

if(MODE STREQUAL "raw")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^|]+)[|](.+)$")
      message(FATAL_ERROR "${CONTEXT}: bad raw resource entry '${line}'")
    endif()
    rc_path(path "${CMAKE_MATCH_2}")
    string(APPEND rc "${CMAKE_MATCH_1} TOOLKIT \"${path}\"\n")
  endforeach()
  if(RAW_CATALOGUE)
    rc_path(path "${RAW_CATALOGUE}")
    string(APPEND rc "${CATALOGUE_ID} TOOLKIT \"${path}\"\n")
  endif()
else()
  set(paths "")
  set(names "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^|]+)[|](.*)$")
      message(FATAL_ERROR "${CONTEXT}: bad payload entry '${line}'")
    endif()
    set(path "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(name STREQUAL "")
      get_filename_component(name "${path}" NAME)
    endif()
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      message(FATAL_ERROR "${CONTEXT}: payload file '${path}' does not exist")
    endif()
    list(APPEND paths "${path}")
    list(APPEND names "${name}")
  endforeach()
  _lantern_check_payload("${CONTEXT}" "${FRONT_END}" ${names})

  # The front end gets the lowest id, so that it is the program the
  # bootstrapper chooses; the rest keep the order they were given in.
  set(order "")
  list(LENGTH names count)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      list(GET names ${i} name)
      if(name STREQUAL FRONT_END)
        list(PREPEND order ${i})
      else()
        list(APPEND order ${i})
      endif()
    endforeach()
  endif()

  set(catalogue "")
  set(id ${TOOLKIT_FIRST_ID})
  foreach(i IN LISTS order)
    list(GET paths ${i} path)
    list(GET names ${i} name)
    file(SIZE "${path}" size)
    if(NOT catalogue STREQUAL "")
      string(APPEND catalogue "*")
    endif()
    string(APPEND catalogue "${id}*${name}*${size}")
    rc_path(path "${path}")
    string(APPEND rc "${id} TOOLKIT \"${path}\"\n")
    math(EXPR id "${id} + 1")
  endforeach()
  file(WRITE "${CATALOGUE_OUT}" "${catalogue}")
  rc_path(path "${CATALOGUE_OUT}")
  string(APPEND rc "${CATALOGUE_ID} TOOLKIT \"${path}\"\n")
endif()

# Always rewritten, so that the resource script is compiled again whenever a
# payload file has changed.
file(WRITE "${RC_OUT}" "${rc}")
