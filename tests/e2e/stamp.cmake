# Fixtures of the stamping tests: a signed bootstrapper stamped by the tool
# when the tests are built, with blocks of 1, 2,000 and 4,106 bytes, and the
# largest one stamped over with another.
lantern_add_test_bootstrapper(e2e_stamp_base
  OUTPUT_NAME StampBaseSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe)

# lantern_add_bootstrapper() itself: INFO in a signed build signs, then stamps.
lantern_add_test_bootstrapper(e2e_signed_info
  OUTPUT_NAME SignedInfoSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  INFO "${CMAKE_CURRENT_SOURCE_DIR}/extraction/info.xml")

_lantern_tool_and_stub("tests/e2e" stamp_tool stamp_stub stamp_tool_depends)
set(stamp_dir "${CMAKE_CURRENT_BINARY_DIR}/stamped")
file(MAKE_DIRECTORY "${stamp_dir}")

include("${CMAKE_CURRENT_LIST_DIR}/../fixtures/information_text.cmake")
# Information of `size` bytes, XML-like text without the marker.
function(_e2e_information path size letter)
  lantern_information_text(text ${size} "${letter}")
  _lantern_write_if_changed("${path}" "${text}")
endfunction()

set(stamp_base "$<TARGET_PROPERTY:e2e_stamp_base,LANTERN_FILE>")
set(stamped_files "")
set(stamp_paths "// Made by tests/e2e/stamp.cmake: the stamped bootstrappers and their information.\n#pragma once\n")
string(APPEND stamp_paths "#define LANTERN_SIGNED_INFO_EXE \"$<TARGET_PROPERTY:e2e_signed_info,LANTERN_FILE>\"\n")
string(APPEND stamp_paths "#define LANTERN_SIGNED_INFO_INFO \"${CMAKE_CURRENT_SOURCE_DIR}/extraction/info.xml\"\n")
foreach(step IN ITEMS "1|base" "2000|base" "4106|base" "77|4106")
  string(REPLACE "|" ";" step "${step}")
  list(GET step 0 size)
  list(GET step 1 from)
  if(from STREQUAL "base")
    set(input "${stamp_base}")
    set(name "Stamped${size}Setup.exe")
    set(id "STAMPED_${size}")
  else()
    set(input "${stamp_dir}/Stamped${from}Setup.exe")
    set(name "StampedTwiceSetup.exe")
    set(id "STAMPED_TWICE")
  endif()
  _e2e_information("${stamp_dir}/info-${size}.xml" ${size} "${size}")
  add_custom_command(OUTPUT "${stamp_dir}/${name}"
    COMMAND ${stamp_tool} stamp "${input}" "${stamp_dir}/info-${size}.xml" -o "${stamp_dir}/${name}" --quiet
    DEPENDS "${input}" e2e_stamp_base ${stamp_tool_depends} "${stamp_dir}/info-${size}.xml"
    COMMENT "Stamping ${size} bytes of information into ${name}"
    VERBATIM)
  list(APPEND stamped_files "${stamp_dir}/${name}")
  string(APPEND stamp_paths "#define LANTERN_${id}_EXE \"${stamp_dir}/${name}\"\n")
  string(APPEND stamp_paths "#define LANTERN_${id}_INFO \"${stamp_dir}/info-${size}.xml\"\n")
endforeach()
add_custom_target(e2e_stamped DEPENDS ${stamped_files})
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/stamp_paths.h" CONTENT "${stamp_paths}")
add_dependencies(lantern_e2e_tests e2e_stamped e2e_signed_info)
