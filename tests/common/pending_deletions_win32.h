// The Session Manager's list of what to delete at the next restart
// (PendingFileRenameOperations), read and cleared by tests of the removal.
#pragma once

#include <windows.h>

#include <string>

namespace lantern::testing_support {

inline constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";

inline std::wstring PendingDeletions() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  std::wstring value;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) ==
      ERROR_SUCCESS) {
    value.resize(size / sizeof(wchar_t));
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE*>(value.data()), &size);
  }
  RegCloseKey(key);
  return value;
}

inline void ClearPendingDeletions() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, L"PendingFileRenameOperations");
    RegCloseKey(key);
  }
}

}  // namespace lantern::testing_support
