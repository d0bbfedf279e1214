# Fixtures of the payload tests: a bootstrapper that carries an information
# block, and raw bootstrappers whose resources or catalogues are broken.
set(extraction "${CMAKE_CURRENT_SOURCE_DIR}/extraction")

# The basic payload again, with an information block at the end of the file;
# unsigned, so its runs go on only when they start nothing (/dontrun).
lantern_add_test_bootstrapper(e2e_info
  OUTPUT_NAME InfoSetup
  PAYLOAD $<TARGET_FILE:lantern_standin> "${payload}/standin.exe.config" "${payload}/bytes.bin"
          "${payload}/empty.dat"
  PAYLOAD_DIR "${payload}/tree"
  FRONT_END standin.exe
  INFO "${extraction}/info.xml"
  UNSIGNED)  # the block must stay the last bytes of the file

# The basic payload compressed, with a file large enough to be decoded in
# several pieces and one that does not compress at all: signed, and
# unsigned for the tests that damage a copy.
set(compressible "${CMAKE_CURRENT_BINARY_DIR}/compressible/big.txt")
if(NOT EXISTS "${compressible}")
  set(text "")
  foreach(i RANGE 999)
    string(APPEND text "line ${i} of a text that compresses well, as most payload files do\n")
  endforeach()
  string(REPEAT "${text}" 9 text)
  file(WRITE "${compressible}" "${text}")
endif()
foreach(target IN ITEMS e2e_compressed e2e_compressed_unsigned)
  set(unsigned "")
  if(target MATCHES "unsigned")
    set(unsigned UNSIGNED)
  endif()
  lantern_add_test_bootstrapper(${target}
    OUTPUT_NAME ${target}
    PAYLOAD $<TARGET_FILE:lantern_standin> "${payload}/standin.exe.config" "${payload}/bytes.bin"
            "${payload}/empty.dat" "${payload}/random.bin" "${compressible}"
    PAYLOAD_DIR "${payload}/tree"
    FRONT_END standin.exe
    COMPRESS
    ${unsigned})
endforeach()

# A compressed payload in the stub without the decoder. The tool packs
# compression only into a stub that says it decodes, so this one is the
# plain stub's code built with that resource: what it does with compressed
# files is what lantern-stub.exe does.
_lantern_add_stub(e2e_stub_claiming_decoder e2e-stub-claiming-decoder
  "${LANTERN_SOURCE_DIR}/src/payload/decoder_none.cpp" TRUE)
set(no_decoder_exe "${CMAKE_CURRENT_BINARY_DIR}/NoDecoderSetup.exe")
add_custom_command(OUTPUT "${no_decoder_exe}"
  COMMAND ${e2e_tool} pack --stub "$<TARGET_FILE:e2e_stub_claiming_decoder>" --compress -q
          --payload "$<TARGET_FILE:lantern_standin>" --payload "${payload}/standin.exe.config"
          --payload "${compressible}" --front-end standin.exe -o "${no_decoder_exe}"
  DEPENDS e2e_stub_claiming_decoder "$<TARGET_FILE:e2e_stub_claiming_decoder>" lantern_standin
          "$<TARGET_FILE:lantern_standin>" "${compressible}" ${e2e_tool_depends}
  VERBATIM)
add_custom_target(e2e_no_decoder ALL DEPENDS "${no_decoder_exe}")

# Files that share most of their bytes, as a product's binaries do, so that
# they are packed with a shared dictionary: sixteen letters drawn at random
# (each file compresses to about half on its own), a stretch of them that
# every file holds, and some of each file's own. Unsigned, so that the tests
# can damage a copy's dictionary.
set(similar "${CMAKE_CURRENT_BINARY_DIR}/similar")
if(NOT EXISTS "${similar}/part3.dll")
  string(RANDOM LENGTH 30000 ALPHABET abcdefghijklmnop RANDOM_SEED 7 shared)
  foreach(i RANGE 1 3)
    string(RANDOM LENGTH 3000 ALPHABET abcdefghijklmnop RANDOM_SEED 1${i} head)
    string(RANDOM LENGTH 2000 ALPHABET abcdefghijklmnop RANDOM_SEED 2${i} tail)
    file(WRITE "${similar}/part${i}.dll" "${head}${shared}${tail}")
  endforeach()
endif()
lantern_add_test_bootstrapper(e2e_dictionary
  OUTPUT_NAME DictionarySetup
  PAYLOAD $<TARGET_FILE:lantern_standin> "${payload}/standin.exe.config" "${similar}/part1.dll"
          "${similar}/part2.dll" "${similar}/part3.dll"
  FRONT_END standin.exe
  COMPRESS
  UNSIGNED)
