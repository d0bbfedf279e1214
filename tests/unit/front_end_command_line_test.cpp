// The front end's argument text, from the user's tokens through the options
// step, and the quoting rule that keeps a path's last backslash intact.
#include "cmdline/front_end_command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cmdline/run_options.h"
#include "run_options_fakes.h"

namespace lantern {
namespace {

using testing_fakes::Narrow;

struct FrontEndCase {
  const char* name;
  std::vector<std::wstring> tokens;
  std::wstring installer_name;
  std::wstring line;
};

void PrintTo(const FrontEndCase& c, std::ostream* os) { *os << c.name; }

class FrontEndCases : public testing::TestWithParam<FrontEndCase> {};

TEST_P(FrontEndCases, GiveThisText) {
  testing_fakes::FakePathEnvironment environment;  // current folder C:\x
  testing_fakes::RecordingLogSystem system;
  DiagnosticLog log(system);
  RunOptions options;
  ParseOptions(GetParam().tokens, GetParam().installer_name, environment, log, options);
  EXPECT_EQ(options.FrontEndCommandLine, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, FrontEndCases,
    testing::Values(
        FrontEndCase{"worked example",
                     {L"log", L"c:\\log.txt", L"/IAgreeToTheEULA", L"VT_PFUR_ENABLED=1"},
                     L"Vantrel Installer",
                     L"VT_PFUR_ENABLED=1 /log \"c:\\log.txt\" /IAgreeToTheEULA VT_I=\"Vantrel Installer\" "},
        FrontEndCase{"no arguments", {}, L"Vantrel Installer", L"VT_I=\"Vantrel Installer\" "},
        FrontEndCase{"no arguments, no name yet", {}, L"", L"VT_I=\"\" "},
        FrontEndCase{"drive root", {L"temp", L"D:\\"}, L"", L"/temp \"D:\\\\\" VT_I=\"\" "},
        FrontEndCase{"lone backslash", {L"temp", L"\\"}, L"", L"/temp \"\\\" VT_I=\"\" "},
        FrontEndCase{"full path", {L"extract", L"out"}, L"", L"/extract \"C:\\x\\out\" VT_I=\"\" "},
        FrontEndCase{"consumed switches", {L"/keep", L"/dontrun", L"/zeroguid"}, L"", L"VT_I=\"\" "},
        FrontEndCase{"switch in another case", {L"/Keep"}, L"", L"/Keep VT_I=\"\" "},
        FrontEndCase{"quoted property", {L"A=b c"}, L"", L"A=b c VT_I=\"\" "},
        FrontEndCase{"path that reads as TRUE", {L"temp", L"true"}, L"", L"/temp VT_I=\"\" "},
        FrontEndCase{"quotes are not escaped",
                     {L"CFU=\"two", L"words\""},
                     L"My \"Quoted\" Name",
                     L"CFU=\"two words\" VT_I=\"My \"Quoted\" Name\" "}));

TEST(BuildFrontEndCommandLine, ReplacesTheOutput) {
  CCommandLineInfoEx parser;
  parser.SetValue(L"p", L"x\\");   // two characters ending in a backslash
  parser.SetValue(L"q", L"a\"b");  // written unchanged
  parser.SetValue(L"r", L"tRUE");  // a bare switch
  std::wstring out = L"previous";
  BuildFrontEndCommandLine(parser, L"N", out);
  EXPECT_EQ(out, L"/p \"x\\\\\" /r /q \"a\"b\" VT_I=\"N\" ");
}

// What the front end gets back when the runtime splits the text again: the
// doubled backslash keeps the path whole and the quote closing.
TEST(BuildFrontEndCommandLine, PathsSurviveTheRuntimesSplitting) {
  testing_fakes::FakePathEnvironment environment;
  testing_fakes::RecordingLogSystem system;
  DiagnosticLog log(system);
  RunOptions options;
  ParseOptions({L"temp", L"D:\\", L"log", L"c:\\my logs\\run.log"}, L"Vantrel Installer", environment, log,
               options);
  const std::vector<std::wstring> expected = {L"/temp", L"D:\\", L"/log", L"c:\\my logs\\run.log",
                                              L"VT_I=Vantrel Installer"};
  EXPECT_EQ(SplitCommandLine(L"\"C:\\w\\front.exe\" " + options.FrontEndCommandLine), expected)
      << Narrow(options.FrontEndCommandLine);
}

}  // namespace
}  // namespace lantern
