// Runs of a real bootstrapper under Wine: the log it writes and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "desktop_shell_win32.h"
#include "e2e_paths.h"
#include "e2e_support.h"
#include "gui_driver.h"
#include "log_lines.h"

namespace lantern::e2e {
namespace {

const std::wstring kBasic = HostPath(LANTERN_BASIC_EXE);

testing::AssertionResult Matches(const std::string& line, const char* pattern) {
  if (std::regex_match(line, std::regex(pattern))) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "'" << line << "' does not match '" << pattern << "'";
}

TEST(Run, LogsBothParsesAroundStartedAndTheWorkerAndEndsWithEnded) {
  // The tokens of the documented example, with the log in the place it names.
  const std::wstring log = L"c:\\log.txt";
  DeleteFileW(log.c_str());
  TempFolder temp;
  const auto result = RunProgram(Quoted(kBasic) + L" log " + log + L" /IAgreeToTheEULA VT_PFUR_ENABLED=1",
                                 60000, temp.path());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const auto lines = ReadLogLines(log);
  DeleteFileW(log.c_str());
  wchar_t temp_path[MAX_PATH + 1];
  const std::string temp_folder = Narrow(std::wstring(temp_path, GetTempPathW(MAX_PATH + 1, temp_path)));
  const std::vector<std::string> options_first = {
      "Command line params VT_PFUR_ENABLED=1 /log \"c:\\log.txt\" /IAgreeToTheEULA VT_I=\"\" ",
      "Temp folder '" + temp_folder + "'",
      "Zero Guid 'NotSet'",
      "Keep 'NotSet'",
  };
  std::vector<std::string> options_second = options_first;
  options_second[0] =
      "Command line params VT_PFUR_ENABLED=1 /log \"c:\\log.txt\" /IAgreeToTheEULA VT_I=\"Vantrel "
      "Installer\" ";

  ASSERT_GE(lines.size(), 12u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(lines[i], options_first[i]);
  EXPECT_TRUE(Matches(lines[4], "Started -?[0-9]+"));
  // The signature's and the gates' lines come between.
  const auto worker = std::find(lines.begin() + 5, lines.end(), "Run Embedded Resources ");
  ASSERT_LE(worker + 5, lines.end());
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(worker[1 + i], options_second[i]);
  // The removal's own lines follow it.
  EXPECT_NE(std::find(worker + 5, lines.end(), "Remove folder 'Yes'"), lines.end());
  EXPECT_TRUE(Matches(lines.back(), "Ended -?[0-9]+"));
}

TEST(Run, HelpEndsWithZeroBeforeStarted) {
  ASSERT_TRUE(testing_support::WaitForDesktopShell()) << "no desktop shell came up";
  TempFolder temp;
  const std::wstring log = temp / L"help.log";
  const auto result = RunProgram(Quoted(kBasic) + L" ? log " + Quoted(log));
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const auto lines = ReadLogLines(log);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Ask for help");
  EXPECT_TRUE(Matches(lines[1],
                      "Command line params \\? /log \".*help.log\" VT_I=\"\" |"
                      "Command line params /log \".*help.log\" \\? VT_I=\"\" "));
  // Under Wine every program runs elevated, so the help page goes to the
  // desktop shell, which opens it in its own process.
  EXPECT_EQ(lines[5], "Opened 'https://www.vantrel.example/Installer/Help' through the desktop shell");
  EXPECT_TRUE(Matches(lines[6], "Ended -?[0-9]+"));
}

// The usage notice of an interactive run quotes the raw arguments; the run
// ends once it is dismissed.
void DismissUsageNotice(const GuiProgram& program, const std::wstring& arguments) {
  const HWND notice = WaitForDialog(program.pid(), L"Vantrel Studio Download");
  ASSERT_NE(notice, nullptr) << "no usage notice";
  EXPECT_EQ(ControlText(notice, 1000).rfind(L"Command line '" + arguments + L"' incorrect.\n", 0), 0u)
      << Narrow(ControlText(notice, 1000));
  Click(notice, IDCANCEL);
}

TEST(Run, APathWordGivenAsASwitchEndsWithTheUsageResultAndNoLog) {
  TempFolder temp;
  const std::wstring log = temp / L"never.log";
  const std::wstring arguments = L"/log " + Quoted(log);
  GuiProgram program(Quoted(kBasic) + L" " + arguments);
  DismissUsageNotice(program, arguments);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80030057u));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(log)));
}

