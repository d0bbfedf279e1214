// The program's own path: the real one, and none rather than a cut one; the
// program's own file, held open so that no one else can change it.
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

TEST(OwnFile, WhileItIsOpenNoOneCanWriteRenameOrDeleteIt) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"lantern-own-file-test.exe";
  const std::wstring moved = path + L".moved";
  {
    const UniqueFileHandle made(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(made);
  }
  {
    const OwnFile own = OpenOwnFile(path);
    ASSERT_TRUE(own.handle);
    EXPECT_EQ(own.path, path);
    // Other readers are welcome.
    EXPECT_TRUE(UniqueFileHandle(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)));
    const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    EXPECT_FALSE(UniqueFileHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileW(path.c_str(), moved.c_str()));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
  }
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST(OwnFile, AFailedOpenKeepsTheSystemsError) {
  const OwnFile missing = OpenOwnFile(L"C:\\no such folder\\setup.exe");
  EXPECT_FALSE(missing.handle);
  EXPECT_EQ(missing.open_error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // No path: nothing to open, and nothing opened in its place.
  const OwnFile none = OpenOwnFile(L"");
  EXPECT_FALSE(none.handle);
  EXPECT_EQ(none.open_error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace lantern
