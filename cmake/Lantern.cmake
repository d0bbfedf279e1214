# lantern_add_bootstrapper(): turns a payload into a Lantern bootstrapper.
#
#   lantern_add_bootstrapper(<target>
#     [OUTPUT_NAME <name>]
#     [PAYLOAD <file>...]          # each file becomes a "TOOLKIT" resource, ids from 102 up
#     [PAYLOAD_DIR <dir>]          # every file below <dir>, named by its relative path
#     [FRONT_END <name>]           # the front-end program among the payload; it gets id 102
#     [RESOURCES <id> <file>...]   # raw mode: exactly these "TOOLKIT" resources, no catalogue
#     [CATALOGUE <file>]           # raw mode: these bytes become resource 101 as they are
#     [STRINGS <id> <text>...]     # override entries of this build's string table
#     [OMIT_STRINGS <id>...]       # leave entries out of the table
#     [INFO <file>]                # the information block (1 to 4106 bytes, never "MRDC"),
#                                  # copied to "info.xml" in the working folder: appended to
#                                  # unsigned builds, stamped into signed ones after signing
#     [SEAL_INFO]                  # signed builds: the block is packed in before signing, so
#                                  # the signature covers it, and later stamps are ignored
#     [COMPRESS]                   # each payload file compressed (zstd) where that makes it
#                                  # smaller; the bootstrapper decodes it as it writes it.
#                                  # Packed from lantern-stub-zstd.exe, the stub with the
#                                  # decoder; without COMPRESS, from lantern-stub.exe
#     [SIGN_CERTIFICATE <file> [SIGN_KEY <file|pkcs11:uri>] [SIGN_PKCS11_MODULE <module>]
#      | SIGN_COMMAND <program> <arg>...]  # sign the executable (see "Signing" below)
#     [SIGN_PROGRAM_NAME <text>] [SIGN_INFO_URL <url>] [SIGN_TIMESTAMP_URL <url>]
#     [BANNER <bmp>] [SPLASH <bmp>] [ICON <ico>]   # the product team's own pictures
#     [VERSION <a.b.c.d>] [COPYRIGHT <text>])       # what the About box shows
#
# Payload files may be generator expressions (such as $<TARGET_FILE:tool>);
# their names are then checked when the catalogue is written at build time.
include_guard(GLOBAL)
# Cache entries, so that the functions find these folders from any directory
# of a project that takes Lantern in as a subdirectory.
set(res_dir "${CMAKE_CURRENT_LIST_DIR}/../res")
cmake_path(NORMAL_PATH res_dir)
set(_LANTERN_CMAKE_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE INTERNAL "")
set(_LANTERN_RES_DIR "${res_dir}" CACHE INTERNAL "")
# The version a bootstrapper carries when its build names none: Lantern's own.
set(_LANTERN_DEFAULT_VERSION "${PROJECT_VERSION}.0" CACHE INTERNAL "")
unset(res_dir)

