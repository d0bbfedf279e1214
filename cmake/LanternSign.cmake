# Signs a built executable in place; the POST_BUILD step that
# lantern_add_bootstrapper() adds for SIGN_CERTIFICATE.
#   cmake -DSETTINGS=<file written at configure time> -DFILE=<exe> -P LanternSign.cmake
# The settings file sets TOOL, TOOL_KIND (osslsigncode or signtool),
# CERTIFICATE, KEY, PROGRAM_NAME_FILE (empty: no program name; otherwise a
# UTF-8 file holding it), PROGRAM_NAME (for signtool), INFO_URL, PYTHON and
# OPUS_SCRIPT. When signing fails the executable is removed, so that the next
# build makes it again instead of taking an unsigned file for a finished one.
cmake_minimum_required(VERSION 3.25)
include("${SETTINGS}")

function(_check what failed out err)
  if(failed)
    file(REMOVE "${FILE}" "${FILE}.signing" "${FILE}.signing2")
    message(FATAL_ERROR "signing ${FILE}: ${what} failed (${failed}):\n${out}\n${err}")
  endif()
endfunction()

string(TOLOWER "${CERTIFICATE}" lower)
set(pkcs12 FALSE)
if(lower MATCHES "\\.(pfx|p12)$")
  set(pkcs12 TRUE)
endif()
# No argument below is ever empty: an empty list element would be dropped.
set(more_info "")
if(NOT INFO_URL STREQUAL "")
  set(more_info "${INFO_URL}")
endif()

if(TOOL_KIND STREQUAL "signtool")
  set(args sign /fd sha256 /f "${CERTIFICATE}")
  if(NOT PROGRAM_NAME STREQUAL "")
    list(APPEND args /d "${PROGRAM_NAME}")
  endif()
  if(more_info)
    list(APPEND args /du "${more_info}")
  endif()
  execute_process(COMMAND "${TOOL}" ${args} "${FILE}" RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  _check(signtool "${failed}" "${out}" "${err}")
  return()
endif()

file(REMOVE "${FILE}.signing" "${FILE}.signing2")
if(pkcs12)
  set(args sign -pkcs12 "${CERTIFICATE}")
else()
  set(args sign -certs "${CERTIFICATE}" -key "${KEY}")
endif()
list(APPEND args -h sha256)
if(more_info)
  list(APPEND args -i "${more_info}")
endif()
execute_process(COMMAND "${TOOL}" ${args} -in "${FILE}" -out "${FILE}.signing"
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
_check(osslsigncode "${failed}" "${out}" "${err}")

set(signed "${FILE}.signing")
if(NOT PROGRAM_NAME_FILE STREQUAL "")
  # osslsigncode would write the name in ASCII; it goes in as Unicode instead.
  set(key "${KEY}")
  if(pkcs12)
    set(key "${CERTIFICATE}")
  endif()
  execute_process(COMMAND "${PYTHON}" "${OPUS_SCRIPT}" "${signed}" "${key}" "${PROGRAM_NAME_FILE}"
                          "${FILE}.signing2"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  _check("writing the program name" "${failed}" "${out}" "${err}")
  file(REMOVE "${signed}")
  set(signed "${FILE}.signing2")
endif()
file(RENAME "${signed}" "${FILE}")
