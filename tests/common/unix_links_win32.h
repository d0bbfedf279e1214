// Unix symbolic links for Windows tests under Wine, which shows a link to a
// folder as a reparse point (a link to a file looks like the file itself).
// Windows programs cannot make one there, so /bin/ln does.
#pragma once

#include <windows.h>

#include <string>

namespace lantern::testing_support {

// The Unix path of a Windows path, from Wine's own kernel32.
inline std::string UnixPath(const std::wstring& path) {
  using UnixFileNameFn = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return {};
  char* name = unix_name(path.c_str());
  if (!name) return {};
  std::string text = name;
  HeapFree(GetProcessHeap(), 0, name);
  return text;
}

// Runs a Unix program (Wine starts those too) and waits for it.
inline bool RunUnix(const wchar_t* program, std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

inline bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::wstring WideOf(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A link at `link` to `target`; true once it shows (as a reparse point, for a
// folder). Its making may show a moment later.
inline bool MakeUnixLink(const std::wstring& target, const std::wstring& link) {
  RunUnix(L"Z:\\bin\\ln", L"ln -s \"" + WideOf(UnixPath(target)) + L"\" \"" + WideOf(UnixPath(link)) + L"\"");
  for (int i = 0; i < 50 && !PathExists(link); ++i) Sleep(20);
  if (!PathExists(link)) return false;
  const DWORD target_attributes = GetFileAttributesW(target.c_str());
  const bool folder =
      target_attributes != INVALID_FILE_ATTRIBUTES && (target_attributes & FILE_ATTRIBUTE_DIRECTORY);
  return !folder || (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a link the Unix way: Windows deletions under Wine go through to the
// target. Like the link's making, its removal may show a moment later.
inline void RemoveUnixLink(const std::wstring& link) {
  if (!PathExists(link)) return;
  RunUnix(L"Z:\\bin\\rm", L"rm -f \"" + WideOf(UnixPath(link)) + L"\"");
  for (int i = 0; i < 50 && PathExists(link); ++i) Sleep(20);
}

}  // namespace lantern::testing_support