# Text as the body of a resource-script string literal.
function(_lantern_rc_escape out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes <file> only when its content changes, so that nothing is rebuilt needlessly.
function(_lantern_write_if_changed file content)
  file(WRITE "${file}.tmp" "${content}")
  configure_file("${file}.tmp" "${file}" COPYONLY)
  file(REMOVE "${file}.tmp")
endfunction()

# _lantern_string_table(<context> <out-rc-file> [STRINGS <id> <text>...] [OMIT_STRINGS <id>...])
function(_lantern_string_table context out_file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "STRINGS;OMIT_STRINGS")
  string(ASCII 1 backslash_mark)
  set(ids "")
  file(STRINGS "${_LANTERN_RES_DIR}/strings.txt" lines ENCODING UTF-8)
  foreach(line IN LISTS lines)
    if(line MATCHES "^([0-9]+)\t(.*)$")
      set(id ${CMAKE_MATCH_1})
      set(text "${CMAKE_MATCH_2}")
      string(REPLACE "\\\\" "${backslash_mark}" text "${text}")
      string(REPLACE "\\n" "\n" text "${text}")
      string(REPLACE "\\t" "\t" text "${text}")
      string(REPLACE "\\\"" "\"" text "${text}")
      string(REPLACE "${backslash_mark}" "\\" text "${text}")
      set(text_${id} "${text}")
      list(APPEND ids ${id})
    endif()
  endforeach()

  list(LENGTH arg_STRINGS count)
  math(EXPR odd "${count} % 2")
  if(odd)
    message(FATAL_ERROR "${context}: STRINGS takes pairs of <id> <text>")
  endif()
  while(arg_STRINGS)
    list(POP_FRONT arg_STRINGS id text)
    if(NOT id MATCHES "^[0-9]+$" OR id GREATER 65535)
      message(FATAL_ERROR "${context}: STRINGS id '${id}' is not a number from 0 to 65535")
    endif()
    math(EXPR id "${id}")
    set(text_${id} "${text}")
    list(APPEND ids ${id})
  endwhile()
  foreach(id IN LISTS arg_OMIT_STRINGS)
    if(NOT id MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${context}: OMIT_STRINGS id '${id}' is not a number")
    endif()
    math(EXPR id "${id}")
    list(REMOVE_ITEM ids ${id})
  endforeach()
  list(REMOVE_DUPLICATES ids)
  list(SORT ids COMPARE NATURAL)

  set(rc "#pragma code_page(65001)\nLANGUAGE 9, 2\nSTRINGTABLE\nBEGIN\n")
  foreach(id IN LISTS ids)
    _lantern_rc_escape(body "${text_${id}}")
    string(APPEND rc "  ${id}, \"${body}\"\n")
  endforeach()
  string(APPEND rc "END\n")
  _lantern_write_if_changed("${out_file}" "${rc}")
endfunction()

# lantern_add_string_table(<target> [STRINGS ...] [OMIT_STRINGS ...]): gives a
# Windows program the bootstrapper's string table (used by tests).
function(lantern_add_string_table target)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.lantern")
  _lantern_string_table(${target} "${dir}/strings.rcinc" ${ARGN})
  file(WRITE "${dir}/strings.rc.tmp"
    "#pragma code_page(65001)\n#include \"${dir}/strings.rcinc\"\n")
  configure_file("${dir}/strings.rc.tmp" "${dir}/strings.rc" COPYONLY)
  target_sources(${target} PRIVATE "${dir}/strings.rc")
  set_source_files_properties("${dir}/strings.rc" PROPERTIES OBJECT_DEPENDS "${dir}/strings.rcinc")
endfunction()

# ---------------------------------------------------------------------------
# Signing
#
#   SIGN_CERTIFICATE <file>   the code-signing certificate: a PEM or DER file
#                             (it may hold the chain after the certificate),
#                             or a .pfx/.p12 file that holds the key as well
#   SIGN_KEY <file|uri>       its private key: a PEM or DER file, or with
#                             SIGN_PKCS11_MODULE the key's pkcs11: URI
#   SIGN_PKCS11_MODULE <file> the PKCS#11 module of the token that holds the key
#   SIGN_COMMAND <arg>...     instead of the above, a command that signs, with
#                             {in}, {out}, {name} and {url} filled in
#   SIGN_PROGRAM_NAME <text>  the program name of the signature, which the
#                             bootstrapper gives its front end as the
#                             installer's name (VT_I); may be empty
#   SIGN_INFO_URL <url>       the signature's more-info link
#   SIGN_TIMESTAMP_URL <url>  an RFC 3161 timestamp server
#
# The executable is signed (SHA-256) by `lantern sign` as the last step of its
# build, before an information block is stamped into it. Pass phrases and PINs
# come from LANTERN_SIGN_PASSWORD and LANTERN_SIGN_PIN in the build's
# environment. Where the tool cannot sign with keys itself (the Windows tool),
# a .pfx certificate is signed through signtool.
set(_LANTERN_SIGN_KEYWORDS
  "SIGN_CERTIFICATE;SIGN_KEY;SIGN_PKCS11_MODULE;SIGN_PROGRAM_NAME;SIGN_INFO_URL;SIGN_TIMESTAMP_URL"
  CACHE INTERNAL "")

# _lantern_sign_arguments(<out-args> <out-inputs> <context> <dir> <has-program-name> <ARGS...>)
# The arguments of `lantern sign` after the file, or none for an unsigned
# build; <out-inputs> names the files that sign it again when they change.
function(_lantern_sign_arguments out_args out_inputs context dir has_program_name)
  cmake_parse_arguments(PARSE_ARGV 5 arg "" "${_LANTERN_SIGN_KEYWORDS}" "SIGN_COMMAND")
  set(${out_args} "" PARENT_SCOPE)
  set(${out_inputs} "" PARENT_SCOPE)
  set(args --quiet)
  set(inputs "")
  if(DEFINED arg_SIGN_COMMAND)
    if(DEFINED arg_SIGN_CERTIFICATE OR DEFINED arg_SIGN_KEY OR DEFINED arg_SIGN_PKCS11_MODULE)
      message(FATAL_ERROR "${context}: SIGN_COMMAND signs by itself; leave SIGN_CERTIFICATE, SIGN_KEY and SIGN_PKCS11_MODULE out")
    endif()
  elseif(NOT DEFINED arg_SIGN_CERTIFICATE)
    if(DEFINED arg_SIGN_KEY OR DEFINED arg_SIGN_PKCS11_MODULE OR has_program_name OR DEFINED arg_SIGN_INFO_URL
       OR DEFINED arg_SIGN_TIMESTAMP_URL)
      message(FATAL_ERROR "${context}: the SIGN_ options need SIGN_CERTIFICATE or SIGN_COMMAND")
    endif()
    return()
  else()
    set(certificate "${arg_SIGN_CERTIFICATE}")
    cmake_path(ABSOLUTE_PATH certificate BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT EXISTS "${certificate}")
      message(FATAL_ERROR "${context}: SIGN_CERTIFICATE '${certificate}' does not exist")
    endif()
    list(APPEND inputs "${certificate}")
    string(TOLOWER "${certificate}" lower)
    if(lower MATCHES "\\.(pfx|p12)$")
      if(DEFINED arg_SIGN_KEY OR DEFINED arg_SIGN_PKCS11_MODULE)
        message(FATAL_ERROR "${context}: a .pfx/.p12 certificate holds its key; leave SIGN_KEY out")
      endif()
      if(CMAKE_HOST_WIN32)
        find_program(LANTERN_SIGNTOOL signtool DOC "The system's signing tool")
        if(NOT LANTERN_SIGNTOOL)
          message(FATAL_ERROR "${context}: no signtool found to sign with '${certificate}'; set LANTERN_SIGNTOOL")
        endif()
        set(arg_SIGN_COMMAND "${LANTERN_SIGNTOOL}" sign /fd sha256 /f "${certificate}")
        if(has_program_name)
          list(APPEND arg_SIGN_COMMAND /d "{name}")
        endif()
        if(DEFINED arg_SIGN_INFO_URL)
          list(APPEND arg_SIGN_COMMAND /du "{url}")
        endif()
        if(DEFINED arg_SIGN_TIMESTAMP_URL)
          list(APPEND arg_SIGN_COMMAND /tr "${arg_SIGN_TIMESTAMP_URL}" /td sha256)
          unset(arg_SIGN_TIMESTAMP_URL)
        endif()
        list(APPEND arg_SIGN_COMMAND "{in}")
      else()
        list(APPEND args --pkcs12 "${certificate}")
      endif()
    else()
      if(NOT DEFINED arg_SIGN_KEY)
        message(FATAL_ERROR "${context}: SIGN_CERTIFICATE needs SIGN_KEY (or give a .pfx/.p12 file)")
      endif()
      list(APPEND args --certificate "${certificate}")
      if(DEFINED arg_SIGN_PKCS11_MODULE)
        if(NOT arg_SIGN_KEY MATCHES "^pkcs11:")
          message(FATAL_ERROR "${context}: with SIGN_PKCS11_MODULE, SIGN_KEY is the key's pkcs11: URI")
        endif()
        list(APPEND args --pkcs11-module "${arg_SIGN_PKCS11_MODULE}" --key "${arg_SIGN_KEY}")
      else()
        set(key "${arg_SIGN_KEY}")
        cmake_path(ABSOLUTE_PATH key BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
        if(NOT EXISTS "${key}")
          message(FATAL_ERROR "${context}: SIGN_KEY '${key}' does not exist")
        endif()
        list(APPEND args --key "${key}")
        list(APPEND inputs "${key}")
      endif()
    endif()
  endif()
  if(has_program_name)
    # In a file, so that any text, an empty one too, reaches the tool whole.
    _lantern_write_if_changed("${dir}/program-name.txt" "${arg_SIGN_PROGRAM_NAME}")
    list(APPEND args --program-name-file "${dir}/program-name.txt")
    list(APPEND inputs "${dir}/program-name.txt")
  endif()
  if(DEFINED arg_SIGN_INFO_URL)
    list(APPEND args --info-url "${arg_SIGN_INFO_URL}")
  endif()
  if(DEFINED arg_SIGN_TIMESTAMP_URL)
    list(APPEND args --timestamp-url "${arg_SIGN_TIMESTAMP_URL}")
  endif()
  if(DEFINED arg_SIGN_COMMAND)
    list(APPEND args --command ${arg_SIGN_COMMAND})
  endif()
  # Settings that change sign it again.
  string(REPLACE ";" "\n" settings "${args}")
  _lantern_write_if_changed("${dir}/signing.txt" "${settings}\n")
  list(APPEND inputs "${dir}/signing.txt")
  set(${out_args} "${args}" PARENT_SCOPE)
  set(${out_inputs} "${inputs}" PARENT_SCOPE)
endfunction()

# ---------------------------------------------------------------------------
# The About-box values of a Windows test program that carries the
# bootstrapper's resources compiled from res/lantern.rc (bootstrappers
# themselves get theirs from `lantern pack`, which checks them).
#
# _lantern_ui_resources(<context> <dir> <out-depends-var> [VERSION <a.b.c.d>] [COPYRIGHT <text>])
# Writes <dir>/ui.rcinc (the macros res/lantern.rc reads; the About box shows
# the version record's values) with Lantern's own pictures and icon, and names
# in <out-depends-var> the files the resources are made from. Without a
# version it takes Lantern's; without a copyright line, none.
function(_lantern_ui_resources context dir out_depends)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "VERSION;COPYRIGHT" "")
  set(banner "${_LANTERN_RES_DIR}/banner.bmp")
  set(splash "${_LANTERN_RES_DIR}/splash.bmp")
  set(icon "${_LANTERN_RES_DIR}/lantern.ico")
  set(version "${_LANTERN_DEFAULT_VERSION}")
  if(arg_VERSION)
    set(version "${arg_VERSION}")
  endif()
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "${context}: VERSION '${version}' must have four parts, such as 1.2.0.15")
  endif()
  set(parts "")
  foreach(i 1 2 3 4)
    math(EXPR part "${CMAKE_MATCH_${i}}")
    list(APPEND parts ${part})
  endforeach()
  list(JOIN parts "," version_parts)
  list(JOIN parts "." version_text)
  string(REPLACE "\"" "\"\"" rc_copyright "${arg_COPYRIGHT}")

  _lantern_write_if_changed("${dir}/ui.rcinc"
"// Made by ${context}: this program's pictures and version.
#define LANTERN_ICON_FILE \"${icon}\"
#define LANTERN_BANNER_FILE \"${banner}\"
#define LANTERN_SPLASH_FILE \"${splash}\"
#define LANTERN_VERSION_PARTS ${version_parts}
#undef LANTERN_VERSION_TEXT
#define LANTERN_VERSION_TEXT \"${version_text}\"
#define LANTERN_COPYRIGHT_TEXT \"${rc_copyright}\"
")
  set(${out_depends} "${dir}/ui.rcinc;${icon};${banner};${splash}" PARENT_SCOPE)
endfunction()

# lantern_add_ui_resources(<target> [VERSION ...] [COPYRIGHT ...]): gives a
# Windows test program the bootstrapper's dialogs, pictures, icon and About-box
# values (not its manifest: a test program need not run elevated).
function(lantern_add_ui_resources target)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.lantern")
  file(MAKE_DIRECTORY "${dir}")
  _lantern_ui_resources("lantern_add_ui_resources(${target})" "${dir}" depends ${ARGN})
  _lantern_write_if_changed("${dir}/ui.rc"
"#pragma code_page(65001)
#define LANTERN_NO_MANIFEST
#include \"${dir}/ui.rcinc\"
#include \"${_LANTERN_RES_DIR}/lantern.rc\"
")
  target_sources(${target} PRIVATE "${dir}/ui.rc")
  set_source_files_properties("${dir}/ui.rc" PROPERTIES
    INCLUDE_DIRECTORIES "${_LANTERN_RES_DIR}"
    OBJECT_DEPENDS "${_LANTERN_RES_DIR}/lantern.rc;${depends}")
endfunction()
# ---------------------------------------------------------------------------
# Binary hardening of a bootstrapper built with GNU ld (MSVC's linker does all
# of this by default):
# - ASLR and DEP (DYNAMICBASE, NXCOMPAT) are asked for explicitly. A 32-bit
#   image has no HIGH_ENTROPY_VA: that flag is for 64-bit images only.
# - No symbols and no debugging sections in the shipped file, except in Debug
#   builds; the link map next to the executable (<name>.map) names every
#   function's address for reading a crash report.
# - A load configuration with an empty table of exception handlers
#   (src/app/load_config_win32.cpp). ld from binutils 2.40 and older does not
#   point the PE header at it, so lantern_load_config.py does, right after the
#   link and before anything is appended or signed.
if(MINGW)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  set(_LANTERN_PYTHON "${Python3_EXECUTABLE}" CACHE INTERNAL "")
  if(NOT Python3_Interpreter_FOUND)
    message(WARNING "Lantern: Python 3 was not found; bootstrappers linked by an ld that does not fill "
                    "the load-configuration entry itself will have none")
  endif()
endif()

function(_lantern_harden_executable target)
  if(NOT MINGW)
    return()
  endif()
  set(map "$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map")
  target_link_options(${target} PRIVATE
    "LINKER:--dynamicbase" "LINKER:--nxcompat" "LINKER:-Map=${map}"
    "$<$<NOT:$<CONFIG:Debug>>:-s>")
  # The structure and the fix-up are those of 32-bit images; an x86-64 build
  # (for test machines that cannot run 32-bit code) goes without.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Nothing in the code refers to the structure: a link that drops
    # unreferenced sections must still keep it.
    target_link_options(${target} PRIVATE "LINKER:--require-defined=__load_config_used")
  endif()
  if(_LANTERN_PYTHON AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${_LANTERN_PYTHON}" "${_LANTERN_CMAKE_DIR}/lantern_load_config.py" "$<TARGET_FILE:${target}>" "${map}"
      COMMENT "Pointing ${target}'s load configuration entry at its structure"
      VERBATIM)
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${_LANTERN_CMAKE_DIR}/lantern_load_config.py")
endfunction()

# ---------------------------------------------------------------------------
# Where lantern_add_bootstrapper() finds the packing tool and the stub.
#
# An installed Lantern (find_package(Lantern)) names the files. In Lantern's
# own tree the stub is one of this build's stub targets, and the tool is
# this build's own when the build runs where it is built; a cross build (a
# Windows build on Linux) builds the tool once more for the machine it runs
# on, as a project of its own in <build>/lantern-host-tool. LANTERN_HOST_TOOL
# names a tool built already instead.
#
# _lantern_tool_and_stub(<context> <out tool> <out stub> <out depends> [COMPRESS])
# With COMPRESS the stub is the one that decodes compressed payloads
# (lantern-stub-zstd.exe); without, the plain stub, which has no decoder.
function(_lantern_tool_and_stub context out_tool out_stub out_depends)
  set(stub_target lantern_stub)
  set(installed_stub "${_LANTERN_INSTALLED_STUB}")
  if(ARGC GREATER 4 AND "${ARGV4}" STREQUAL "COMPRESS")
    set(stub_target lantern_stub_zstd)
    set(installed_stub "${_LANTERN_INSTALLED_STUB_ZSTD}")
  endif()
  if(DEFINED _LANTERN_INSTALLED_TOOL)
    if(NOT installed_stub)
      message(FATAL_ERROR "${context}: this Lantern installation has no stub with the decoder "
                          "(share/lantern/lantern-stub-zstd.exe), which COMPRESS needs")
    endif()
    set(${out_tool} "${_LANTERN_INSTALLED_TOOL}" PARENT_SCOPE)
    set(${out_stub} "${installed_stub}" PARENT_SCOPE)
    set(${out_depends} "${_LANTERN_INSTALLED_TOOL};${installed_stub}" PARENT_SCOPE)
    return()
  endif()
  if(NOT TARGET ${stub_target})
    message(FATAL_ERROR "${context}: bootstrappers are packed from the stub, which needs a Windows toolchain "
                        "(the 'windows' preset), or an installed Lantern (find_package(Lantern))")
  endif()
  set(${out_stub} "$<TARGET_FILE:${stub_target}>" PARENT_SCOPE)
  if(LANTERN_HOST_TOOL)
    set(${out_tool} "${LANTERN_HOST_TOOL}" PARENT_SCOPE)
    set(${out_depends} "${stub_target};${LANTERN_HOST_TOOL}" PARENT_SCOPE)
  elseif(NOT CMAKE_CROSSCOMPILING)
    set(${out_tool} "$<TARGET_FILE:lantern_tool>" PARENT_SCOPE)
    set(${out_depends} "${stub_target};lantern_tool" PARENT_SCOPE)
  else()
    if(NOT TARGET lantern_host_tool)
      include(ExternalProject)
      set(host_dir "${CMAKE_BINARY_DIR}/lantern-host-tool")
      ExternalProject_Add(lantern_host_tool
        SOURCE_DIR "${LANTERN_SOURCE_DIR}"
        BINARY_DIR "${host_dir}"
        CMAKE_ARGS -DLANTERN_TOOL_ONLY=ON -DLANTERN_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
        BUILD_COMMAND "${CMAKE_COMMAND}" --build "${host_dir}" --target lantern_tool
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS "${host_dir}/src/lantern")
      set_property(GLOBAL PROPERTY _LANTERN_HOST_TOOL_FILE "${host_dir}/src/lantern")
    endif()
    get_property(tool GLOBAL PROPERTY _LANTERN_HOST_TOOL_FILE)
    set(${out_tool} "${tool}" PARENT_SCOPE)
    set(${out_depends} "${stub_target};lantern_host_tool;${tool}" PARENT_SCOPE)
  endif()
endfunction()

# Text as a TOML basic string's body.
function(_lantern_toml_escape out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A path as a TOML literal string, taken as it stands (generator expressions
# included, which file(GENERATE) replaces).
function(_lantern_toml_path out path)
  if(path MATCHES "'''")
    message(FATAL_ERROR "the path '${path}' holds three single quotes in a row")
  endif()
  set(${out} "'''${path}'''" PARENT_SCOPE)
endfunction()

# lantern_add_bootstrapper(): the payload packed into the stub by `lantern
# pack` when the target is built. The options become a project file
# (<target>.lantern/pack.toml) that the tool reads; the tool checks the
# payload, the strings and the branding, and says what is wrong before it
# writes anything. The target builds the bootstrapper; its LANTERN_FILE
# property names it.
function(lantern_add_bootstrapper target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SEAL_INFO;COMPRESS"
    "OUTPUT_NAME;PAYLOAD_DIR;FRONT_END;CATALOGUE;INFO;BANNER;SPLASH;ICON;VERSION;COPYRIGHT;${_LANTERN_SIGN_KEYWORDS}"
    "PAYLOAD;RESOURCES;STRINGS;OMIT_STRINGS;SIGN_COMMAND")
  set(context "lantern_add_bootstrapper(${target})")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${context}: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  # A compressed build is packed from the stub that decodes, any other from
  # the plain stub, which is smaller by the decoder.
  set(stub_kind "")
  if(arg_COMPRESS)
    set(stub_kind COMPRESS)
  endif()
  _lantern_tool_and_stub("${context}" tool stub tool_depends ${stub_kind})
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.lantern")
  file(MAKE_DIRECTORY "${dir}")

  set(name "${target}")
  if(arg_OUTPUT_NAME)
    set(name "${arg_OUTPUT_NAME}")
  endif()
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}")
  if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    set(out_dir "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  endif()
  set(output "${out_dir}/${name}.exe")

  set(has_program_name FALSE)
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 1 ${last})
    if("${ARGV${i}}" STREQUAL "SIGN_PROGRAM_NAME")
      set(has_program_name TRUE)  # even when its text is empty
    endif()
  endforeach()
  set(sign_args "")
  foreach(keyword IN LISTS _LANTERN_SIGN_KEYWORDS ITEMS SIGN_COMMAND)
    if(DEFINED arg_${keyword})
      list(APPEND sign_args ${keyword} ${arg_${keyword}})
    endif()
  endforeach()
  _lantern_sign_arguments(sign_options sign_inputs "${context}" "${dir}" ${has_program_name} ${sign_args})

  set(toml "# Made by ${context} for lantern pack.\n")
  _lantern_toml_path(value "${output}")
  string(APPEND toml "output = ${value}\n")
  _lantern_toml_path(value "${stub}")
  string(APPEND toml "stub = ${value}\n")
  set(depends "")

  if(DEFINED arg_FRONT_END)
    _lantern_toml_escape(value "${arg_FRONT_END}")
    string(APPEND toml "front_end = \"${value}\"\n")
  endif()
  set(paths "")
  foreach(file IN LISTS arg_PAYLOAD)
    string(GENEX_STRIP "${file}" plain)
    if(plain STREQUAL file)
      cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    _lantern_toml_path(value "${file}")
    string(APPEND paths "  ${value},\n")
    # A missing file is the tool's to report, with the payload's other faults.
    if(NOT plain STREQUAL file OR EXISTS "${file}")
      list(APPEND depends "${file}")
    endif()
  endforeach()
  if(DEFINED arg_PAYLOAD)
    string(APPEND toml "payload = [\n${paths}]\n")
  endif()
  if(DEFINED arg_PAYLOAD_DIR)
    cmake_path(ABSOLUTE_PATH arg_PAYLOAD_DIR BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" OUTPUT_VARIABLE pdir)
    _lantern_toml_path(value "${pdir}")
    string(APPEND toml "payload_dir = ${value}\n")
    # Packed again when a file below changes; configured again when one is
    # added or taken away.
    if(IS_DIRECTORY "${pdir}")
      file(GLOB_RECURSE files LIST_DIRECTORIES false "${pdir}/*")
      list(APPEND depends ${files})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pdir}")
    endif()
  endif()
  # A signed build's information block is stamped after signing, unless it is sealed.
  set(packed_options BANNER SPLASH ICON)
  if(NOT sign_options OR arg_SEAL_INFO)
    list(APPEND packed_options INFO)
  endif()
  foreach(option IN LISTS packed_options)
    if(DEFINED arg_${option})
      cmake_path(ABSOLUTE_PATH arg_${option} BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" OUTPUT_VARIABLE file)
      string(TOLOWER "${option}" key)
      _lantern_toml_path(value "${file}")
      string(APPEND toml "${key} = ${value}\n")
      if(EXISTS "${file}")
        list(APPEND depends "${file}")
      endif()
    endif()
  endforeach()
  if(arg_SEAL_INFO)
    string(APPEND toml "seal_info = true\n")
  endif()
  if(arg_COMPRESS)
    string(APPEND toml "compress = true\n")
  endif()
  foreach(option IN ITEMS VERSION COPYRIGHT)
    if(DEFINED arg_${option})
      string(TOLOWER "${option}" key)
      _lantern_toml_escape(value "${arg_${option}}")
      string(APPEND toml "${key} = \"${value}\"\n")
    endif()
  endforeach()
  if(DEFINED arg_OMIT_STRINGS)
    foreach(id IN LISTS arg_OMIT_STRINGS)
      if(NOT id MATCHES "^[0-9]+$" OR id GREATER 65535)
        message(FATAL_ERROR "${context}: OMIT_STRINGS id '${id}' is not a number")
      endif()
    endforeach()
    list(JOIN arg_OMIT_STRINGS ", " ids)
    string(APPEND toml "omit_strings = [${ids}]\n")
  endif()

  # Tables come last in a TOML file.
  if(DEFINED arg_STRINGS)
    list(LENGTH arg_STRINGS count)
    math(EXPR odd "${count} % 2")
    if(odd)
      message(FATAL_ERROR "${context}: STRINGS takes pairs of <id> <text>")
    endif()
    string(APPEND toml "\n[strings]\n")
    set(strings ${arg_STRINGS})
    while(strings)
      list(POP_FRONT strings id text)
      if(NOT id MATCHES "^[0-9]+$" OR id GREATER 65535)
        message(FATAL_ERROR "${context}: STRINGS id '${id}' is not a number from 0 to 65535")
      endif()
      math(EXPR id "${id}")
      _lantern_toml_escape(value "${text}")
      string(APPEND toml "\"${id}\" = \"${value}\"\n")
    endwhile()
  endif()
  # RESOURCES with nothing after it: raw mode without any payload resource.
  if(DEFINED arg_RESOURCES OR DEFINED arg_CATALOGUE OR "RESOURCES" IN_LIST arg_KEYWORDS_MISSING_VALUES)
    list(LENGTH arg_RESOURCES count)
    math(EXPR odd "${count} % 2")
    if(odd)
      message(FATAL_ERROR "${context}: RESOURCES takes pairs of <id> <file>")
    endif()
    string(APPEND toml "\n[raw]\n")
    if(DEFINED arg_CATALOGUE)
      cmake_path(ABSOLUTE_PATH arg_CATALOGUE BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" OUTPUT_VARIABLE file)
      _lantern_toml_path(value "${file}")
      string(APPEND toml "catalogue = ${value}\n")
      if(EXISTS "${file}")
        list(APPEND depends "${file}")
      endif()
    endif()
    string(APPEND toml "[raw.resources]\n")
    set(resources ${arg_RESOURCES})
    while(resources)
      list(POP_FRONT resources id file)
      if(NOT id MATCHES "^[A-Za-z0-9_]+$")
        message(FATAL_ERROR "${context}: RESOURCES id '${id}' must be a number or a plain name")
      endif()
      cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
      _lantern_toml_path(value "${file}")
      string(APPEND toml "\"${id}\" = ${value}\n")
      if(EXISTS "${file}")
        list(APPEND depends "${file}")
      endif()
    endwhile()
  endif()
  file(GENERATE OUTPUT "${dir}/pack.toml" CONTENT "${toml}")

  # Signed builds are packed and signed beside the output, which appears only
  # once the whole is done; an information block is then stamped into the
  # signature (sealed blocks are packed in before signing instead).
  set(commands "")
  set(packed "${output}")
  if(sign_options)
    set(packed "${dir}/unsigned.exe")
    set(signed "${output}")
    if(DEFINED arg_INFO AND NOT arg_SEAL_INFO)
      set(signed "${dir}/signed.exe")
    endif()
    list(APPEND commands COMMAND "${tool}" sign "${packed}" -o "${signed}" ${sign_options})
    if(DEFINED arg_INFO AND NOT arg_SEAL_INFO)
      cmake_path(ABSOLUTE_PATH arg_INFO BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" OUTPUT_VARIABLE info)
      list(APPEND commands COMMAND "${tool}" stamp "${signed}" "${info}" -o "${output}" --quiet)
      # A missing file is the tool's to report.
      if(EXISTS "${info}")
        list(APPEND depends "${info}")
      endif()
    endif()
  endif()

  # The stamp stands for the finished bootstrapper (packed, then signed); the
  # executable is a by-product of the same step.
  add_custom_command(
    OUTPUT "${dir}/packed.stamp"
    BYPRODUCTS "${output}"
    COMMAND "${tool}" pack "${dir}/pack.toml" --quiet --context "${context}" --output "${packed}"
    ${commands}
    COMMAND "${CMAKE_COMMAND}" -E touch "${dir}/packed.stamp"
    DEPENDS "${dir}/pack.toml" ${tool_depends} ${depends} ${sign_inputs}
    COMMENT "Packing ${name}.exe"
    VERBATIM)
  # `cmake --build . --target <target>` makes it; $<TARGET_PROPERTY:<target>,LANTERN_FILE> names it.
  add_custom_target(${target} ALL DEPENDS "${dir}/packed.stamp")
  set_target_properties(${target} PROPERTIES LANTERN_FILE "${output}")
endfunction()
