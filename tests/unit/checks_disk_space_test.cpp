// The free-disk-space gate: the path split with its bounded parts, where the
// space is asked for, whole megabytes, the strict comparison and the log.
#include <gtest/gtest.h>

#include <string>

#include "checks/disk_space_check.h"
#include "checks_fakes.h"

namespace lantern {
namespace {

using testing_fakes::FakeDiskSpace;
using testing_fakes::MapStringTable;
using testing_fakes::MemoryLogSystem;

constexpr std::uint64_t kMB = 1u << 20;

TEST(SplitPath, DriveDirectoryFileNameAndExtension) {
  const struct {
    std::wstring path;
    PathParts parts;
  } cases[] = {
      {L"C:\\users\\pat\\Temp\\", {L"C:", L"\\users\\pat\\Temp\\", L"", L""}},
      {L"C:\\stage", {L"C:", L"\\", L"stage", L""}},
      {L"C:\\a.b\\c.d.e", {L"C:", L"\\a.b\\", L"c.d", L".e"}},
      {L"D:", {L"D:", L"", L"", L""}},
      {L"D:work.dir", {L"D:", L"", L"work", L".dir"}},
      {L"\\\\server\\share\\dir", {L"", L"\\\\server\\share\\", L"dir", L""}},
      {L"rel/sub\\x.txt", {L"", L"rel/sub\\", L"x", L".txt"}},
      {L"", {L"", L"", L"", L""}},
      // The largest parts that fit their rooms.
      {L"C:\\" + std::wstring(253, L'd') + L"\\", {L"C:", L"\\" + std::wstring(253, L'd') + L"\\", L"", L""}},
      {L"C:\\" + std::wstring(255, L'f'), {L"C:", L"\\", std::wstring(255, L'f'), L""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    const std::optional<PathParts> parts = SplitPath(c.path);
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->drive, c.parts.drive);
    EXPECT_EQ(parts->directory, c.parts.directory);
    EXPECT_EQ(parts->file_name, c.parts.file_name);
    EXPECT_EQ(parts->extension, c.parts.extension);
  }
}

TEST(SplitPath, FailsWhenAPartDoesNotFitItsRoom) {
  const std::wstring too_long[] = {
      L"C:\\" + std::wstring(254, L'd') + L"\\",  // directory of 256 characters
      L"C:\\" + std::wstring(256, L'f'),          // file name of 256
      L"C:\\x." + std::wstring(255, L'e'),        // extension of 256, dot included
  };
  for (const auto& path : too_long) {
    EXPECT_FALSE(SplitPath(path).has_value()) << path.size();
  }
}

TEST(FreeSpaceQueryPath, TheDriveOrTheRootOfTheShare) {
  const struct {
    std::wstring drive, root, asked;
  } cases[] = {
      {L"C:", L"C:\\users\\pat\\Temp\\", L"C:"},
      {L"", L"\\\\server\\share\\setup\\tmp\\", L"\\\\server\\share\\"},
      {L"", L"\\\\server\\share", L"\\\\server\\share\\"},
      {L"", L"\\\\server", L"\\\\server"},
      {L"", L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FreeSpaceQueryPath(c.drive, c.root), c.asked) << testing::PrintToString(c.root);
  }
}

const std::wstring kRoot = L"C:\\users\\pat\\Temp\\";

std::wstring CheckingLine(const std::wstring& minimum) {
  return L"Free Disk Space\nFree Disk Space: Checking at least " + minimum +
         L" MB free on drive 'C:' for temp directory 'C:\\users\\pat\\Temp\\'\n";
}

TEST(CheckFreeDiskSpace, WholeMegabytesAgainstTheMinimum) {
  const struct {
    const char* what;
    std::optional<std::wstring> minimum;  // string 103; nullopt: missing
    std::optional<std::uint64_t> free_bytes;
    bool passes;
    std::int64_t required_mb, free_mb;
    std::wstring log;
  } cases[] = {
      {"exactly the minimum fails", L"100", 100 * kMB, false, 100, 100,
       CheckingLine(L"100") + L"Insufficient disk space: 100 MB required but only 100 MB free.\n"},
      {"one more passes", L"100", 101 * kMB, true, 100, 101,
       CheckingLine(L"100") + L"Free disk space requirement passed.\n"},
      {"100.9 MB counts as 100", L"100", 101 * kMB - 1, false, 100, 100,
       CheckingLine(L"100") + L"Insufficient disk space: 100 MB required but only 100 MB free.\n"},
      {"a negative minimum passes on a full disk", L"-1", 0, true, -1, 0,
       CheckingLine(L"-1") + L"Free disk space requirement passed.\n"},
      {"a minimum without digits is 0 and passes with 1 MB", L"lots", kMB, true, 0, 1,
       CheckingLine(L"0") + L"Free disk space requirement passed.\n"},
      {"a missing minimum is 0 and fails with less than 1 MB", std::nullopt, kMB - 1, false, 0, 0,
       CheckingLine(L"0") + L"Insufficient disk space: 0 MB required but only 0 MB free.\n"},
      {"a minimum far above the free space", L"2147483647", 0xFFFF'FFFF'FFFFull, false, 2147483647, 0xFFFFFFF,
       CheckingLine(L"2147483647") +
           L"Insufficient disk space: 2147483647 MB required but only 268435455 MB free.\n"},
      {"a free space beyond 32 bits of megabytes", L"4096", ~std::uint64_t{0}, true, 4096, 0xFFFFFFFFFFFll,
       CheckingLine(L"4096") + L"Free disk space requirement passed.\n"},
      {"a space query that fails", L"100", std::nullopt, false, 100, 0,
       CheckingLine(L"100") + L"Failed to check free disk space.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MapStringTable strings;
    if (c.minimum) strings.entries[cfg::RequiredDiskMB] = *c.minimum;
    FakeDiskSpace disk(c.free_bytes);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    const DiskSpaceResult run = CheckFreeDiskSpace(strings, disk, log, kRoot);
    EXPECT_EQ(run.passed, c.passes);
    EXPECT_EQ(run.RequiredDiskMB, c.required_mb);
    EXPECT_EQ(run.FreeDiskMB, c.free_mb);
    EXPECT_EQ(run.WorkingDrive, L"C:");
    EXPECT_EQ(disk.asked, std::vector<std::wstring>{L"C:"});
    EXPECT_EQ(log.Pending(), c.log);
  }
}

TEST(CheckFreeDiskSpace, ARootThatCannotBeSplitFailsWithoutAskingTheDisk) {
  const MapStringTable strings({{cfg::RequiredDiskMB, L"100"}});
  FakeDiskSpace disk(1000 * kMB);
  MemoryLogSystem system;
  DiagnosticLog log(system);
  const std::wstring root = L"C:\\" + std::wstring(254, L'd') + L"\\";
  const DiskSpaceResult run = CheckFreeDiskSpace(strings, disk, log, root);
  EXPECT_FALSE(run.passed);
  EXPECT_TRUE(disk.asked.empty());
  EXPECT_EQ(run.RequiredDiskMB, 100);
  EXPECT_EQ(run.FreeDiskMB, 0);
  EXPECT_EQ(run.WorkingDrive, L"");
  EXPECT_EQ(log.Pending(),
            L"Free Disk Space\nFailed to parse directory for free disk space check. " + root + L"\n");
}

TEST(CheckFreeDiskSpace, ARootOnANetworkShareIsMeasuredThere) {
  const MapStringTable strings({{cfg::RequiredDiskMB, L"100"}});
  FakeDiskSpace disk(500 * kMB);
  MemoryLogSystem system;
  DiagnosticLog log(system);
  const DiskSpaceResult run = CheckFreeDiskSpace(strings, disk, log, L"\\\\server\\share\\setup\\");
  EXPECT_TRUE(run.passed);
  EXPECT_EQ(run.WorkingDrive, L"");
  EXPECT_EQ(disk.asked, std::vector<std::wstring>{L"\\\\server\\share\\"});
  EXPECT_EQ(log.Pending(),
            L"Free Disk Space\nFree Disk Space: Checking at least 100 MB free on drive '' for temp directory "
            L"'\\\\server\\share\\setup\\'\nFree disk space requirement passed.\n");
}

}  // namespace
}  // namespace lantern
