# The image library on a real program under Wine: the probe's resources are
# rewritten (its resource section is followed by another, so a section is
# added), the rewritten probe finds every added resource byte for byte and its
# own string still; osslsigncode agrees with the checksum, signs the result,
# and the signed program runs the same. The signed program rewritten again
# (its resource section now last, so replaced) loses the signature and still
# runs.
#   cmake -DEMULATOR=<wine run> -DREWRITE=<pe_rewrite.exe> -DPROBE=<resource_probe.exe>
#         -DSIGNTOOL=<osslsigncode> -DCERTIFICATE=<chain.pem> -DKEY=<key.pem> -DROOT=<root.pem>
#         -DWORK=<folder> -P pe_rewrite_test.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "${what} failed (${failed}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ${out}")
  set(out "${out}" PARENT_SCOPE)
endfunction()

# The probe, run under Wine, finds exactly the expected files with the same bytes.
function(check_probe exe found)
  run("running ${exe}" "${EMULATOR}" "${exe}" "${WORK}/${found}")
  file(GLOB expected RELATIVE "${WORK}/expected" "${WORK}/expected/*")
  file(GLOB got RELATIVE "${WORK}/${found}" "${WORK}/${found}/*")
  list(SORT expected)
  list(SORT got)
  if(NOT expected STREQUAL got)
    message(FATAL_ERROR "${exe}: found [${got}], expected [${expected}]")
  endif()
  foreach(name IN LISTS expected)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/expected/${name}" "${WORK}/${found}/${name}"
                    RESULT_VARIABLE different)
    if(different)
      message(FATAL_ERROR "${exe}: ${name} differs from what was written")
    endif()
  endforeach()
endfunction()

# osslsigncode computes the checksum the header should hold: it shows the
# one value when both agree, the header's and its own when they differ.
function(check_checksum exe)
  execute_process(COMMAND "${SIGNTOOL}" verify -in "${exe}" OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(out MATCHES "Current PE checksum *: ([0-9A-Fa-f]+)")
    set(current "${CMAKE_MATCH_1}")
    string(REGEX MATCH "Calculated PE checksum *: ([0-9A-Fa-f]+)" ignored "${out}")
    message(FATAL_ERROR "${exe}: checksum ${current}, osslsigncode calculates ${CMAKE_MATCH_1}")
  endif()
  if(NOT out MATCHES "PE checksum *: ([0-9A-Fa-f]+)" OR CMAKE_MATCH_1 STREQUAL "00000000"
     OR out MATCHES "invalid PE checksum")
    message(FATAL_ERROR "${exe}: osslsigncode shows no valid checksum:\n${out}\n${err}")
  endif()
  set(verify_out "${out}${err}" PARENT_SCOPE)
endfunction()

run("rewriting the probe" "${EMULATOR}" "${REWRITE}" "${PROBE}" "${WORK}/packed.exe" "${WORK}/expected")
if(NOT out MATCHES "section added, no certificate")
  message(FATAL_ERROR "expected a section added to the probe: ${out}")
endif()
check_probe("${WORK}/packed.exe" found)
check_checksum("${WORK}/packed.exe")

run("signing" "${SIGNTOOL}" sign -certs "${CERTIFICATE}" -key "${KEY}" -h sha256
    -in "${WORK}/packed.exe" -out "${WORK}/signed.exe")
run("verifying the signature" "${SIGNTOOL}" verify -in "${WORK}/signed.exe" -CAfile "${ROOT}")
if(NOT out MATCHES "Signature verification: ok")
  message(FATAL_ERROR "osslsigncode did not accept the signature:\n${out}")
endif()
check_probe("${WORK}/signed.exe" found-signed)

run("rewriting the signed probe" "${EMULATOR}" "${REWRITE}" "${WORK}/signed.exe" "${WORK}/resigned.exe"
    "${WORK}/expected")
if(NOT out MATCHES "section replaced, certificate dropped")
  message(FATAL_ERROR "expected the last section replaced and the signature dropped: ${out}")
endif()
check_checksum("${WORK}/resigned.exe")
if(NOT verify_out MATCHES "No signature found")
  message(FATAL_ERROR "the rewritten signed probe still has a signature:\n${verify_out}")
endif()
check_probe("${WORK}/resigned.exe" found-again)
