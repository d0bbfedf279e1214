#include "cmdline/path_environment_win32.h"

#include <shlobj.h>
#include <windows.h>

namespace lantern {
namespace {

// The room the default root is worked out in.
constexpr DWORD kRootBufferLength = 1024;

std::optional<std::wstring> ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return std::nullopt;
  }
  return std::wstring(buffer);
}

}  // namespace

std::wstring Win32PathEnvironment::TempPath() {
  wchar_t buffer[kRootBufferLength] = {};
  const DWORD length = GetTempPathW(kRootBufferLength, buffer);
  // A longer path is not written at all: the buffer stays empty.
  if (length == 0 || length >= kRootBufferLength) {
    return std::wstring();
  }
  return std::wstring(buffer, length);
}

std::optional<std::wstring> Win32PathEnvironment::UserAppDataPath() { return ShellFolder(CSIDL_APPDATA); }

std::optional<std::wstring> Win32PathEnvironment::CommonAppDataPath() {
  return ShellFolder(CSIDL_COMMON_APPDATA);
}

std::optional<std::wstring> Win32PathEnvironment::SystemDrive() {
  wchar_t buffer[kRootBufferLength] = {};
  SetLastError(ERROR_SUCCESS);  // an empty value also gives 0
  const DWORD length = GetEnvironmentVariableW(L"SystemDrive", buffer, kRootBufferLength);
  // Unset, or too long for the buffer: either way there is no drive to take.
  if ((length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) || length >= kRootBufferLength) {
    return std::nullopt;
  }
  return std::wstring(buffer, length);
}

std::wstring Win32PathEnvironment::WindowsDrive() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  if (length < 2 || length > MAX_PATH || buffer[1] != L':') {
    return std::wstring();
  }
  return std::wstring(buffer, 2);
}

std::optional<std::wstring> Win32PathEnvironment::FullPath(const std::wstring& path) {
  // Asked for the size first; the current folder can change between the two
  // calls, so a result that no longer fits is asked for again.
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  while (needed != 0) {
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0) {
      break;
    }
    if (length < needed) {
      full.resize(length);
      return full;
    }
    needed = length;
  }
  return std::nullopt;
}

}  // namespace lantern
