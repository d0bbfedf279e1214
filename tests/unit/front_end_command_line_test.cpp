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
        FrontEndCase{"lone backslash", {L"temp", L"\\"}, L"", L"/temp \"\\\\\" VT_I=\"\" "},
        FrontEndCase{
            "relative temp folder", {L"temp", L"work\\"}, L"", L"/temp \"C:\\x\\work\\\\\" VT_I=\"\" "},
        FrontEndCase{"full path", {L"extract", L"out"}, L"", L"/extract \"C:\\x\\out\" VT_I=\"\" "},
        FrontEndCase{"consumed switches", {L"/keep", L"/dontrun", L"/zeroguid"}, L"", L"VT_I=\"\" "},
        FrontEndCase{"switch in another case", {L"/Keep"}, L"", L"/Keep VT_I=\"\" "},
        FrontEndCase{"property with a space",
                     {L"INSTALLDIR=C:\\Program Files\\Vantrel"},
                     L"",
                     L"\"INSTALLDIR=C:\\Program Files\\Vantrel\" VT_I=\"\" "},
        FrontEndCase{"property with a tab", {L"A=b\tc"}, L"", L"\"A=b\tc\" VT_I=\"\" "},
        FrontEndCase{"property with quotes", {L"X=\"q\""}, L"", L"\"X=\\\"q\\\"\" VT_I=\"\" "},
        FrontEndCase{"backslashes before a quote", {L"X=a\\\\\"b"}, L"", L"\"X=a\\\\\\\\\\\"b\" VT_I=\"\" "},
        FrontEndCase{"backslashes without a quote stay single",
                     {L"X=a\\\\b c\\d"},
                     L"",
                     L"\"X=a\\\\b c\\d\" VT_I=\"\" "},
        FrontEndCase{"empty token", {L"", L"A=1"}, L"", L"\"\" A=1 VT_I=\"\" "},
        FrontEndCase{"switch with a space", {L"/a b"}, L"", L"\"/a b\" VT_I=\"\" "},
        FrontEndCase{"path that reads as TRUE", {L"temp", L"true"}, L"", L"/temp \"C:\\x\\true\" VT_I=\"\" "},
        FrontEndCase{"path word in another case that reads as TRUE",
                     {L"LOG", L"TRUE"},
                     L"",
                     L"/LOG \"TRUE\" VT_I=\"\" "},
        FrontEndCase{
            "quoted CFU value", {L"CFU=\"two", L"words\""}, L"", L"\"CFU=\\\"two words\\\"\" VT_I=\"\" "},
        FrontEndCase{"name with quotes",
                     {},
                     L"Quote\" PROP=injected /extract \"C:\\pwn\\",
                     L"VT_I=\"Quote\\\" PROP=injected /extract \\\"C:\\pwn\\\\\" "}));

TEST(BuildFrontEndCommandLine, ReplacesTheOutput) {
  CCommandLineInfoEx parser;
  parser.SetValue(L"p", L"x\\");        // two characters ending in a backslash
  parser.SetValue(L"q", L"a\"b");       // the quote escaped
  parser.SetValue(L"r", L"tRUE");       // not a switch: passed as a value
  parser.ParseParam(L"s", true, true);  // a switch: bare
  std::wstring out = L"previous";
  BuildFrontEndCommandLine(parser, L"N", out);
  EXPECT_EQ(out, L"/p \"x\\\\\" /s /r \"tRUE\" /q \"a\\\"b\" VT_I=\"N\" ");
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

struct QuoteCase {
  std::wstring argument;
  bool always_quote;
  std::wstring written;
};

void PrintTo(const QuoteCase& c, std::ostream* os) { *os << Narrow(c.argument); }

class QuoteArgumentCases : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteArgumentCases, WritesThis) {
  EXPECT_EQ(QuoteArgument(GetParam().argument, GetParam().always_quote), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuoteArgumentCases,
    testing::Values(
        // Nothing to protect: as it is, backslashes included.
        QuoteCase{L"VT_PFUR_ENABLED=1", false, L"VT_PFUR_ENABLED=1"},
        QuoteCase{L"c:\\dir\\", false, L"c:\\dir\\"},
        QuoteCase{L"\\\\server\\share", false, L"\\\\server\\share"},
        // Blanks, quotes and the empty text are quoted.
        QuoteCase{L"a b", false, L"\"a b\""}, QuoteCase{L"a\tb", false, L"\"a\tb\""},
        QuoteCase{L"", false, L"\"\""}, QuoteCase{L"\"", false, L"\"\\\"\""},
        QuoteCase{L"a\"b", false, L"\"a\\\"b\""},
        // Backslashes double only before a quote, escaped or closing.
        QuoteCase{L"a\\\"b", false, L"\"a\\\\\\\"b\""}, QuoteCase{L"a\\\\\"b", false, L"\"a\\\\\\\\\\\"b\""},
        QuoteCase{L"a b\\", false, L"\"a b\\\\\""}, QuoteCase{L"a b\\\\", false, L"\"a b\\\\\\\\\""},
        QuoteCase{L"a\\b c", false, L"\"a\\b c\""},
        // Always quoted: a value or the installer's name.
        QuoteCase{L"c:\\log.txt", true, L"\"c:\\log.txt\""}, QuoteCase{L"\\", true, L"\"\\\\\""},
        QuoteCase{L"D:\\", true, L"\"D:\\\\\""}, QuoteCase{L"", true, L"\"\""}));

// Texts that a careless command line changes on the way: each one reaches the
// front end unchanged wherever it stands, as a plain token, a switch, a path
// or the installer's name, when the runtime splits the line again.
TEST(BuildFrontEndCommandLine, HostileTextsSurviveTheRuntimesSplitting) {
  const std::wstring texts[] = {
      L"a b",
      L"a\tb",
      L"\"",
      L"a\"b",
      L"\"quoted\"",
      L"\\",
      L"\\\\",
      L"a\\",
      L"a\\\\",
      L"a b\\",
      L"a\\\"b",
      L"a\\\\\"b",
      L"\\\"",
      L"\"\"",
      L"",
      L"=",
      L"K=v=w",
      L"NAME=a \"b\" c",
      L"C:\\Program Files\\",
      L"J\u00fcrgen \u03a9 \u0416\u0443\u0440\u043d\u0430\u043b \U0001F600",
      L"Quote\" PROP=injected /extract \"C:\\pwn",
  };
  const std::wstring program = L"\"C:\\w\\front.exe\" ";
  for (const std::wstring& text : texts) {
    SCOPED_TRACE(Narrow(text));
    const struct {
      std::vector<std::wstring> tokens;
      std::wstring installer_name;
      std::vector<std::wstring> front_end;
    } placements[] = {
        {{text}, L"N", {text, L"VT_I=N"}},
        {{L"/" + text}, L"N", {L"/" + text, L"VT_I=N"}},
        {{L"extract", L"C:\\d\\" + text}, L"N", {L"/extract", L"C:\\d\\" + text, L"VT_I=N"}},
        {{}, text, {L"VT_I=" + text}},
    };
    for (const auto& placement : placements) {
      testing_fakes::FakePathEnvironment environment;
      testing_fakes::RecordingLogSystem system;
      DiagnosticLog log(system);
      RunOptions options;
      ASSERT_EQ(ParseOptions(placement.tokens, placement.installer_name, environment, log, options), rc::Ok);
      EXPECT_EQ(SplitCommandLine(program + options.FrontEndCommandLine), placement.front_end)
          << Narrow(options.FrontEndCommandLine);
    }
  }
}

}  // namespace
}  // namespace lantern
