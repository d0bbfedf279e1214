# The prerequisite gates, end to end.

# A minimum of free space that no drive has.
lantern_add_test_bootstrapper(e2e_disk_full
  OUTPUT_NAME DiskFullSetup
  PAYLOAD $<TARGET_FILE:lantern_standin>
  FRONT_END standin.exe
  STRINGS 103 "2147483647")
target_compile_definitions(lantern_e2e_tests PRIVATE "LANTERN_DISK_FULL_EXE=\"$<TARGET_PROPERTY:e2e_disk_full,LANTERN_FILE>\"")
add_dependencies(lantern_e2e_tests e2e_disk_full)

# The test machine without its .NET Framework keys. Every other test of the
# prefix runs on the machine with them, so this one runs alone (RUN_SERIAL);
# its script takes the keys away and puts them back afterwards. A separate
# program, so that the main end-to-end run never meets that machine.
add_executable(lantern_e2e_machine_tests machines/without_dotnet_test.cpp e2e_support.cpp)
target_include_directories(lantern_e2e_machine_tests PRIVATE
  "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/../common" "${CMAKE_CURRENT_BINARY_DIR}/generated")
target_link_libraries(lantern_e2e_machine_tests PRIVATE lantern_options GTest::gtest_main ole32)
add_dependencies(lantern_e2e_machine_tests e2e_basic)
add_test(NAME e2e.without_dotnet
  COMMAND "${CMAKE_CURRENT_SOURCE_DIR}/machines/without_dotnet" "${LANTERN_WINE_HARNESS}" "${LANTERN_WINE_STATE}"
          "${CMAKE_CROSSCOMPILING_EMULATOR}" "$<TARGET_FILE:lantern_e2e_machine_tests>")
set_tests_properties(e2e.without_dotnet PROPERTIES
  FIXTURES_REQUIRED wine
  LABELS wine
  RUN_SERIAL TRUE
  TIMEOUT 300
  ENVIRONMENT "LANTERN_WINE_TIMEOUT=240")
