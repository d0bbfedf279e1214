# `lantern stamp` on a real signed bootstrapper (the stub, signed here with the
# test certificate): blocks of 1, 2,000 and 4,106 bytes stamped and found by
# `lantern inspect`; osslsigncode verifies every stamped file and agrees with
# its checksum; stamped twice, the second block alone is there; a pipe in and
# out gives the same bytes as files; one byte changed outside the block fails
# verification, one changed inside it does not (the block is not covered by
# the signature); bad calls are refused with their exit status and leave no
# output.
#   cmake -DTOOL=<lantern, or the emulator and lantern.exe as a list> -DSTUB=<lantern-stub.exe>
#         -DSIGNTOOL=<osslsigncode> -DCERTIFICATE=<chain.pem> -DKEY=<key.pem> -DROOT=<root.pem>
#         -DWORK=<folder> [-DIGNORE_EMPTY_ERRORS=ON] [-DNO_STANDARD_INPUT=ON] -P stamp_test.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/out")

function(run expected_status)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "${expected_status}")
    message(FATAL_ERROR "lantern ${ARGN}: exit status ${status}, expected ${expected_status}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Whether osslsigncode verifies `exe`; it must agree with its checksum unless
# a byte was changed by hand (a third argument).
function(verify exe out_ok)
  execute_process(COMMAND "${SIGNTOOL}" verify -CAfile "${ROOT}" -in "${exe}"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(out MATCHES "Current PE checksum" AND ARGC EQUAL 2)
    message(FATAL_ERROR "${exe}: osslsigncode calculates another checksum:\n${out}")
  endif()
  if(NOT failed AND out MATCHES "Signature verification: ok")
    set(${out_ok} TRUE PARENT_SCOPE)
  else()
    set(${out_ok} FALSE PARENT_SCOPE)
    set(verify_said "${out}\n${err}" PARENT_SCOPE)
  endif()
endfunction()

# The last `size` bytes of `file` as hex.
function(tail_hex file size out_hex)
  file(SIZE "${file}" total)
  math(EXPR offset "${total} - ${size}")
  file(READ "${file}" hex OFFSET ${offset} LIMIT ${size} HEX)
  set(${out_hex} "${hex}" PARENT_SCOPE)
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/../fixtures/information_text.cmake")
# Information of `size` bytes, XML-like text without the marker.
function(make_information path size letter)
  lantern_information_text(text ${size} "${letter}")
  file(WRITE "${path}" "${text}")
endfunction()

execute_process(COMMAND "${SIGNTOOL}" sign -certs "${CERTIFICATE}" -key "${KEY}" -h sha256
                        -in "${STUB}" -out "${WORK}/Signed.exe"
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(failed)
  message(FATAL_ERROR "signing the stub failed:\n${out}\n${err}")
endif()
verify("${WORK}/Signed.exe" ok)
if(NOT ok)
  message(FATAL_ERROR "the signed stub does not verify before stamping:\n${verify_said}")
endif()

foreach(size IN ITEMS 1 2000 4106)
  make_information("${WORK}/info-${size}.xml" ${size} a)
  run(0 stamp "${WORK}/Signed.exe" "${WORK}/info-${size}.xml" -o "${WORK}/out/Stamped-${size}.exe")
  set(exe "${WORK}/out/Stamped-${size}.exe")
  verify("${exe}" ok)
  if(NOT ok)
    message(FATAL_ERROR "${size} bytes stamped: the signature does not verify:\n${verify_said}")
  endif()
  # The file ends with the marker, the information and six zeros.
  file(READ "${WORK}/info-${size}.xml" information HEX)
  math(EXPR block "${size} + 10")
  tail_hex("${exe}" ${block} tail)
  if(NOT tail STREQUAL "4d524443${information}000000000000")
    message(FATAL_ERROR "${size} bytes stamped: the file does not end with the block")
  endif()
  run(0 inspect --json "${exe}")
  string(JSON shown GET "${out}" information size)
  if(NOT shown EQUAL size)
    message(FATAL_ERROR "inspect shows an information block of ${shown} bytes, not ${size}:\n${out}")
  endif()
endforeach()

# Stamped twice (in place the second time): only the second block is there,
# and the file is the one the second block alone makes.
file(COPY_FILE "${WORK}/out/Stamped-4106.exe" "${WORK}/out/Twice.exe")
make_information("${WORK}/second.xml" 77 b)
run(0 stamp "${WORK}/out/Twice.exe" "${WORK}/second.xml" -o "${WORK}/out/Twice.exe")
if(NOT err MATCHES "replacing the one stamped before" AND NOT (IGNORE_EMPTY_ERRORS AND err STREQUAL ""))
  message(FATAL_ERROR "stamping again did not say it replaced the block:\n${err}")
endif()
run(0 stamp "${WORK}/Signed.exe" "${WORK}/second.xml" -o "${WORK}/out/Once.exe" --quiet)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/out/Twice.exe" "${WORK}/out/Once.exe"
                RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "stamped twice differs from stamped once with the second block")
endif()
verify("${WORK}/out/Twice.exe" ok)
if(NOT ok)
  message(FATAL_ERROR "stamped twice: the signature does not verify:\n${verify_said}")
endif()

# A pipe in, a pipe out: the same bytes as from file to file. (Wine's runner
# here gives a program no standard input: there the output alone is a pipe.)
if(NO_STANDARD_INPUT)
  execute_process(COMMAND ${TOOL} stamp "${WORK}/Signed.exe" "${WORK}/info-2000.xml" -o - --quiet
                  OUTPUT_FILE "${WORK}/out/Piped.exe" RESULT_VARIABLE statuses ERROR_VARIABLE err)
else()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${WORK}/Signed.exe"
                  COMMAND ${TOOL} stamp - "${WORK}/info-2000.xml" -o - --quiet
                  OUTPUT_FILE "${WORK}/out/Piped.exe" RESULT_VARIABLE statuses ERROR_VARIABLE err)
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/out/Piped.exe" "${WORK}/out/Stamped-2000.exe"
                RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "stamped through pipes (${statuses}) differs from stamped from file to file:\n${err}")
