// How tokens reach ParseParam: one prefix character ('/' or '-') marks a
// switch and is removed, and only the final token is the last.
#include "framework/command_line_info.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace lantern {
namespace {

class RecordingCommandLineInfo final : public CCommandLineInfo {
 public:
  void ParseParam(const wchar_t* token, bool isSwitch, bool isLast) override {
    calls.emplace_back(token, isSwitch, isLast);
  }
  std::vector<std::tuple<std::wstring, bool, bool>> calls;
};

TEST(ParseCommandLine, MarksSwitchesAndTheLastToken) {
  RecordingCommandLineInfo info;
  ParseCommandLine({L"/a", L"-b", L"//x", L"-/y", L"c", L"", L"x/y", L"-"}, info);
  const std::vector<std::tuple<std::wstring, bool, bool>> expected = {
      {L"a", true, false},  {L"b", true, false}, {L"/x", true, false},   {L"/y", true, false},
      {L"c", false, false}, {L"", false, false}, {L"x/y", false, false}, {L"", true, true},
  };
  EXPECT_EQ(info.calls, expected);
}

TEST(ParseCommandLine, NoTokensNoCalls) {
  RecordingCommandLineInfo info;
  ParseCommandLine({}, info);
  EXPECT_TRUE(info.calls.empty());
}

TEST(ParseCommandLine, ASingleTokenIsTheLast) {
  RecordingCommandLineInfo info;
  ParseCommandLine({L"log"}, info);
  ASSERT_EQ(info.calls.size(), 1u);
  EXPECT_EQ(info.calls[0], std::make_tuple(std::wstring(L"log"), false, true));
}

}  // namespace
}  // namespace lantern
