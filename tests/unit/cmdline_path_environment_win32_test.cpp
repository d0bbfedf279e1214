// The real path environment, under the system the tests run on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cmdline/path_environment_win32.h"

namespace lantern {
namespace {

std::wstring CurrentFolder() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(needed, L'\0');
  folder.resize(GetCurrentDirectoryW(needed, folder.data()));
  return folder;
}

TEST(Win32PathEnvironment, TempPathEndsInABackslash) {
  const std::wstring temp = Win32PathEnvironment().TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
}

TEST(Win32PathEnvironment, ShellFoldersAndDrives) {
  Win32PathEnvironment environment;
  const std::optional<std::wstring> user = environment.UserAppDataPath();
  const std::optional<std::wstring> common = environment.CommonAppDataPath();
  ASSERT_TRUE(user.has_value());
  ASSERT_TRUE(common.has_value());
  EXPECT_NE(*user, *common);
  EXPECT_EQ(common->substr(1, 2), L":\\");

  const std::wstring windows_drive = environment.WindowsDrive();
  ASSERT_EQ(windows_drive.size(), 2u);
  EXPECT_EQ(windows_drive[1], L':');
  EXPECT_EQ(environment.SystemDrive(), windows_drive);
}

TEST(Win32PathEnvironment, FullPathJoinsTheCurrentFolder) {
  std::wstring expected = CurrentFolder();
  if (expected.back() != L'\\') {
    expected += L'\\';
  }
  expected += L"work\\run.log";
  EXPECT_EQ(Win32PathEnvironment().FullPath(L"work\\run.log"), expected);
  EXPECT_EQ(Win32PathEnvironment().FullPath(L"D:\\a\\.\\b\\..\\c"), L"D:\\a\\c");
}

TEST(Win32PathEnvironment, FullPathHasNoLengthLimit) {
  std::wstring path = L"C:\\";
  while (path.size() < 300) {
    path += std::wstring(49, L'd') + L"\\";
  }
  path.resize(300);
  EXPECT_EQ(Win32PathEnvironment().FullPath(path), path);
}

TEST(Win32PathEnvironment, FullPathOfNothingFails) {
  EXPECT_EQ(Win32PathEnvironment().FullPath(L""), std::nullopt);
}

}  // namespace
}  // namespace lantern
