// The prerequisite gates in real runs on the test machine (.NET Framework
// 4.8, Windows Installer 4.5, an administrator): what they log, and the code
// a failing one ends the run with. Failing runs are silent, so that nothing
// waits for a person.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_paths.h"
#include "e2e_support.h"
#include "log_lines.h"

namespace lantern::e2e {
namespace {

const std::wstring kBasic = HostPath(LANTERN_BASIC_EXE);
const std::wstring kDiskFull = HostPath(LANTERN_DISK_FULL_EXE);

// The gates' lines follow the signer details' last line.
constexpr const char* kSignerDetailsDone = "Digital verification: (IssuerName '.*'|Failed)";

const std::vector<std::string> kDotNetPassLines = {
    ".NET 2.0 -1",     ".NET 3.0 -1",       ".NET 3.5 0",      ".NET 4.0 Client 0",
    ".NET 4.0 Full 0", ".NET 4.5 Client 0", ".NET 4.5 Full 0", ".NET 4.0 Client Detected SP 8",
    ".NET Version OK",
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Gates, PassOnTheTestMachineAndLogEachStep) {
  TempFolder temp;
  const std::wstring log = temp / L"setup.log";
  const auto result = RunProgram(Quoted(kBasic) + L" /IAgreeToTheEULA log " + Quoted(log));
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const std::string root = TempFolderOfTheUser();
  EXPECT_EQ(LinesBetween(ReadLogLines(log), kSignerDetailsDone, "Run Embedded Resources "),
            Concat(kDotNetPassLines, {"Free Disk Space",
                                      "Free Disk Space: Checking at least 100 MB free on drive '" +
                                          root.substr(0, 2) + "' for temp directory '" + root + "'",
                                      "Free disk space requirement passed."}));
}

TEST(Gates, AMinimumAboveTheFreeSpaceStopsTheRunWithMediumFull) {
  TempFolder temp;
  const std::wstring log = temp / L"setup.log";
  const auto result = RunProgram(Quoted(kDiskFull) + L" /IAgreeToTheEULA log " + Quoted(log));
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0x80030070u);
  const std::string root = TempFolderOfTheUser();
  const auto lines = LinesBetween(ReadLogLines(log), kSignerDetailsDone, "Ended -?[0-9]+");
  // The gate's lines, then the failure report's message.
  ASSERT_EQ(lines.size(), kDotNetPassLines.size() + 4) << testing::PrintToString(lines);
  EXPECT_EQ(lines.back(), "Insufficient disk space on drive '" + root.substr(0, 2) +
                              "'. 2147483.6 GB of free disk space is required.");
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 2),
            Concat(kDotNetPassLines, {"Free Disk Space",
                                      "Free Disk Space: Checking at least 2147483647 MB free on "
                                      "drive '" +
                                          root.substr(0, 2) + "' for temp directory '" + root + "'"}));
  EXPECT_TRUE(std::regex_match(
      lines.end()[-2], std::regex("Insufficient disk space: 2147483647 MB required but only [0-9]+ MB free\\.")))
      << lines.end()[-2];
}

TEST(Gates, ARootThatCannotBeSplitStopsTheRunWithMediumFull) {
  TempFolder temp;
  const std::wstring log = temp / L"setup.log";
  // A directory part of 256 characters: one more than its room holds.
  const std::string root = "C:\\" + std::string(254, 'd') + "\\";
  const auto result = RunProgram(Quoted(kBasic) + L" /IAgreeToTheEULA temp " +
                                 std::wstring(root.begin(), root.end()) + L" log " + Quoted(log));
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0x80030070u);
  EXPECT_EQ(LinesBetween(ReadLogLines(log), kSignerDetailsDone, "Ended -?[0-9]+"),
            Concat(kDotNetPassLines,
                   {"Free Disk Space", "Failed to parse directory for free disk space check. " + root,
                    // The report names no drive: none could be split off.
                    "Insufficient disk space on drive ''. 100.0 MB of free disk space is required."}));
}

}  // namespace
}  // namespace lantern::e2e
