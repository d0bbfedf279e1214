// ParseOptions over a path environment and log system chosen by each test:
// flags, the working-folder root and its fallbacks, path words, the log file,
// help, and the lines written to the log.
#include "cmdline/run_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "run_options_fakes.h"

namespace lantern {
namespace {

using testing_fakes::FakePathEnvironment;
using testing_fakes::Narrow;
using testing_fakes::RecordingLogSystem;

class ParseOptionsTest : public testing::Test {
 protected:
  ResultCode Parse(const std::vector<std::wstring>& tokens, std::wstring_view installer_name = L"") {
    return ParseOptions(tokens, installer_name, environment_, log_, options_);
  }
  // Every line the log was given, whether it reached a file or is waiting for one.
  std::string Logged() const { return system_.disk + Narrow(log_.Pending()); }

  FakePathEnvironment environment_;
  RecordingLogSystem system_;
  DiagnosticLog log_{system_};
  RunOptions options_;
};

TEST_F(ParseOptionsTest, NoArgumentsKeepTheDefaults) {
  EXPECT_EQ(Parse({}), rc::Ok);
  EXPECT_FALSE(options_.ZeroGuid);
  EXPECT_TRUE(options_.RemoveFolder);
  EXPECT_TRUE(options_.RunFrontEnd);
  EXPECT_FALSE(options_.Silent);
  EXPECT_FALSE(options_.HelpRequested);
  EXPECT_EQ(options_.WorkingFolderRoot, L"C:\\Temp\\");
  EXPECT_EQ(options_.FrontEndCommandLine, L"VT_I=\"\" ");
  EXPECT_TRUE(system_.opened.empty());
  EXPECT_EQ(Logged(),
            "Command line params VT_I=\"\" \n"
            "Temp folder 'C:\\Temp\\'\n"
            "Zero Guid 'NotSet'\n"
            "Keep 'NotSet'\n");
}

TEST_F(ParseOptionsTest, EachCallStartsFromTheDefaults) {
  options_.ZeroGuid = true;
  options_.RemoveFolder = false;
  options_.RunFrontEnd = false;
  options_.Silent = true;
  options_.HelpRequested = true;
  options_.WorkingFolderRoot = L"D:\\old";
  options_.FrontEndCommandLine = L"old";
  EXPECT_EQ(Parse({L"/zeroguid"}), rc::Ok);
  EXPECT_TRUE(options_.ZeroGuid);
  EXPECT_TRUE(options_.RemoveFolder);
  EXPECT_TRUE(options_.RunFrontEnd);
  EXPECT_FALSE(options_.Silent);
  EXPECT_FALSE(options_.HelpRequested);
  EXPECT_EQ(options_.WorkingFolderRoot, L"C:\\Temp\\");
  EXPECT_EQ(options_.FrontEndCommandLine, L"VT_I=\"\" ");
}

struct SwitchCase {
  std::vector<std::wstring> tokens;
  bool silent, run_front_end, remove_folder, zero_guid;
  std::wstring front_end;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
  for (const std::wstring& token : c.tokens) *os << Narrow(token) << ' ';
}

class SwitchCases : public ParseOptionsTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchCases, SetFlagsAndAreConsumedOrPassedOn) {
  const SwitchCase& c = GetParam();
  EXPECT_EQ(Parse(c.tokens), rc::Ok);
  EXPECT_EQ(options_.Silent, c.silent);
  EXPECT_EQ(options_.RunFrontEnd, c.run_front_end);
  EXPECT_EQ(options_.RemoveFolder, c.remove_folder);
  EXPECT_EQ(options_.ZeroGuid, c.zero_guid);
  EXPECT_EQ(options_.FrontEndCommandLine, c.front_end);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, SwitchCases,
    testing::Values(
        SwitchCase{{L"-keep", L"-dontrun"}, false, false, false, false, L"VT_I=\"\" "},
        SwitchCase{{L"/zeroguid"}, false, true, true, true, L"VT_I=\"\" "},
        SwitchCase{{L"/IAgreeToTheEULA"}, true, true, true, false, L"/IAgreeToTheEULA VT_I=\"\" "},
        SwitchCase{{L"-IAgreeToTheEULA", L"/keep", L"/keep"},
                   true,
                   true,
                   false,
                   false,
                   L"/IAgreeToTheEULA VT_I=\"\" "},
        // Another case or no prefix: no effect, passed on.
        SwitchCase{{L"/Keep"}, false, true, true, false, L"/Keep VT_I=\"\" "},
        SwitchCase{{L"/DontRun", L"zeroguid"}, false, true, true, false, L"zeroguid /DontRun VT_I=\"\" "}));

TEST_F(ParseOptionsTest, TempSetsTheRootAndIsPassedOnAsAFullPath) {
  EXPECT_EQ(Parse({L"temp", L"D:\\work"}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, L"D:\\work");
  EXPECT_EQ(options_.FrontEndCommandLine, L"/temp \"D:\\work\" VT_I=\"\" ");

  EXPECT_EQ(Parse({L"temp", L"work"}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, L"C:\\x\\work");
  EXPECT_EQ(options_.FrontEndCommandLine, L"/temp \"C:\\x\\work\" VT_I=\"\" ");
}

TEST_F(ParseOptionsTest, TempAsASwitchIsNotThePathWord) {
  EXPECT_EQ(Parse({L"/TEMP", L"D:\\w"}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, L"C:\\Temp\\");
  EXPECT_EQ(options_.FrontEndCommandLine, L"D:\\w /TEMP VT_I=\"\" ");
}

TEST_F(ParseOptionsTest, LogOpensTheFileAtTheFullPath) {
  EXPECT_EQ(Parse({L"log", L"run.log", L"extract", L"out"}), rc::Ok);
  EXPECT_EQ(system_.opened, std::vector<std::string>{"C:\\x\\run.log"});
  EXPECT_EQ(options_.FrontEndCommandLine, L"/log \"C:\\x\\run.log\" /extract \"C:\\x\\out\" VT_I=\"\" ");
  EXPECT_EQ(Logged(),
            "Command line params /log \"C:\\x\\run.log\" /extract \"C:\\x\\out\" VT_I=\"\" \n"
            "Temp folder 'C:\\Temp\\'\n"
            "Zero Guid 'NotSet'\n"
            "Keep 'NotSet'\n");
  EXPECT_EQ(log_.Pending(), L"");  // all of it reached the file
}

// The worker's parse repeats the main thread's with the installer's name.
TEST_F(ParseOptionsTest, ASecondParseKeepsTheLogFileAndAddsTheName) {
  EXPECT_EQ(Parse({L"log", L"c:\\l.txt"}), rc::Ok);
  EXPECT_EQ(Parse({L"log", L"c:\\l.txt"}, L"Vantrel Installer"), rc::Ok);
  EXPECT_EQ(system_.opened, std::vector<std::string>{"c:\\l.txt"});
  EXPECT_EQ(options_.FrontEndCommandLine, L"/log \"c:\\l.txt\" VT_I=\"Vantrel Installer\" ");
}

TEST_F(ParseOptionsTest, APathWordGivenAsASwitchIsAnError) {
  EXPECT_EQ(Parse({L"/log", L"c:\\l.txt", L"-keep", L"/extract", L"temp", L"D:\\w"}), rc::InvalidParameter);
  EXPECT_TRUE(system_.opened.empty());
  // The rest still applies.
  EXPECT_FALSE(options_.RemoveFolder);
  EXPECT_EQ(options_.WorkingFolderRoot, L"D:\\w");
  EXPECT_FALSE(options_.HelpRequested);
}

TEST_F(ParseOptionsTest, HelpOverridesAnError) {
  EXPECT_EQ(Parse({L"?", L"/log", L"c:\\l.txt"}), rc::HelpRequested);
  EXPECT_TRUE(options_.HelpRequested);
  EXPECT_TRUE(system_.opened.empty());
}

TEST_F(ParseOptionsTest, HelpAndTheOptionLinesWordForWord) {
  EXPECT_EQ(Parse({L"/zeroguid", L"/keep", L"/?"}), rc::HelpRequested);
  EXPECT_TRUE(options_.HelpRequested);
  EXPECT_EQ(Logged(),
            "Ask for help\n"
            "Command line params /? VT_I=\"\" \n"
            "Temp folder 'C:\\Temp\\'\n"
            "Zero Guid 'Set'\n"
            "Keep 'Set'\n");
}

// Folders of the given lengths, made of one letter after a drive.
std::wstring Folder(std::size_t length, wchar_t letter = L'f') {
  return L"C:\\" + std::wstring(length - 3, letter);
}

struct RootCase {
  const char* name;
  std::wstring temp;
  std::optional<std::wstring> user_app_data;
  std::optional<std::wstring> common_app_data;
  std::optional<std::wstring> system_drive;
  std::wstring root;
};

void PrintTo(const RootCase& c, std::ostream* os) { *os << c.name; }

class RootCases : public ParseOptionsTest, public testing::WithParamInterface<RootCase> {};

TEST_P(RootCases, ChooseTheFirstShortEnoughFolder) {
  const RootCase& c = GetParam();
  environment_.temp = c.temp;
  environment_.user_app_data = c.user_app_data;
  environment_.common_app_data = c.common_app_data;
  environment_.system_drive = c.system_drive;
  environment_.windows_drive = L"W:";
  EXPECT_EQ(Parse({}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, c.root);
  EXPECT_NE(Logged().find("Temp folder '" + Narrow(c.root) + "'\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Fallbacks, RootCases,
    testing::Values(
        RootCase{"temp of 100", Folder(100, L't'), Folder(20, L'u'), Folder(20, L'c'), L"E:",
                 Folder(100, L't')},
        RootCase{"temp failed", L"", Folder(20, L'u'), Folder(20, L'c'), L"E:", L""},
        RootCase{"temp of 101", Folder(101, L't'), Folder(20, L'u'), Folder(20, L'c'), L"E:",
                 Folder(20, L'u')},
        RootCase{"user app data of 100", Folder(101, L't'), Folder(100, L'u'), Folder(20, L'c'), L"E:",
                 Folder(100, L'u')},
        RootCase{"both long", Folder(101, L't'), Folder(101, L'u'), L"C:\\ProgramData", L"E:",
                 L"C:\\ProgramData\\Vantrel"},
        RootCase{"no user app data", Folder(101, L't'), std::nullopt, Folder(20, L'c'), L"E:",
                 Folder(20, L'c') + L"\\Vantrel"},
        RootCase{"common ends in a backslash", Folder(101, L't'), std::nullopt, L"C:\\Data\\", L"E:",
                 L"C:\\Data\\Vantrel"},
        RootCase{"common of 89", Folder(101, L't'), std::nullopt, Folder(89, L'c'), L"E:",
                 Folder(89, L'c') + L"\\Vantrel"},
        RootCase{"common of 90", Folder(101, L't'), std::nullopt, Folder(90, L'c'), L"E:", Folder(90, L'c')},
        RootCase{"common of 100", Folder(101, L't'), std::nullopt, Folder(100, L'c'), L"E:",
                 Folder(100, L'c')},
        RootCase{"all long", Folder(101, L't'), Folder(101, L'u'), Folder(101, L'c'), L"E:", L"E:"},
        RootCase{"no shell folders", Folder(101, L't'), std::nullopt, std::nullopt, L"E:", L"E:"},
        RootCase{"SystemDrive unset", Folder(101, L't'), std::nullopt, std::nullopt, std::nullopt, L"W:"}));

TEST_F(ParseOptionsTest, TempOverridesTheDefaultRoot) {
  environment_.temp = Folder(101);
  environment_.user_app_data.reset();
  environment_.common_app_data.reset();
  EXPECT_EQ(Parse({L"temp", L"D:\\w"}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, L"D:\\w");
}

// A full path must fit in 260 characters; a longer one, or one that cannot
// be expanded, is refused rather than cut short.
TEST_F(ParseOptionsTest, AFullPathOf260IsTaken) {
  const std::wstring path = L"D:\\" + std::wstring(257, L'p');
  ASSERT_EQ(path.size(), kMaxFullPath);
  EXPECT_EQ(Parse({L"temp", path}), rc::Ok);
  EXPECT_EQ(options_.WorkingFolderRoot, path);
  EXPECT_EQ(Logged().find("Path too long"), std::string::npos);
}

TEST_F(ParseOptionsTest, ALongerFullPathIsRefused) {
  // The path as typed is short; the current folder makes it 261 long.
  environment_.current_folder = L"C:\\" + std::wstring(253, L'c');
  ASSERT_EQ(environment_.FullPath(L"work")->size(), kMaxFullPath + 1);
  EXPECT_EQ(Parse({L"temp", L"work", L"log", L"run.log", L"extract", L"output"}), rc::InvalidParameter);
  EXPECT_EQ(options_.WorkingFolderRoot, L"C:\\Temp\\");
  EXPECT_TRUE(system_.opened.empty());
  EXPECT_EQ(options_.FrontEndCommandLine, L"/temp \"work\" /log \"run.log\" /extract \"output\" VT_I=\"\" ");
  EXPECT_EQ(Logged(),
            "Path too long 'output'\n"
            "Path too long 'run.log'\n"
            "Path too long 'work'\n"
            "Command line params /temp \"work\" /log \"run.log\" /extract \"output\" VT_I=\"\" \n"
            "Temp folder 'C:\\Temp\\'\n"
            "Zero Guid 'NotSet'\n"
            "Keep 'NotSet'\n");
}

TEST_F(ParseOptionsTest, ARefusedPathLeavesTheOtherPathWordsWorking) {
  environment_.unexpandable.insert(L"bad");
  EXPECT_EQ(Parse({L"extract", L"bad", L"log", L"c:\\l.txt", L"temp", L"D:\\w"}), rc::InvalidParameter);
  EXPECT_EQ(system_.opened, std::vector<std::string>{"c:\\l.txt"});
  EXPECT_EQ(options_.WorkingFolderRoot, L"D:\\w");
  // Written before the file opened, so it waited and then reached the file.
  EXPECT_EQ(system_.disk.rfind("Path not valid 'bad'\n", 0), 0u);
}

TEST_F(ParseOptionsTest, HelpOverridesARefusedPath) {
  EXPECT_EQ(Parse({L"log", L"c:\\" + std::wstring(300, L'l'), L"?"}), rc::HelpRequested);
  EXPECT_TRUE(system_.opened.empty());
  EXPECT_EQ(Logged().rfind("Path too long 'c:\\lll", 0), 0u);
}

TEST_F(ParseOptionsTest, APathWordAtTheEndHasNoPathToApply) {
  EXPECT_EQ(Parse({L"log"}), rc::Ok);
  EXPECT_TRUE(system_.opened.empty());
  EXPECT_EQ(options_.FrontEndCommandLine, L"log VT_I=\"\" ");
  EXPECT_EQ(Logged().rfind("Command line params log VT_I=\"\" \n", 0), 0u);
}

}  // namespace
}  // namespace lantern