endif()

# One byte changed: outside the block the signature fails, inside it holds.
file(SIZE "${WORK}/out/Stamped-2000.exe" total)
math(EXPR in_block "${total} - 100")
foreach(place_at IN ITEMS "code|4096" "block|${in_block}")
  string(REPLACE "|" ";" place_at "${place_at}")
  list(GET place_at 0 place)
  list(GET place_at 1 at)
  set(exe "${WORK}/out/Changed-${place}.exe")
  file(COPY_FILE "${WORK}/out/Stamped-2000.exe" "${exe}")
  file(READ "${exe}" byte OFFSET ${at} LIMIT 1 HEX)
  if(byte STREQUAL "00")
    set(changed "\\001")
  else()
    set(changed "\\000")
  endif()
  execute_process(COMMAND sh -c "printf '${changed}' | dd of='${exe}' bs=1 seek=${at} conv=notrunc status=none"
                  RESULT_VARIABLE failed)
  file(READ "${exe}" new_byte OFFSET ${at} LIMIT 1 HEX)
  if(failed OR new_byte STREQUAL byte)
    message(FATAL_ERROR "changing a byte of ${exe} failed")
  endif()
  verify("${exe}" ok changed)
  if(place STREQUAL "code" AND ok)
    message(FATAL_ERROR "a byte changed in the code still verifies")
  elseif(place STREQUAL "block" AND NOT ok)
    message(FATAL_ERROR "a byte changed in the stamped block fails verification:\n${verify_said}")
  endif()
endforeach()

# Bad calls: exit status 2 for a command line not understood, 1 for input
# refused; never an output file, never a partial one.
make_information("${WORK}/big.xml" 4107 c)
file(WRITE "${WORK}/marker.xml" "<a>MRDC</a>")
file(WRITE "${WORK}/empty.xml" "")
set(cases
  "2|no output is named|stamp ${WORK}/Signed.exe ${WORK}/info-1.xml"
  "2|a signed bootstrapper and an information file are needed|stamp ${WORK}/Signed.exe -o ${WORK}/out/Bad.exe"
  "2|unknown option '--frob'|stamp --frob ${WORK}/Signed.exe ${WORK}/info-1.xml -o ${WORK}/out/Bad.exe"
  "1|is not signed|stamp ${STUB} ${WORK}/info-1.xml -o ${WORK}/out/Bad.exe"
  "1|holds 4107 bytes. the information block takes 1 to 4106|stamp ${WORK}/Signed.exe ${WORK}/big.xml -o ${WORK}/out/Bad.exe"
  "1|holds 0 bytes|stamp ${WORK}/Signed.exe ${WORK}/empty.xml -o ${WORK}/out/Bad.exe"
  "1|holds the marker \"MRDC\"|stamp ${WORK}/Signed.exe ${WORK}/marker.xml -o ${WORK}/out/Bad.exe"
  "1|is not a Windows program|stamp ${WORK}/info-1.xml ${WORK}/info-1.xml -o ${WORK}/out/Bad.exe"
  "1|does not exist|stamp ${WORK}/Missing.exe ${WORK}/info-1.xml -o ${WORK}/out/Bad.exe")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 status)
  list(GET case 1 message)
  list(GET case 2 words)
  separate_arguments(words UNIX_COMMAND "${words}")
  run(${status} ${words})
  if(NOT (IGNORE_EMPTY_ERRORS AND err STREQUAL "") AND NOT err MATCHES "${message}")
    message(FATAL_ERROR "lantern ${words}: expected '${message}', got:\n${err}")
  endif()
endforeach()
file(GLOB left "${WORK}/out/Bad.exe*")
if(left)
  message(FATAL_ERROR "refused runs left ${left}")
endif()
message(STATUS "stamped, verified and inspected; refusals checked")
