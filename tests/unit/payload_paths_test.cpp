// Paths in the working folder: joins that fit or are not made at all, and the
// catalogue names that stay inside the folder.
#include "payload/payload_paths.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace lantern {
namespace {

TEST(JoinPath, AddsOneBackslashAndDropsTheNamesLeadingOnes) {
  const struct {
    const wchar_t* folder;
    const wchar_t* name;
    const wchar_t* joined;
  } cases[] = {
      {L"C:\\Temp", L"{GUID}", L"C:\\Temp\\{GUID}"},
      {L"C:\\Temp\\", L"{GUID}", L"C:\\Temp\\{GUID}"},
      {L"C:\\Temp", L"\\\\info.xml", L"C:\\Temp\\info.xml"},
      {L"D:", L"{GUID}", L"D:\\{GUID}"},
      {L"", L"{GUID}", L"{GUID}"},
      {L"C:\\w", L"lib\\Extra.dll", L"C:\\w\\lib\\Extra.dll"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinPath(c.folder, c.name), std::wstring(c.joined));
  }
}

TEST(JoinPath, APathThatDoesNotFitIsNotMade) {
  const std::wstring folder = L"C:\\" + std::wstring(250, L'f');  // 253 characters
  EXPECT_EQ(JoinPath(folder, L"12345")->size(), 259u);            // the terminator fills the room
  EXPECT_FALSE(JoinPath(folder, L"123456").has_value());
  EXPECT_TRUE(JoinPath(folder, L"123456", 261).has_value());
}

TEST(IsNameInsideFolder, AcceptsOnlyRelativePathsThatStayInside) {
  const struct {
    const wchar_t* name;
    bool inside;
  } cases[] = {
      {L"payload.bin", true},
      {L"sub folder\\nested.txt", true},
      {L"my file.bin ", true},
      {L"..data", true},
      {L"a..b\\c", true},
      {L"", false},
      {L"..\\escape.txt", false},
      {L"sub\\..\\..\\escape.txt", false},
      {L".\\here.txt", false},
      {L"...\\x", false},
      {L". .\\x", false},
      {L"\\rooted.txt", false},
      {L"C:\\Windows\\evil.dll", false},
      {L"C:evil.dll", false},
      {L"file.txt:stream", false},
      {L"\\\\server\\share\\x", false},
      {L"sub\\\\x", false},
      {L"sub\\", false},
      {L"../escape.txt", false},
      {L"tab\there", false},
      // Device names, wherever they stand and with any extension.
      {L"LPT0", false},
      {L"CON", false},
      {L"sub\\nul.txt", false},
      {L"Aux .log", false},
      {L"com1\\x.bin", false},
      {L"conout$", false},
      {L"lpt\u00B2.txt", false},
      {L"console.txt", true},
      {L"com10", true},
      {L"nul_data.bin", true},
      {L"data.con", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNameInsideFolder(c.name), c.inside) << std::string(c.name, c.name + std::wcslen(c.name));
  }
}

}  // namespace
}  // namespace lantern
