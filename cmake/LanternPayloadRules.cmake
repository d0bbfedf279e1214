# Rules for payload file names, shared by the configure-time checks of
# lantern_add_bootstrapper() and the build-time catalogue writer.
include_guard(GLOBAL)

# _lantern_is_program(<out-var> <name>): a name the bootstrapper would start as
# its program: ".exe" (in any case) somewhere after the first character.
function(_lantern_is_program out name)
  string(TOLOWER "${name}" lower)
  string(FIND "${lower}" ".exe" pos)
  if(pos GREATER 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# _lantern_check_names(<context> <name>...): every name can be written into the
# catalogue and extracted inside the working folder, and no two names collide.
function(_lantern_check_names context)
  set(names ${ARGN})
  set(seen "")
  foreach(name IN LISTS names)
    if(name STREQUAL "")
      message(FATAL_ERROR "${context}: a payload file has an empty name")
    endif()
    if(name MATCHES "[*]")
      message(FATAL_ERROR "${context}: payload name '${name}' holds '*', which separates the catalogue's fields")
    endif()
    if(NOT name MATCHES "^[ -~]+$")
      message(FATAL_ERROR "${context}: payload name '${name}' must be printable ASCII, so that it reads the same in every code page")
    endif()
    if(name MATCHES "[<>:\"|?/]")
      message(FATAL_ERROR "${context}: payload name '${name}' holds a character that Windows does not allow in file names")
    endif()
    if(name MATCHES "^\\\\" OR name MATCHES "\\\\$" OR name MATCHES "\\\\\\\\"
       OR name MATCHES "(^|\\\\)[.][.]?(\\\\|$)")
      message(FATAL_ERROR "${context}: payload name '${name}' must be a relative path inside the working folder")
    endif()
    # Windows drops dots and spaces at the end of a file or folder name, so
    # "a.txt." would be written as "a.txt", over another file or beside the
    # name the catalogue gives.
    if(name MATCHES "[. ](\\\\|$)")
      message(FATAL_ERROR "${context}: payload name '${name}' has a part that ends in a dot or a space, "
                          "which Windows drops from file names")
    endif()
    # A device name opens the device, not a file, whatever its extension and
    # in any folder: "NUL.txt" and "data\\con" are no files.
    string(REPLACE "\\" ";" parts "${name}")
    foreach(part IN LISTS parts)
      string(TOUPPER "${part}" upper)
      if(upper MATCHES "^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9]|CONIN[$]|CONOUT[$]) *([.]|$)")
        message(FATAL_ERROR "${context}: payload name '${name}' uses the device name '${CMAKE_MATCH_1}', "
                            "which Windows opens as a device, not a file")
      endif()
    endforeach()
    string(TOLOWER "${name}" key)
    if(key IN_LIST seen)
      message(FATAL_ERROR "${context}: two payload files are both named '${name}'")
    endif()
    list(APPEND seen "${key}")
  endforeach()
  # A file and a folder cannot share a name: "data" and "data\\x.bin".
  foreach(name IN LISTS names)
    string(TOLOWER "${name}" folder)
    while(folder MATCHES "^(.*)\\\\[^\\\\]*$")
      set(folder "${CMAKE_MATCH_1}")
      if(folder IN_LIST seen)
        message(FATAL_ERROR "${context}: payload name '${name}' needs a folder of the same name as another payload file")
      endif()
    endwhile()
  endforeach()
endfunction()

# _lantern_check_payload(<context> <front-end or ""> <name>...)
# Stops with a clear message when the payload cannot be written into a catalogue
# or the bootstrapper would not start the intended front end.
function(_lantern_check_payload context front_end)
  set(names ${ARGN})
  _lantern_check_names("${context}" ${names})

  if(NOT front_end STREQUAL "")
    if(NOT front_end IN_LIST names)
      message(FATAL_ERROR "${context}: the front end '${front_end}' is not in the payload (payload: ${names})")
    endif()
    _lantern_is_program(is_program "${front_end}")
    if(NOT is_program)
      message(FATAL_ERROR "${context}: the front end '${front_end}' would not be started: its name must hold '.exe' after its first character")
    endif()
  else()
    set(programs "")
    foreach(name IN LISTS names)
      _lantern_is_program(is_program "${name}")
      if(is_program)
        list(APPEND programs "${name}")
      endif()
    endforeach()
    if(programs)
      list(GET programs 0 first)
      message(FATAL_ERROR "${context}: no FRONT_END is named, so the bootstrapper would start '${first}' "
                          "(payload names that look like programs: ${programs}); name the front end with FRONT_END")
    endif()
  endif()
endfunction()
