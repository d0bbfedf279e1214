// Splitting a command line as the C runtime does: the tokens the parser sees
// must not depend on how the build's start-up splits.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cmdline/run_options.h"
#include "run_options_fakes.h"

namespace lantern {
namespace {

struct SplitCase {
  const wchar_t* command_line;
  std::vector<std::wstring> tokens;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << testing_fakes::Narrow(c.command_line); }

class SplitCommandLineCases : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineCases, GivesTheRuntimesTokens) {
  EXPECT_EQ(SplitCommandLine(GetParam().command_line), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineCases,
    testing::Values(
        // Blanks: spaces and tabs, in runs, leading and trailing.
        SplitCase{L"", {}}, SplitCase{L"setup.exe", {}}, SplitCase{L"setup.exe   ", {}},
        SplitCase{L"setup.exe a b", {L"a", L"b"}}, SplitCase{L"setup.exe \t a\t\tb  ", {L"a", L"b"}},
        SplitCase{L"setup.exe a\nb", {L"a\nb"}},
        // Quotes group and are removed, also in the middle of a token.
        SplitCase{L"setup.exe \"a b\" c", {L"a b", L"c"}},
        SplitCase{L"setup.exe a\"b c\"d e", {L"ab cd", L"e"}}, SplitCase{L"setup.exe \"a\tb\"", {L"a\tb"}},
        SplitCase{L"setup.exe \"open to the end ", {L"open to the end "}},
        SplitCase{L"setup.exe \"\"", {L""}}, SplitCase{L"setup.exe \"\" x \"\"", {L"", L"x", L""}},
        // Two quotes inside a quoted part stand for one literal quote and the
        // part goes on; outside, a quote opens a part that the next one closes.
        SplitCase{L"setup.exe a\"\"b", {L"ab"}}, SplitCase{L"setup.exe \"\"\"a\"\"\"", {L"\"a\""}},
        SplitCase{L"setup.exe \"a\"\" b\"", {L"a\" b"}},
        SplitCase{L"setup.exe \"NAME=a \"\"b\"\" c\" d", {L"NAME=a \"b\" c", L"d"}},
        SplitCase{L"setup.exe \"\"\"", {L"\""}}, SplitCase{L"setup.exe \"\"\"\" x", {L"\"", L"x"}},
        SplitCase{L"setup.exe \"a\"\"", {L"a\""}}, SplitCase{L"setup.exe \"a\\\\\"\"b\"", {L"a\\\"b"}},
        // Backslashes: literal unless a quote follows.
        SplitCase{L"setup.exe c:\\dir\\\\file\\", {L"c:\\dir\\\\file\\"}},
        SplitCase{L"setup.exe a\\\"b", {L"a\"b"}},                  // 1: a literal quote
        SplitCase{L"setup.exe a\\\\\"b c\"", {L"a\\b c"}},          // 2: one and a grouping quote
        SplitCase{L"setup.exe a\\\\\\\"b c", {L"a\\\"b", L"c"}},    // 3: one and a literal quote
        SplitCase{L"setup.exe \"a\\\\\\\\\" b", {L"a\\\\", L"b"}},  // 4: two and a grouping quote
        SplitCase{L"setup.exe /temp \"D:\\\\\" x", {L"/temp", L"D:\\", L"x"}},
        SplitCase{L"setup.exe /temp \"D:\\\" x", {L"/temp", L"D:\" x"}},
        // A CFU value with escaped quotes is split at its space.
        SplitCase{L"setup.exe CFU=\\\"two words\\\" X=1", {L"CFU=\"two", L"words\"", L"X=1"}},
        // Argument 0: to the first blank outside quotes, the quotes only
        // grouping, backslashes plain.
        SplitCase{L"\"C:\\Program Files\\setup.exe\" a", {L"a"}},
        SplitCase{L"\"C:\\Program Files\\setup.exe\"a b", {L"b"}},
        SplitCase{L"\"C:\\a b\"\\Setup.exe /x", {L"/x"}},
        SplitCase{L"C:\\\"a b\"\\Setup.exe \"/x y\"", {L"/x y"}}, SplitCase{L"\"C:\\dir\\\\\" a", {L"a"}},
        SplitCase{L"\"C:\\dir\\\" a", {L"a"}}, SplitCase{L"C:\\dir\\\"setup.exe a", {}},
        SplitCase{L"C:\\dir\\\"setup\".exe a", {L"a"}}, SplitCase{L"\"C:\\no end a b", {}},
        SplitCase{L"setup.exe\ta", {L"a"}}, SplitCase{L" a b", {L"a", L"b"}}));

TEST(SplitCommandLine, StopsAtATerminator) {
  const std::wstring line(L"setup.exe a\0b c", 15);
  EXPECT_EQ(SplitCommandLine(line), std::vector<std::wstring>{L"a"});
}

}  // namespace
}  // namespace lantern
