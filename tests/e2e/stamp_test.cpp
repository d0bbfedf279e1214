// Signed bootstrappers stamped with an information block by the packing tool
// when the tests were built: the self-check still passes, the block arrives
// in the working folder byte for byte, a block stamped over another is the
// only one that arrives, and a byte changed outside the block still fails the
// self-check.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "stamp_paths.h"

namespace lantern::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kNoSignature = 0x800B0100;

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

struct StampedRun {
  RunResult result;
  std::vector<std::string> lines;
};

// A silent run with its working folder under `root`, the log beside it.
StampedRun RunSilently(const std::wstring& exe, const std::wstring& root, const std::wstring& switches) {
  const std::wstring log = root + L".log";
  DeleteFileW(log.c_str());
  StampedRun run;
  run.result = RunProgram(L"\"" + exe + L"\" /IAgreeToTheEULA " + switches + L" temp \"" + root +
                          L"\" log \"" + log + L"\"");
  if (fs::exists(fs::path(log))) run.lines = LogLines(log);
  DeleteFileW(log.c_str());
  return run;
}

std::string Verified(const std::wstring& exe) {
  return "Digital verification: 'The file \"" + Narrow(exe) + "\" is signed and the signature was verified.";
}

TEST(Stamp, AStampedBootstrapperPassesItsSelfCheckAndHandsOverTheBlockByteForByte) {
  struct Case {
    const char* what;
    const char* exe;
    const char* information;
  };
  const Case cases[] = {
      {"1 byte", LANTERN_STAMPED_1_EXE, LANTERN_STAMPED_1_INFO},
      {"2,000 bytes", LANTERN_STAMPED_2000_EXE, LANTERN_STAMPED_2000_INFO},
      {"4,106 bytes", LANTERN_STAMPED_4106_EXE, LANTERN_STAMPED_4106_INFO},
      {"77 bytes stamped over 4,106", LANTERN_STAMPED_TWICE_EXE, LANTERN_STAMPED_TWICE_INFO},
      {"INFO of a signed lantern_add_bootstrapper() build", LANTERN_SIGNED_INFO_EXE, LANTERN_SIGNED_INFO_INFO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder root;
    const std::wstring exe = HostPath(c.exe);
    const StampedRun run = RunSilently(exe, root.path(), L"/dontrun /keep");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, Verified(exe))) << Joined(run.lines);

    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(fs::path(root.path()))) folders.push_back(entry.path());
    ASSERT_EQ(folders.size(), 1u);
    const auto information = ReadBytes(HostPath(c.information));
    EXPECT_EQ(ReadBytes((folders[0] / L"info.xml").wstring()), information);
    const std::string f = Narrow(root.path() + L"\\" + folders[0].filename().wstring());
    const std::string written = "Written out embedded information " + std::to_string(information.size()) +
                                " bytes to file " + f + "\\info.xml";
    EXPECT_TRUE(HasLine(run.lines, written)) << Joined(run.lines);
  }
}

TEST(Stamp, AByteChangedOutsideTheStampedBlockFailsTheSelfCheck) {
  TempFolder temp;
  const std::wstring exe = temp / L"Changed.exe";
  ASSERT_TRUE(CopyFileW(HostPath(LANTERN_STAMPED_2000_EXE).c_str(), exe.c_str(), TRUE));
  ASSERT_TRUE(FlipByte(exe, kDosStubMessageByte));
  const StampedRun run = RunSilently(exe, temp / L"root", L"");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, kNoSignature);
  EXPECT_TRUE(HasLine(run.lines, "Digital verification: 'Error is: 0x80096010.")) << Joined(run.lines);
  EXPECT_TRUE(HasLine(run.lines, "Not signed correctly so failing now!")) << Joined(run.lines);
  EXPECT_FALSE(HasLine(run.lines, "Run Embedded Resources ")) << Joined(run.lines);
}

}  // namespace
}  // namespace lantern::e2e
