// Runs of a real bootstrapper under Wine.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e_paths.h"
#include "e2e_support.h"

namespace lantern::e2e {
namespace {

TEST(Run, WritesStartAndEndLinesWithCrLfToTheNamedLog) {
  TempFolder temp;
  const std::wstring log = temp / L"run log.txt";
  const auto result = RunProgram(L"\"" + HostPath(LANTERN_BASIC_EXE) + L"\" log \"" + log + L"\"");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const std::string text = ReadText(log);
  EXPECT_TRUE(std::regex_search(text, std::regex("(^|\r\n)Started -?[0-9]+\r\n(.*\r\n)*Ended -?[0-9]+\r\n$")))
      << text;
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "a line without CR LF in:\n" << text;
  }
}

}  // namespace
}  // namespace lantern::e2e