TEST(Run, ATooLongPathIsRefusedWithTheUsageResult) {
  TempFolder temp;
  const std::wstring log = temp / (std::wstring(250, L'x') + L".log");
  const std::wstring arguments = L"log " + Quoted(log);
  GuiProgram program(Quoted(kBasic) + L" " + arguments);
  DismissUsageNotice(program, arguments);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80030057u));
}

TEST(Run, ASilentUsageErrorShowsNothing) {
  const auto result = RunProgram(Quoted(kBasic) + L" /IAgreeToTheEULA /log x");
  ASSERT_TRUE(result.finished) << "a window waits";
  EXPECT_EQ(result.exit_code, 0x80030057u);
}

// The log is opened by its path as typed: no code page stands between the
// user's path and the file, and nothing is written under another name.
TEST(Run, TheLogGoesToItsPathAsTypedWhateverItsCharacters) {
  const struct {
    const char* what;
    std::wstring name;
  } cases[] = {
      {"Cyrillic, which code page 1252 lacks", L"\u0416\u0443\u0440\u043d\u0430\u043b.log"},
      {"full-width letters, backslashes and dots, which a best fit makes a\\..\\bestfit.log",
       L"\uff41\uff3c\uff0e\uff0e\uff3c"
       L"bestfit.log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    const std::wstring folder = temp / L"logs";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring log = folder + L"\\" + c.name;
    const auto result =
        RunProgram(Quoted(kBasic) + L" /IAgreeToTheEULA /dontrun log " + Quoted(log), 60000, temp.path());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0u);
    namespace fs = std::filesystem;
    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(fs::path(folder)))
      written.push_back(entry.path().filename());
    ASSERT_EQ(written, std::vector<fs::path>{fs::path(c.name)}) << "the log is not (only) where it was named";
    const auto lines = ReadLogLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Matches(lines.back(), "Ended -?[0-9]+"));
  }
}

// On a machine whose ANSI code page is UTF-8 a character may take three bytes;
// a line of mostly such characters is written whole all the same. This suite
// runs on its own, in a Wine whose code page LC_ALL makes UTF-8 (see
// CMakeLists.txt); the bootstrapper inherits it.
TEST(Utf8CodePage, EveryLogLineIsWrittenWhole) {
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "this run's ANSI code page is not UTF-8";
  TempFolder temp;
  const std::wstring log = temp / L"utf8.log";
  // Three bytes each in UTF-8, far more of them than of anything else on the line.
  const std::wstring property = L"X=" + std::wstring(200, L'\u65e5');
  const auto result =
      RunProgram(Quoted(kBasic) + L" /IAgreeToTheEULA /dontrun " + property + L" log " + Quoted(log), 60000,
                 temp.path());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(log)));
  const auto lines = ReadLogLines(log);
  std::string utf8_property = "X=";
  for (int i = 0; i < 200; ++i) utf8_property += "\xe6\x97\xa5";
  // Both parses of the command line log it.
  const auto with_property = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind("Command line params ", 0) == 0 &&
           line.find(" " + utf8_property + " ") != std::string::npos;
  });
  EXPECT_EQ(with_property, 2) << "the lines of the log:\n" << ::testing::PrintToString(lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(Matches(lines.back(), "Ended -?[0-9]+"));
}

}  // namespace
}  // namespace lantern::e2e
