#include "framework/module_path_win32.h"

#include <utility>

namespace lantern {

std::wstring GetModulePath(GetModuleFileNameFn get_module_file_name) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = get_module_file_name(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

OwnFile OpenOwnFile(std::wstring path) {
  OwnFile file;
  file.path = std::move(path);
  if (file.path.empty()) {
    file.open_error = ERROR_FILE_NOT_FOUND;
    return file;
  }
  file.handle.reset(
      CreateFileW(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.handle) file.open_error = GetLastError();
  return file;
}

}  // namespace lantern
