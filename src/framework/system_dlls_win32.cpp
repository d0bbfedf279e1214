#include "framework/system_dlls_win32.h"

#include <string>

namespace lantern {

namespace {
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;
#endif

// Written once, by the first thing the program does, before any other thread.
bool dll_search_restricted = false;
}  // namespace

bool HardenDllSearchPath() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default = ModuleFunction<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"),
                                                                "SetDefaultDllDirectories");
  dll_search_restricted = set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Older systems lack SetDefaultDllDirectories. There the program's own
  // folder stays first in the search, and no call can take it out; only the
  // current folder goes. The run then refuses to start.
  if (!dll_search_restricted) SetDllDirectoryW(L"");
  return dll_search_restricted;
}

bool IsDllSearchRestricted() { return dll_search_restricted; }

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  // Systems without the search flags reject it; name the file in full instead.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace lantern
