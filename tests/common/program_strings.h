// This test program's own configuration strings: its string-table resource
// in the Windows build, the built-in default entries in the native one.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "app/config_strings_win32.h"
#else
#include "app/built_in_strings.h"
#endif

namespace lantern::testing_fakes {

inline const StringTable& ProgramStrings() {
#ifdef _WIN32
  static const ResourceStringTable table(GetModuleHandleW(nullptr));
#else
  static const BuiltInStringTable table;
#endif
  return table;
}

}  // namespace lantern::testing_fakes
