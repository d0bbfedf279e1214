// The full path of the running program's own file, which the checks of that
// file (its signature, its embedded payload) must all look at.
#pragma once

#include <windows.h>

#include <string>

#include "framework/unique_handle_win32.h"

namespace lantern {

// How the system names a module's file; GetModuleFileNameW, or a test's stand-in.
using GetModuleFileNameFn = DWORD(WINAPI*)(HMODULE module, LPWSTR buffer, DWORD size);

// The full path of the running program's file. Empty when the system does not
// give it, or when it does not fit in MAX_PATH characters: a cut path would
// name another file, and the checks that use this path must look at this one.
std::wstring GetModulePath(GetModuleFileNameFn get_module_file_name);

// The program's own file, opened once for the whole run. Its signature is
// checked and its information block read through this one handle, and while
// it is open no one can write to the file, rename it or delete it, so what
// was checked is what is read.
struct OwnFile {
  std::wstring path;
  UniqueFileHandle handle;  // empty when the open failed
  DWORD open_error = 0;     // the system's error when it did
};

// Opens `path` for reading, sharing it for reading only. An empty path is
// not opened (ERROR_FILE_NOT_FOUND).
OwnFile OpenOwnFile(std::wstring path);

}  // namespace lantern
