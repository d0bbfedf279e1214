// The launch, tried on the stand-in front end: exit codes, the shared log,
// window detection, the argument text, the current folder and the processor mode.
#include "launch/run_program_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "bitness.h"
#include "launch/wow64_win32.h"
#include "map_string_table.h"
#include "standin_support_win32.h"
#include "unit_paths.h"

namespace lantern {
namespace {

namespace fs = std::filesystem;
using testing_support::HostPath;
using testing_support::ReadStandInRecord;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

const std::wstring kStandIn = HostPath(LANTERN_STANDIN_EXE);

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

using testing_fakes::MapStringTable;

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    root_ = fs::path(temp) / ("lantern-launch-" + std::to_string(GetCurrentProcessId()) + "-" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root_ / "work");
    shown_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    // The launch makes the working folder current; leave it so it can go.
    SetCurrentDirectoryW(root_.parent_path().c_str());
    CloseHandle(shown_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  ResultCode Launch(const std::wstring& arguments, std::int32_t& exit_code,
                    const std::wstring& program = kStandIn, const std::wstring& program_type = L"x86") {
    const MapStringTable strings({{cfg::ProgramType, program_type}});
    const LaunchContext context{(root_ / "work").wstring(), shown_, log_, wow64_, strings};
    return RunProgram(program, arguments, exit_code, context);
  }
  bool Shown() const { return WaitForSingleObject(shown_, 0) == WAIT_OBJECT_0; }
  std::wstring Path(const char* name) const { return (root_ / name).wstring(); }

  fs::path root_;
  HANDLE shown_ = nullptr;
  PlatformLogSystem log_system_;
  DiagnosticLog log_{log_system_};
  Win32Wow64 wow64_;
};

TEST_F(LaunchTest, TheFrontEndsExitCodeComesBackWhole) {
  const std::pair<const wchar_t*, std::int32_t> cases[] = {
      {L"exit=0", 0},
      {L"exit=1", 1},
      {L"exit=5", 5},
      {L"exit=-1", -1},
      {L"exit=0x80131700", static_cast<std::int32_t>(0x80131700)},
  };
  for (const auto& [arguments, expected] : cases) {
    SCOPED_TRACE(testing::Message() << expected);
    std::int32_t exit_code = 12345;
    EXPECT_EQ(Launch(arguments, exit_code), rc::Ok);
    EXPECT_EQ(exit_code, expected);
    EXPECT_TRUE(log_.Pending().ends_with(L"RunProgram returned " + std::to_wstring(expected) + L"\n"));
  }
  EXPECT_NE(log_.Pending().find(L"RunProgram returned -1\n"), std::wstring::npos);
}

TEST_F(LaunchTest, TheFrontEndWritesToTheSharedLogBetweenTheLaunchLines) {
  const std::wstring log_path = Path("shared.log");
  log_.OpenLogFile(log_path);
  log_.LogText(L"Before\n");
  const std::wstring arguments = L"loglines=2 /log \"" + log_path + L"\" ";
  std::int32_t exit_code = 1;
  ASSERT_EQ(Launch(arguments, exit_code), rc::Ok);
  log_.LogText(L"After\n");
  log_.CloseLogFile();

  const std::string command = "\"" + std::string(kStandIn.begin(), kStandIn.end()) + "\" " +
                              std::string(arguments.begin(), arguments.end());
  EXPECT_EQ(ReadFile(log_path),
            "Before\r\n"
            "RunProgram program '" +
                command +
                "'\r\n"
                "ProgramType 'x86'\r\nSwapping to x86\r\n"
                "Stand-in front end line 1\r\nStand-in front end line 2\r\n"
                "RunProgram returned 0\r\n"
                "After\r\n");
}

// Ends what a front end started, once the test has seen what it needed.
void EndChild(const std::map<std::string, std::string>& record) {
  const auto child = record.find("childpid");
  if (child == record.end()) return;
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, std::stoul(child->second))) {
    TerminateProcess(process, 0);
    CloseHandle(process);
  }
}

TEST_F(LaunchTest, TheFirstVisibleWindowSetsTheEventWhileTheFrontEndRuns) {
  // Shown at once, and first hidden then shown.
  for (const wchar_t* arguments : {L"window=300 sleep=1500", L"hidden=100 reveal=600 sleep=1500"}) {
    SCOPED_TRACE(testing::Message() << std::string(arguments, arguments + wcslen(arguments)));
    ResetEvent(shown_);
    const std::wstring marker = Path("exited.txt");
    const std::wstring shown_at = Path("shown.txt");
    DeleteFileW(marker.c_str());
    DeleteFileW(shown_at.c_str());
    bool running_at_event = false;
    DWORD event_tick = 0;
    std::thread watcher([&] {
      if (WaitForSingleObject(shown_, 10000) == WAIT_OBJECT_0) {
        event_tick = GetTickCount();
        running_at_event = !fs::exists(fs::path(marker));
      }
    });
    std::int32_t exit_code = 1;
    EXPECT_EQ(Launch(std::wstring(arguments) + L" marker=" + marker + L" shown=" + shown_at, exit_code),
              rc::Ok);
    watcher.join();
    EXPECT_TRUE(Shown());
    EXPECT_TRUE(running_at_event) << "the event came only after the front end had ended";
    // A figure for a person, not a limit: the poll looks every 100 ms.
    const unsigned long visible_tick = std::stoul(ReadFile(fs::path(shown_at)));
    std::printf("  event set %ld ms after the window became visible\n",
                static_cast<long>(event_tick - visible_tick));
  }
}

