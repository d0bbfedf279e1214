#include "framework/module_path_win32.h"

namespace lantern {

std::wstring GetModulePath(GetModuleFileNameFn get_module_file_name) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = get_module_file_name(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

}  // namespace lantern
