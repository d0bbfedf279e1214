#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <new>
#include <vector>

#include "checks/machine_win32.h"
#include "core/when_memory_fails.h"
#include "framework/system_dlls_win32.h"
#include "framework/unique_handle_win32.h"

namespace lantern {

namespace {

using GetFileVersionInfoSizeWFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

}  // namespace

bool Win32SystemFiles::GetSystemFolder(std::wstring& path) {
  LPITEMIDLIST found = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_SYSTEM, &found))) return false;
  const UniqueTaskMemory list(found);  // the shell's allocator
  wchar_t folder[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(found, folder)) return false;
  path = folder;
  path += L'\\';
  return true;
}

bool Win32SystemFiles::GetFileVersion(const std::wstring& path, std::uint32_t& major, std::uint32_t& minor) {
  static const auto get_size =
      SystemFunction<GetFileVersionInfoSizeWFn>(L"version.dll", "GetFileVersionInfoSizeW");
  static const auto get_info = SystemFunction<GetFileVersionInfoWFn>(L"version.dll", "GetFileVersionInfoW");
  static const auto query_value = SystemFunction<VerQueryValueWFn>(L"version.dll", "VerQueryValueW");
  if (!get_size || !get_info || !query_value) return false;

  DWORD ignored = 0;
  const DWORD size = get_size(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block;
  LANTERN_TRY {
    block.resize(size);
  } LANTERN_CATCH(const std::bad_alloc&) {
    return false;
  }
  if (!get_info(path.c_str(), 0, size, block.data())) return false;

  void* root = nullptr;
  UINT length = 0;
  if (!query_value(block.data(), L"\\", &root, &length) || !root) return false;
  // A short record is no fixed information, whatever its first bytes say.
  if (length < sizeof(VS_FIXEDFILEINFO)) return false;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
  if (fixed->dwSignature != kFixedFileInfoSignature) return false;
  major = HIWORD(fixed->dwFileVersionMS);
  minor = LOWORD(fixed->dwFileVersionMS);
  return true;
}

}  // namespace lantern
