// Paths in the working folder: joins that fit or are not made at all, and the
// catalogue names that stay inside the folder.
#include "core/payload_paths.h"

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

// What Windows' path rules keep inside the working folder is extracted under
// its normalised name; what only ".." takes out, or what no file system file
// could be, is refused (nothing).
TEST(NormalisePayloadName, KeepsWhatStaysInsideAndRefusesWhatLeaves) {
  const struct {
    const wchar_t* name;
    const wchar_t* normalised;  // nullptr: refused
  } cases[] = {
      {L"payload.bin", L"payload.bin"},
      {L"sub folder\\nested.txt", L"sub folder\\nested.txt"},
      {L"..data", L"..data"},
      {L"a..b\\c", L"a..b\\c"},
      {L"sub\\\\x.bin", L"sub\\x.bin"},
      {L".\\x.bin", L"x.bin"},
      {L"\\x.bin", L"x.bin"},
      {L"\\\\server\\share\\x", L"server\\share\\x"},
      {L"sub/x.bin", L"sub\\x.bin"},
      {L"sub\\.\\x.bin", L"sub\\x.bin"},
      {L"sub\\..\\x.bin", L"x.bin"},
      {L"my file.bin ", L"my file.bin"},
      {L"trailing.\\x.bin.", L"trailing\\x.bin"},
      {L"console.txt", L"console.txt"},
      {L"com10", L"com10"},
      {L"", nullptr},
      {L".", nullptr},
      {L"\\", nullptr},
      {L"..\\escape.txt", nullptr},
      {L"../escape.txt", nullptr},
      {L"sub\\..\\..\\escape.txt", nullptr},
      {L"\\..\\escape.txt", nullptr},
      {L"...\\x", nullptr},
      {L". .\\x", nullptr},
      {L".. \\x", nullptr},
      {L"sub\\", nullptr},
      {L"C:\\Windows\\evil.dll", nullptr},
      {L"C:evil.dll", nullptr},
      {L"file.txt:stream", nullptr},
      {L"tab\there", nullptr},
      {L"wild*card", nullptr},
      {L"a<b", nullptr},
      {L"pipe|x", nullptr},
      {L"NUL", nullptr},
      {L"sub\\con.txt", nullptr},
      {L"Com1 .log", nullptr},
      {L"LPT9", nullptr},
      {L"conout$", nullptr},
      // Device names found by fuzzing: COM0 and LPT0, superscript digits.
      {L"LPT0", nullptr},
      {L"lpt\u00B2.txt", nullptr},
      {L"Aux .log", nullptr},
      {L"com1\\x.bin", nullptr},
      {L"nul_data.bin", L"nul_data.bin"},
      {L"data.con", L"data.con"},
  };
  for (const auto& c : cases) {
    const std::optional<std::wstring> normalised = NormalisePayloadName(c.name);
    const std::string shown(c.name, c.name + std::wcslen(c.name));
    if (c.normalised) {
      EXPECT_EQ(normalised, std::optional<std::wstring>(c.normalised)) << shown;
      EXPECT_TRUE(IsNameInsideFolder(c.name)) << shown;
    } else {
      EXPECT_FALSE(normalised.has_value()) << shown;
    }
  }
}

TEST(PayloadNameParts, SplitsANormalisedName) {
  EXPECT_EQ(PayloadNameParts(L"a\\b c\\d.bin"), (std::vector<std::wstring>{L"a", L"b c", L"d.bin"}));
  EXPECT_EQ(PayloadNameParts(L"x.bin"), (std::vector<std::wstring>{L"x.bin"}));
}

}  // namespace
}  // namespace lantern
