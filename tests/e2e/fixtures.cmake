# lantern_add_test_bootstrapper(<target> [UNSIGNED] <lantern_add_bootstrapper arguments>...)
# Every bootstrapper the end-to-end tests run is made here, so that what all
# of them need is added in one place: each is signed with the test certificate
# (a bootstrapper refuses a silent run without a valid signature), unless it
# says UNSIGNED or names a SIGN_CERTIFICATE or SIGN_COMMAND of its own.
# With LANTERN_TEST_COMPRESS every one that packs a payload (not raw
# resources) is compressed, so that the whole suite runs on compressed builds
# (and so on the stub with the decoder, which COMPRESS packs from).
option(LANTERN_TEST_COMPRESS "Compress the payload of every end-to-end test bootstrapper" OFF)
include("${CMAKE_CURRENT_LIST_DIR}/../fixtures/signing/test_certificate.cmake")

function(lantern_add_test_bootstrapper target)
  # Arguments are passed on one by one as bracket arguments, so that an empty
  # one (SIGN_PROGRAM_NAME "") survives.
  set(call "lantern_add_bootstrapper(${target}")
  set(sign TRUE)
  set(compress ${LANTERN_TEST_COMPRESS})
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 1 ${last})
    set(argument "${ARGV${i}}")
    if(argument STREQUAL "UNSIGNED")
      set(sign FALSE)
      continue()
    elseif(argument STREQUAL "SIGN_CERTIFICATE" OR argument STREQUAL "SIGN_COMMAND")
      set(sign FALSE)
    elseif(argument STREQUAL "RESOURCES" OR argument STREQUAL "CATALOGUE" OR argument STREQUAL "COMPRESS")
      set(compress FALSE)
    endif()
    string(APPEND call " [==[${argument}]==]")
  endforeach()
  if(sign)
    string(APPEND call " SIGN_CERTIFICATE [==[${LANTERN_TEST_SIGN_CERTIFICATE}]==]"
                       " SIGN_KEY [==[${LANTERN_TEST_SIGN_KEY}]==]")
  endif()
  if(compress)
    string(APPEND call " COMPRESS")
  endif()
  cmake_language(EVAL CODE "${call})")
endfunction()
