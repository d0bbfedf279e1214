# A team without a compiler: Lantern installed into a fresh prefix, a PATH
# that holds only what packing and signing need (no C or C++ compiler, no
# mingw-w64), and a bootstrapper made twice from it: by a CMake project that
# finds the installed Lantern, and by the tool called by
# hand as the README shows. The Wine test Archive.* then runs both.
#   cmake -DBUILD=<this build> -DHOST_TOOL=<lantern for this machine> -DFRONT_END=<standin.exe>
#         -DSIGN_CERTIFICATE=<pem> -DSIGN_KEY=<pem> -DWORK=<folder> -P archive_test.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/prefix")

# The archive's layout: what `cmake --install` lays out, with the tool for this machine.
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${prefix}"
                RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE err)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${err}")
endif()
file(COPY "${HOST_TOOL}" DESTINATION "${prefix}/bin" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
foreach(file IN ITEMS bin/lantern share/lantern/lantern-stub.exe share/lantern/lantern-stub-zstd.exe
                      lib/cmake/Lantern/LanternConfig.cmake share/doc/lantern/README.md)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "the installed layout lacks ${file}")
  endif()
endforeach()

# The machine's PATH with every compiler, assembler, linker and resource
# compiler taken out: a folder of links to everything else.
set(path_dir "${WORK}/path")
file(MAKE_DIRECTORY "${path_dir}")
string(REPLACE ":" ";" system_path "$ENV{PATH}")
set(compiler_names "(gcc|g\\+\\+|clang|mingw|windres|^cc$|^c\\+\\+|^cpp|^ld$|^ld\\.|-ld$|-ld\\.|^as$|-as$|^c89|^c99|^cl$|^tcc$)")
foreach(folder IN LISTS system_path)
  # Listed by ls, not globbed: a CMake list cannot hold a name like "[".
  execute_process(COMMAND ls -1 "${folder}" OUTPUT_VARIABLE names ERROR_QUIET)
  string(REGEX REPLACE "[][;]" "" names "${names}")
  string(REPLACE "\n" ";" names "${names}")
  foreach(name IN LISTS names)
    set(program "${folder}/${name}")
    if(name STREQUAL "" OR IS_DIRECTORY "${program}")
      continue()
    endif()
    if(name MATCHES "${compiler_names}" OR EXISTS "${path_dir}/${name}" OR IS_SYMLINK "${path_dir}/${name}")
      continue()
    endif()
    # To the file itself: a link to a link by a relative name would lead nowhere from here.
    file(REAL_PATH "${program}" target)
    file(CREATE_LINK "${target}" "${path_dir}/${name}" RESULT failed SYMBOLIC)
  endforeach()
endforeach()
foreach(compiler IN ITEMS cc c++ gcc g++ clang clang++ i686-w64-mingw32-gcc i686-w64-mingw32-g++
                          x86_64-w64-mingw32-gcc x86_64-w64-mingw32-g++ windres i686-w64-mingw32-windres)
  find_program(compiler_found ${compiler} PATHS "${path_dir}" NO_DEFAULT_PATH)
  if(compiler_found)
    message(FATAL_ERROR "the restricted PATH still holds ${compiler}")
  endif()
  unset(compiler_found CACHE)
endforeach()
set(restricted "${CMAKE_COMMAND}" -E env "PATH=${path_dir}" --unset=CC --unset=CXX)

function(run)
  execute_process(COMMAND ${restricted} ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "${ARGN}\nfailed (${failed}):\n${out}\n${err}")
  endif()
endfunction()

# The CMake route: configure and build a project of language NONE.
run(cmake -S "${CMAKE_CURRENT_LIST_DIR}/archive" -B "${WORK}/build" -G Ninja "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DFRONT_END=${FRONT_END}" "-DSIGN_CERTIFICATE=${SIGN_CERTIFICATE}" "-DSIGN_KEY=${SIGN_KEY}")
run(cmake --build "${WORK}/build")
if(NOT EXISTS "${WORK}/build/ArchiveSetup.exe")
  message(FATAL_ERROR "the project built no ArchiveSetup.exe")
endif()

# By hand: pack, then sign.
run("${prefix}/bin/lantern" pack --payload "${FRONT_END}" --front-end standin.exe
    --string "1=Direct Product Download" -o "${WORK}/Direct-unsigned.exe")
run("${prefix}/bin/lantern" sign "${WORK}/Direct-unsigned.exe" -o "${WORK}/Direct.exe"
    --certificate "${SIGN_CERTIFICATE}" --key "${SIGN_KEY}" --program-name "Direct Installer"
    --info-url "https://www.vantrel.example/direct")
run("${prefix}/bin/lantern" inspect "${WORK}/Direct.exe")
message(STATUS "packed and signed without a compiler:\n${out}")

# By hand with compression: the tool takes the installed stub that decodes,
# which says so with a resource named LANTERN_DECODER; without, the plain one.
run("${prefix}/bin/lantern" pack --payload "${FRONT_END}" --front-end standin.exe --compress
    -o "${WORK}/Direct-compressed.exe")
foreach(exe_and_count IN ITEMS "Direct-compressed.exe|1" "Direct-unsigned.exe|0")
  string(REPLACE "|" ";" parts "${exe_and_count}")
  list(GET parts 0 exe)
  list(GET parts 1 expected)
  file(STRINGS "${WORK}/${exe}" names ENCODING UTF-16LE REGEX "^LANTERN_DECODER$")
  list(LENGTH names count)
  if(NOT count EQUAL expected)
    message(FATAL_ERROR "${exe} names LANTERN_DECODER ${count} times, not ${expected}")
  endif()
endforeach()
