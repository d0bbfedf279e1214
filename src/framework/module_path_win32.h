// The full path of the running program's own file, which the checks of that
// file (its signature, its embedded payload) must all look at.
#pragma once

#include <windows.h>

#include <string>

namespace lantern {

// How the system names a module's file; GetModuleFileNameW, or a test's stand-in.
using GetModuleFileNameFn = DWORD(WINAPI*)(HMODULE module, LPWSTR buffer, DWORD size);

// The full path of the running program's file. Empty when the system does not
// give it, or when it does not fit in MAX_PATH characters: a cut path would
// name another file, and the checks that use this path must look at this one.
std::wstring GetModulePath(GetModuleFileNameFn get_module_file_name);

}  // namespace lantern
