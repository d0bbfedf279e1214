# Compiler settings shared by every Lantern target.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_library(lantern_options INTERFACE)
target_compile_features(lantern_options INTERFACE cxx_std_20)

if(MSVC)
  target_compile_options(lantern_options INTERFACE /W4 /permissive- /utf-8)
else()
  target_compile_options(lantern_options INTERFACE -Wall -Wextra -Wshadow -Wno-missing-field-initializers)
endif()

if(WIN32)
  target_compile_definitions(lantern_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  if(MINGW)
    # One self-contained executable: no libgcc, libstdc++ or winpthread DLLs beside it.
    target_link_options(lantern_options INTERFACE -static)
  endif()
elseif(LANTERN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LANTERN_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  # Every logic file carries the coverage hooks libFuzzer steers by; only the
  # harnesses link the fuzzer's own main. -O1 keeps the runs fast and the
  # reports readable.
  target_compile_options(lantern_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g)
  target_link_options(lantern_options INTERFACE -fsanitize=address,undefined)
elseif(LANTERN_SANITIZE)
  target_compile_options(lantern_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(lantern_options INTERFACE -fsanitize=address,undefined)
endif()

# The bootstrapper's own code (its libraries and the stub) is built for size:
# it is downloaded with every product, and nothing in it is hot enough for
# -O3 to show. Each function and datum in a section of its own lets the
# stub's link drop what it never calls. The test programs keep the build
# type's flags.
add_library(lantern_compact INTERFACE)
if(MINGW)
  # No specialised local copies of functions either (-fipa-sra, -fipa-cp):
  # GCC makes them of the standard library's string and container code in
  # every file that calls it, and the link cannot share them (8 KB of the stub).
  target_compile_options(lantern_compact INTERFACE
    "$<$<NOT:$<CONFIG:Debug>>:-Os>" -ffunction-sections -fdata-sections -fno-ipa-sra -fno-ipa-cp)
endif()