TEST_F(LaunchTest, TheEventIsNotSetWithoutAVisibleWindowOfTheFrontEndItself) {
  // Hidden windows only, a window of a process the front end started, no window at all.
  for (const wchar_t* arguments : {L"hidden=100 sleep=800", L"child=100 sleep=1200", L""}) {
    ResetEvent(shown_);
    const std::wstring record = Path("record.txt");
    std::int32_t exit_code = 1;
    EXPECT_EQ(Launch(std::wstring(arguments) + L" record=" + record, exit_code), rc::Ok);
    EXPECT_FALSE(Shown()) << std::string(arguments, arguments + wcslen(arguments));
    EndChild(ReadStandInRecord(fs::path(record)));
  }
}

TEST_F(LaunchTest, TheFrontEndGetsTheArgumentTextAsItIsInTheWorkingFolder) {
  fs::create_directories(root_ / "front end folder");
  const fs::path program = root_ / "front end folder" / "Front End.exe";
  fs::copy_file(fs::path(kStandIn), program);
  const std::wstring record = Path("record.txt");
  const std::wstring arguments =
      L"record=" + record + L" X=1 /log \"C:\\a b\\x.log\" VT_I=\"Vantrel Installer\" ";
  std::int32_t exit_code = 1;
  ASSERT_EQ(Launch(arguments, exit_code, program.wstring()), rc::Ok);

  const auto fields = ReadStandInRecord(fs::path(record));
  EXPECT_EQ(Wide(fields.at("arguments")), arguments);
  EXPECT_EQ(Wide(fields.at("cwd")), (root_ / "work").wstring());
  EXPECT_EQ(log_.Pending().find(L"RunProgram program '\"" + program.wstring() + L"\" " + arguments + L"'\n"),
            0u);
}

TEST_F(LaunchTest, EmptyArgumentsStillEndTheCommandLineWithASpace) {
  std::int32_t exit_code = 1;
  ASSERT_EQ(Launch(L"", exit_code), rc::Ok);
  EXPECT_EQ(log_.Pending().find(L"RunProgram program '\"" + kStandIn + L"\" '\n"), 0u);
}

TEST_F(LaunchTest, ProcessorModesOnThe64BitPrefix) {
  LANTERN_SKIP_UNLESS_32_BIT();
  ASSERT_TRUE(wow64_.IsWow64()) << "these cases need a 64-bit prefix";
  struct Case {
    const wchar_t* program_type;
    bool switches_off;
  };
  for (const Case& c : {Case{L"x64", true}, Case{L"Any", true}, Case{L"X64", true}, Case{L"x86", false}}) {
    SCOPED_TRACE(testing::Message() << std::wstring_view(c.program_type).size() << " " << c.switches_off);
    PlatformLogSystem log_system;
    DiagnosticLog log(log_system);
    const MapStringTable strings({{cfg::ProgramType, c.program_type}});
    std::int32_t exit_code = 1;
    const LaunchContext context{(root_ / "work").wstring(), shown_, log, wow64_, strings};
    ASSERT_EQ(RunProgram(kStandIn, L"exit=7", exit_code, context), rc::Ok);
    EXPECT_EQ(exit_code, 7);
    const std::wstring& lines = log.Pending();
    const auto enabling = lines.find(L"Enabling 64Bit spawned processes\n");
    const auto restoring = lines.find(L"Restoring 32Bit spawned processes\n");
    const auto returned = lines.find(L"RunProgram returned 7\n");
    if (c.switches_off) {
      ASSERT_NE(enabling, std::wstring::npos);
      EXPECT_LT(enabling, restoring);
      EXPECT_LT(restoring, returned);
    } else {
      EXPECT_EQ(enabling, std::wstring::npos);
      EXPECT_EQ(restoring, std::wstring::npos);
    }
  }
}

TEST_F(LaunchTest, AThirtyTwoBitOnlyFrontEndIsRefusedOnThe64BitPrefix) {
  LANTERN_SKIP_UNLESS_32_BIT();
  const std::wstring marker = Path("started.txt");
  std::int32_t exit_code = 1;
  EXPECT_EQ(Launch(L"exit=3 marker=" + marker, exit_code, kStandIn, L"x32Only"), rc::Abort);
  EXPECT_EQ(exit_code, 0);
  EXPECT_FALSE(fs::exists(fs::path(marker)));
  EXPECT_FALSE(Shown());
  EXPECT_TRUE(log_.Pending().ends_with(
      L"Incorrect processor mode with installation type\nRun Program, Failed to set processor mode\n"));
}

TEST_F(LaunchTest, AProgramThatCannotStartGivesTheSystemsReasonAndRestoresTheRedirection) {
  std::ofstream(root_ / "not a program.exe") << "plain text, no executable header";
  struct Case {
    const char* what;
    std::wstring program;
    std::uint32_t result;
  };
  const Case cases[] = {
      {"missing", Path("missing.exe"), 0x80070002},              // ERROR_FILE_NOT_FOUND
      {"not a program", Path("not a program.exe"), 0x800700C1},  // ERROR_BAD_EXE_FORMAT
  };
  // A 32-bit build switches the file-system redirection off around the start;
  // an x86-64 test build has none to switch.
  const wchar_t* mode = test::kThirtyTwoBitBuild ? L"x64" : L"Any";
  const std::wstring ending = test::kThirtyTwoBitBuild
                                  ? L"Enabling 64Bit spawned processes\nRun Program returned "
                                    L"error\nRestoring 32Bit spawned processes\n"
                                  : L"Run Program returned error\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::int32_t exit_code = 1;
    EXPECT_EQ(static_cast<std::uint32_t>(Launch(L"", exit_code, c.program, mode)), c.result);
    EXPECT_EQ(exit_code, 0);
    EXPECT_FALSE(Shown());
    EXPECT_TRUE(log_.Pending().ends_with(ending)) << testing::PrintToString(log_.Pending());
  }
}

}  // namespace
}  // namespace lantern