# The same in the plain stub's code, as for e2e_no_decoder.
set(no_decoder_dictionary_exe "${CMAKE_CURRENT_BINARY_DIR}/NoDecoderDictionarySetup.exe")
add_custom_command(OUTPUT "${no_decoder_dictionary_exe}"
  COMMAND ${e2e_tool} pack --stub "$<TARGET_FILE:e2e_stub_claiming_decoder>" --compress -q
          --payload "$<TARGET_FILE:lantern_standin>" --payload "${payload}/standin.exe.config"
          --payload "${similar}/part1.dll" --payload "${similar}/part2.dll" --payload "${similar}/part3.dll"
          --front-end standin.exe -o "${no_decoder_dictionary_exe}"
  DEPENDS e2e_stub_claiming_decoder "$<TARGET_FILE:e2e_stub_claiming_decoder>" lantern_standin
          "$<TARGET_FILE:lantern_standin>" "${similar}/part1.dll" ${e2e_tool_depends}
  VERBATIM)
add_custom_target(e2e_no_decoder_dictionary ALL DEPENDS "${no_decoder_dictionary_exe}")

# No "TOOLKIT" resource at all.
lantern_add_test_bootstrapper(e2e_no_toolkit OUTPUT_NAME NoToolkitSetup RESOURCES)

# Resources but no catalogue.
lantern_add_test_bootstrapper(e2e_no_catalogue OUTPUT_NAME NoCatalogueSetup
  RESOURCES 102 "${payload}/bytes.bin")

# A catalogue that names a missing id, gives two entries one name and one a
# sub-folder, next to an unlisted resource and one named by text.
lantern_add_test_bootstrapper(e2e_listed OUTPUT_NAME ListedSetup
  RESOURCES 102 "${payload}/bytes.bin" 103 "${payload}/bytes.bin" 104 "${payload}/bytes.bin"
            105 "${payload}/standin.exe.config" 106 "${payload}/empty.dat" NAMED "${payload}/bytes.bin"
  CATALOGUE "${extraction}/listed_catalogue.txt")

# A size one byte too small (e2e_raw has one that is too large).
lantern_add_test_bootstrapper(e2e_short OUTPUT_NAME ShortSetup
  RESOURCES 102 "${payload}/bytes.bin" 103 "${payload}/standin.exe.config"
  CATALOGUE "${extraction}/short_catalogue.txt")

# A name that would leave the working folder.
lantern_add_test_bootstrapper(e2e_escape OUTPUT_NAME EscapeSetup
  RESOURCES 102 "${payload}/bytes.bin"
  CATALOGUE "${extraction}/escape_catalogue.txt")

# Names Windows' path rules keep inside the working folder: a doubled
# backslash, a leading ".\", a leading backslash, a forward slash and a "..".
lantern_add_test_bootstrapper(e2e_names OUTPUT_NAME NamesSetup
  RESOURCES 102 "${payload}/bytes.bin" 103 "${payload}/bytes.bin" 104 "${payload}/bytes.bin"
            105 "${payload}/bytes.bin"
  CATALOGUE "${extraction}/names_catalogue.txt")

# Enough files for extraction and removal to run on several threads: a tree
# of small files, made here so that no folder of them sits in the sources.
set(many "${CMAKE_CURRENT_BINARY_DIR}/many")
foreach(i RANGE 0 239)
  math(EXPR folder "${i} % 5")
  set(name "f${i}.txt")
  if(folder GREATER 0)
    set(name "d${folder}/${name}")
  endif()
  string(REPEAT "file ${i} " ${folder} bytes)
  _lantern_write_if_changed("${many}/tree/${name}" "${bytes}${i}\n")
endforeach()
lantern_add_test_bootstrapper(e2e_many OUTPUT_NAME ManySetup PAYLOAD_DIR "${many}/tree" UNSIGNED)

# Many files with two entries of one name in different case, and a file that
# a later entry needs as a folder, which fails that entry as it does when the
# files are written one by one; an entry after it with a wrong size is never
# reached.
set(resources "")
set(catalogue "")
foreach(id RANGE 221 102 -1)
  set(bytes "resource ${id}\n")
  _lantern_write_if_changed("${many}/resources/${id}.bin" "${bytes}")
  list(APPEND resources ${id} "${many}/resources/${id}.bin")
  string(LENGTH "${bytes}" size)
  set(name "m${id}.bin")
  if(id EQUAL 200)
    set(name "Same.bin")
  elseif(id EQUAL 190)
    set(name "same.BIN")
  elseif(id EQUAL 180)
    set(name "clash")
  elseif(id EQUAL 170)
    set(name "clash\\inner.bin")
  elseif(id EQUAL 150)
    math(EXPR size "${size} + 1")
  endif()
  string(APPEND catalogue "${id}*${name}*${size}*")
