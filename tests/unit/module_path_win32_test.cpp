// The program's own path: the real one, and none rather than a cut one.
#include "framework/module_path_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace lantern {
namespace {

TEST(ModulePath, IsThisProgramsFile) {
  wchar_t own[4 * MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, 4 * MAX_PATH);
  EXPECT_EQ(GetModulePath(GetModuleFileNameW), own);
}

// What the system answers for a program at a path of `module_path_length`
// characters, into a buffer of `size`: as much as fits, the length written,
// or `size` when the path was cut.
std::size_t module_path_length = 0;
DWORD WINAPI FakeGetModuleFileName(HMODULE, LPWSTR buffer, DWORD size) {
  const std::wstring path = L"C:\\" + std::wstring(module_path_length - 3, L'p');
  lstrcpynW(buffer, path.c_str(), static_cast<int>(size));
  if (path.size() >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return static_cast<DWORD>(path.size());
}

TEST(ModulePath, APathThatDoesNotFitIsNoPathRatherThanAnotherFilesPath) {
  module_path_length = MAX_PATH - 1;
  EXPECT_EQ(GetModulePath(FakeGetModuleFileName).size(), MAX_PATH - 1u);
  // Cut to fit, it would name another file, which the checks would judge instead.
  for (std::size_t length : {std::size_t{MAX_PATH}, std::size_t{MAX_PATH + 40}}) {
    module_path_length = length;
    EXPECT_EQ(GetModulePath(FakeGetModuleFileName), L"") << length;
  }
}

}  // namespace
}  // namespace lantern
