// The code-page conversions both ways: what the log writes and what the
// catalogue and information block are read as.
#include "core/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace lantern {
namespace {

// Whether this machine's ANSI code page is 1252, the one the cases are written for.
bool IsCodePage1252() { return ToAnsiCodePage(L"\u20ac\u00e9") == std::string("\x80\xe9"); }

TEST(CodePage, TextGoesBothWaysAndUnknownCharactersBecomeTheDefault) {
  if (!IsCodePage1252()) GTEST_SKIP() << "the ANSI code page here is not 1252";
  struct Case {
    std::wstring wide;
    std::string bytes;
  };
  for (const Case& c : {Case{L"", ""}, Case{L"plain", "plain"},
                        Case{L"caf\u00e9 \u20ac5",
                             "caf\xe9 \x80"
                             "5"},
                        Case{std::wstring(L"a\0b", 3), std::string("a\0b", 3)}}) {
    EXPECT_EQ(ToAnsiCodePage(c.wide), c.bytes);
    EXPECT_EQ(FromAnsiCodePage(c.bytes), c.wide);
  }
  EXPECT_EQ(ToAnsiCodePage(L"x\u4e2dy"), std::string("x?y"));
}

TEST(CodePage, LongTextConvertsWhole) {
  const std::wstring wide(200000, L'w');
  const std::optional<std::string> bytes = ToAnsiCodePage(wide);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), wide.size());
  EXPECT_EQ(FromAnsiCodePage(*bytes), wide);
}

}  // namespace
}  // namespace lantern