endforeach()
string(REGEX REPLACE "\\*$" "" catalogue "${catalogue}")
_lantern_write_if_changed("${many}/clash_catalogue.txt" "${catalogue}")
lantern_add_test_bootstrapper(e2e_many_clash OUTPUT_NAME ManyClashSetup
  RESOURCES ${resources}
  CATALOGUE "${many}/clash_catalogue.txt"
  UNSIGNED)

# A sealed block: packed in before signing, so that the signature covers it.
set(sealed "${CMAKE_CURRENT_SOURCE_DIR}/sealed")
lantern_add_test_bootstrapper(e2e_sealed
  OUTPUT_NAME SealedSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  INFO "${extraction}/info.xml"
  SEAL_INFO)
# The same, with another block stamped into its certificate table after
# signing; and the unsigned e2e_info signed afterwards by a tool that knows
# nothing of its block.
_lantern_tool_and_stub("tests/e2e" sealed_tool sealed_stub sealed_tool_depends)
find_program(LANTERN_OSSLSIGNCODE osslsigncode REQUIRED)
set(sealed_stamped "${CMAKE_CURRENT_BINARY_DIR}/SealedStampedSetup.exe")
set(outside_signed "${CMAKE_CURRENT_BINARY_DIR}/OutsideSignedInfoSetup.exe")
add_custom_command(OUTPUT "${sealed_stamped}"
  COMMAND ${sealed_tool} stamp "$<TARGET_PROPERTY:e2e_sealed,LANTERN_FILE>" "${sealed}/stamped.xml"
          -o "${sealed_stamped}" --quiet
  DEPENDS e2e_sealed "$<TARGET_PROPERTY:e2e_sealed,LANTERN_FILE>" ${sealed_tool_depends} "${sealed}/stamped.xml"
  VERBATIM)
add_custom_command(OUTPUT "${outside_signed}"
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${outside_signed}"
  COMMAND "${LANTERN_OSSLSIGNCODE}" sign -certs "${LANTERN_TEST_SIGN_CERTIFICATE}" -key "${LANTERN_TEST_SIGN_KEY}"
          -h sha256 -in "$<TARGET_PROPERTY:e2e_info,LANTERN_FILE>" -out "${outside_signed}"
  DEPENDS e2e_info "$<TARGET_PROPERTY:e2e_info,LANTERN_FILE>"
  VERBATIM)
add_custom_target(e2e_sealed_variants ALL DEPENDS "${sealed_stamped}" "${outside_signed}")

set(payload_fixtures e2e_compressed e2e_compressed_unsigned e2e_dictionary e2e_info e2e_no_toolkit e2e_no_catalogue e2e_listed
                     e2e_short e2e_escape e2e_names e2e_sealed e2e_many e2e_many_clash)
set(payload_paths "// Made by tests/e2e/payload.cmake: the payload tests' bootstrappers.\n#pragma once\n")
foreach(fixture IN LISTS payload_fixtures)
  string(TOUPPER "${fixture}" name)
  string(APPEND payload_paths "#define LANTERN_${name}_EXE \"$<TARGET_PROPERTY:${fixture},LANTERN_FILE>\"\n")
endforeach()
string(APPEND payload_paths "#define LANTERN_E2E_MANY_TREE \"${many}/tree\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_COMPRESSIBLE \"${compressible}\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_NO_DECODER_EXE \"${no_decoder_exe}\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_NO_DECODER_DICTIONARY_EXE \"${no_decoder_dictionary_exe}\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_SIMILAR \"${similar}\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_INFO_XML \"${extraction}/info.xml\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_STAMPED_XML \"${sealed}/stamped.xml\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_SEALED_STAMPED_EXE \"${sealed_stamped}\"\n")
string(APPEND payload_paths "#define LANTERN_E2E_OUTSIDE_SIGNED_EXE \"${outside_signed}\"\n")
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/payload_paths.h" CONTENT "${payload_paths}")
add_dependencies(lantern_e2e_tests ${payload_fixtures} e2e_sealed_variants e2e_no_decoder
                 e2e_no_decoder_dictionary)
