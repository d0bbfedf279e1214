// The front end started by a real bootstrapper: its exit code, the shared log,
// the argument text it receives, its current folder and the processor mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bitness.h"
#include "e2e_paths.h"
#include "e2e_support.h"
#include "launch_paths.h"
#include "log_lines.h"

namespace lantern::e2e {
namespace {

namespace fs = std::filesystem;

struct LaunchRun {
  RunResult result;
  std::vector<std::string> lines;
};

// A silent run with its working folder under `root` and its log beside it.
LaunchRun Launch(const char* exe, const std::wstring& root, const std::wstring& arguments) {
  const std::wstring log = root + L".log";
  LaunchRun run;
  run.result = RunProgram(Quoted(HostPath(exe)) + L" /IAgreeToTheEULA temp " + Quoted(root) + L" log " +
                          Quoted(log) + L" " + arguments);
  if (fs::exists(fs::path(log))) run.lines = ReadLogLines(log);
  return run;
}

std::vector<std::string>::const_iterator Find(const std::vector<std::string>& lines, const char* pattern) {
  const std::regex wanted(pattern);
  return std::find_if(lines.begin(), lines.end(), [&](const std::string& line) { return std::regex_match(line, wanted); });
}

TEST(Launch, TheBootstrapperEndsWithTheFrontEndsExitCode) {
  const std::pair<const wchar_t*, std::uint32_t> cases[] = {
      {L"exit=0", 0}, {L"exit=1", 1}, {L"exit=5", 5}, {L"exit=-1", 0xFFFFFFFFu}, {L"exit=0x80131700", 0x80131700u},
  };
  TempFolder temp;
  for (const auto& [arguments, expected] : cases) {
    SCOPED_TRACE(expected);
    const LaunchRun run = Launch(LANTERN_BASIC_EXE, temp / L"root", arguments);
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, expected);
    const std::string returned = "RunProgram returned " + std::to_string(static_cast<std::int32_t>(expected));
    EXPECT_NE(Find(run.lines, returned.c_str()), run.lines.end());
  }
}

TEST(Launch, TheFrontEndsLinesStandBetweenTheLaunchLinesAndTheRestIsAppended) {
  TempFolder temp;
  const LaunchRun run = Launch(LANTERN_BASIC_EXE, temp / L"root", L"loglines=2");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u);
  const auto program = Find(run.lines, "RunProgram program '.*'");
  ASSERT_NE(program, run.lines.end());
  const auto front_end = Find(run.lines, "Stand-in front end line 1");
  ASSERT_NE(front_end, run.lines.end());
  EXPECT_LT(program, front_end);
  EXPECT_EQ(front_end[1], "Stand-in front end line 2");
  EXPECT_EQ(front_end[2], "RunProgram returned 0");
  EXPECT_EQ(front_end[3], "Remove folder 'Yes'");
  EXPECT_TRUE(std::regex_match(run.lines.back(), std::regex("Ended -?[0-9]+")));
}

TEST(Launch, TheFrontEndGetsTheNormalisedArgumentsInTheWorkingFolder) {
  TempFolder temp;
  // A root with spaces, so the program's path has them too.
  const std::wstring root = temp / L"root with spaces";
  const std::wstring record = temp / L"record.txt";
  const LaunchRun run = Launch(LANTERN_BASIC_EXE, root, L"record=" + record + L" VT_PFUR_ENABLED=1 /keep");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u);

  // What the second parse built is what the front end received.
  const auto worker = Find(run.lines, "Run Embedded Resources ");
  ASSERT_NE(worker, run.lines.end());
  const std::string prefix = "Command line params ";
  ASSERT_EQ(worker[1].rfind(prefix, 0), 0u);
  const std::string arguments = worker[1].substr(prefix.size());
  // Signed without a program name: the installer keeps its default name.
  EXPECT_TRUE(arguments.ends_with("VT_I=\"Vantrel Installer\" ")) << arguments;
  EXPECT_EQ(arguments.find("/keep"), std::string::npos) << arguments;
  const auto fields = ReadStandInRecord(record);
  EXPECT_EQ(fields.at("arguments"), arguments);

  // Started from the working folder: the one GUID-named folder under the root.
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(fs::path(root))) folders.push_back(entry.path());
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(std::regex_match(folders[0].filename().string(), std::regex("\\{[-0-9A-F]{36}\\}")));
  EXPECT_EQ(fields.at("cwd"), Narrow(folders[0].wstring()));
  EXPECT_EQ(fields.at("exe"), Narrow((folders[0] / "standin.exe").wstring()));
}

TEST(Launch, ProcessorModesOnThe64BitPrefix) {
  LANTERN_SKIP_UNLESS_32_BIT();
  TempFolder temp;
  const std::wstring marker = temp / L"started.txt";
  {
    // Any 64-bit capable mode switches the redirection off around the start only.
    const LaunchRun run = Launch(LANTERN_MODE_X64_EXE, temp / L"x64", L"exit=3");
    EXPECT_EQ(run.result.exit_code, 3u);
    const auto enabling = Find(run.lines, "Enabling 64Bit spawned processes");
    const auto restoring = Find(run.lines, "Restoring 32Bit spawned processes");
    const auto returned = Find(run.lines, "RunProgram returned 3");
    ASSERT_NE(enabling, run.lines.end());
    EXPECT_EQ(Find(run.lines, "ProgramType 'X64'") + 2, enabling);
    EXPECT_LT(enabling, restoring);
    EXPECT_LT(restoring, returned);
  }
  {
    // A 32-bit only front end is refused on 64-bit Windows: nothing starts.
    const LaunchRun run = Launch(LANTERN_MODE_X32ONLY_EXE, temp / L"x32", L"marker=" + marker);
    EXPECT_EQ(run.result.exit_code, 0x80004004u);
    EXPECT_NE(Find(run.lines, "Incorrect processor mode with installation type"), run.lines.end());
    EXPECT_NE(Find(run.lines, "Run Program, Failed to set processor mode"), run.lines.end());
    EXPECT_EQ(Find(run.lines, "RunProgram returned .*"), run.lines.end());
    EXPECT_FALSE(fs::exists(fs::path(marker)));
  }
  {
    // This build's x86 touches nothing.
    const LaunchRun run = Launch(LANTERN_BASIC_EXE, temp / L"x86", L"");
    EXPECT_EQ(run.result.exit_code, 0u);
    EXPECT_NE(Find(run.lines, "Swapping to x86"), run.lines.end());
    EXPECT_EQ(Find(run.lines, "Enabling 64Bit spawned processes"), run.lines.end());
  }
}

}  // namespace
}  // namespace lantern::e2e
