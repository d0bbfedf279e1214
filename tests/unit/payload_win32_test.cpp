// The payload's Win32 side on real files under Wine: the information block at
// the end of a file, the probe and the working folder, and the folder walk of
// the removal.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "memory_log.h"
#include "payload/embedded_info_win32.h"
#include "payload/removal.h"
#include "payload/working_folder.h"

namespace lantern {
namespace {

namespace fs = std::filesystem;
using testing_fakes::MemoryLog;

// A fresh folder under the temporary folder, removed when the test ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp, length) + L"lantern-unit-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter_++);
    fs::remove_all(fs::path(path_));
    fs::create_directories(fs::path(path_));
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(fs::path(path_), ignored);
  }
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  static inline int counter_ = 0;
  std::wstring path_;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(fs::path(path), std::ios::binary) << bytes;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);
  return out;
}

// A file of `size` bytes of filler with `marker_from_end` bytes before its end
// holding "MRDC" (0: none) and the information after it.
std::string FileWithBlock(std::size_t size, std::size_t marker_from_end,
                          const std::string& information = "") {
  std::string bytes(size, 'x');
  if (marker_from_end == 0) return bytes;
  bytes.replace(size - marker_from_end, 4, "MRDC");
  bytes.replace(size - marker_from_end + 4, information.size(), information);
  return bytes;
}

TEST(CopyEmbeddedInformation, FindsTheBlockOnlyWhereTheLayoutPutsIt) {
  const struct {
    const char* what;
    std::size_t size;
    std::size_t marker_from_end;
    std::size_t copied;  // 0: no target written
  } cases[] = {
      {"file of exactly 4,116 bytes", 4116, 4116, 0},
      {"marker 4,116 bytes before the end", 10000, 4116, 4106},
      {"marker 4,117 bytes before the end", 10000, 4117, 0},
      {"marker 11 bytes before the end", 10000, 11, 1},
      {"marker 10 bytes before the end", 10000, 10, 0},
      {"marker 6 bytes before the end", 10000, 6, 0},
      {"no marker", 10000, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    const std::string file = FileWithBlock(c.size, c.marker_from_end);
    WriteFileBytes(folder / L"setup.exe", file);
    MemoryLog memory;
    EXPECT_EQ(CopyEmbeddedInformation(folder / L"setup.exe", folder / L"info.xml", memory.log), rc::Ok);
    if (c.copied == 0) {
      EXPECT_FALSE(fs::exists(fs::path(folder / L"info.xml")));
      EXPECT_EQ(memory.Lines(), L"Scanning for Signature\r\n");
    } else {
      const std::size_t start = c.size - c.marker_from_end + 4;
      EXPECT_EQ(ReadFileBytes(folder / L"info.xml"), file.substr(start, c.copied));
      EXPECT_NE(memory.Lines().find(L"Written out embedded information " + std::to_wstring(c.copied) +
                                    L" bytes to file " + (folder / L"info.xml") + L"\r\n"),
                std::wstring::npos);
    }
  }
}

TEST(CopyEmbeddedInformation, TakesTheMarkerNearestTheEndAndEveryByteOfTheInformation) {
  ScratchFolder folder;
  // The information holds a zero byte; the log shows it up to there.
  std::string file = FileWithBlock(9000, 3000, "older block");
  const std::string information("<info a=\"1\"/>\0after", 19);
  file.replace(file.size() - 40, 4, "MRDC");
  file.replace(file.size() - 36, information.size(), information);
  WriteFileBytes(folder / L"setup.exe", file);
  MemoryLog memory;
  CopyEmbeddedInformation(folder / L"setup.exe", folder / L"info.xml", memory.log);

  EXPECT_EQ(ReadFileBytes(folder / L"info.xml"), file.substr(file.size() - 36, 30));
  EXPECT_EQ(memory.Lines(),
            L"Scanning for Signature\r\n"
            L"Found embedded information '<info a=\"1\"/>'\r\n"
            L"Written out embedded information 30 bytes to file " +
                (folder / L"info.xml") + L"\r\n");
}

TEST(CopyEmbeddedInformation, FailuresAreLoggedAndNeverStopTheRun) {
  ScratchFolder folder;
  {
    MemoryLog memory;
    EXPECT_EQ(CopyEmbeddedInformation(folder / L"missing.exe", folder / L"info.xml", memory.log), rc::Ok);
    EXPECT_EQ(memory.Lines(), L"Scanning for Signature\r\nFailed to open installer file " +
                                  (folder / L"missing.exe") + L" 2\r\n");
  }
  {
    WriteFileBytes(folder / L"setup.exe", FileWithBlock(5000, 100, "abc"));
    MemoryLog memory;
    const std::wstring target = folder / L"no such folder\\info.xml";
    EXPECT_EQ(CopyEmbeddedInformation(folder / L"setup.exe", target, memory.log), rc::Ok);
    EXPECT_NE(memory.Lines().find(L"Failed to create temp file " + target + L" 3\r\n"), std::wstring::npos);
  }
}

class WorkingFolderTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  MemoryLog memory_;
  WorkingFolder folder_{memory_.log};
};

TEST_F(WorkingFolderTest, TheProbeMakesTheLastLevelOfTheRootAndLeavesNothing) {
  const std::wstring root = scratch_ / L"Work";
  EXPECT_EQ(folder_.CreateProbeFile(root), rc::Ok);
  EXPECT_TRUE(fs::is_directory(fs::path(root)));
  EXPECT_TRUE(fs::is_empty(fs::path(root)));
  EXPECT_TRUE(memory_.Lines().starts_with(L"Set temp folder '" + root +
                                          L"'\nSuccessfully created temp file '" + root + L"\\{"));

  EXPECT_EQ(folder_.CreateProbeFile(scratch_ / L"missing\\deeper"), rc::Fail);
  EXPECT_FALSE(fs::exists(fs::path(scratch_ / L"missing")));
}

TEST_F(WorkingFolderTest, TheFolderIsMadeOnceUnderTheLastProbedRoot) {
  folder_.CreateProbeFile(scratch_ / L"first");
  folder_.CreateProbeFile(scratch_ / L"second");
  const std::wstring made = folder_.Get();
  EXPECT_EQ(folder_.Get(), made);
  EXPECT_EQ(fs::path(made).parent_path().wstring(), scratch_ / L"second");
  EXPECT_TRUE(fs::is_directory(fs::path(made)));
  const std::wstring& lines = memory_.Lines();
  EXPECT_EQ(lines.find(L"Set the temp folder to be '" + made + L"'\n"),
            lines.rfind(L"Set the temp folder to be '"));
  EXPECT_EQ(folder_.GetFilePath(L"lib\\Extra.dll"), made + L"\\lib\\Extra.dll");
  EXPECT_EQ(folder_.GetFilePath(L""), made);
  EXPECT_EQ(folder_.GetFilePath(L"..\\escape.dll"), L"");
}

TEST_F(WorkingFolderTest, ZeroGuidNamesTheFolderWithTheZeroGuid) {
  folder_.CreateProbeFile(scratch_.path());
  folder_.SetZeroGuid();
  EXPECT_EQ(folder_.Get(), scratch_ / L"{00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(memory_.Lines().find(L"Set GUID in folder name"), std::wstring::npos);
}

TEST_F(WorkingFolderTest, ARootTooLongForAGuidNameGivesNoProbeAndNoFolder) {
  // Long enough to make, too long for "\{GUID}" after it: no step may act on a
  // shortened path instead.
  const std::wstring root = scratch_ / std::wstring(230 - scratch_.path().size(), L'r');
  EXPECT_EQ(folder_.CreateProbeFile(root), rc::Fail);
  EXPECT_EQ(folder_.Get(), L"");
  EXPECT_EQ(folder_.GetFilePath(L"payload.bin"), L"");
  EXPECT_TRUE(fs::is_empty(fs::path(root)));
  EXPECT_NE(memory_.Lines().find(L"No working folder fits under '" + root + L"'\n"), std::wstring::npos);
}

TEST(DeleteFolderTree, DeletesDepthFirstAndLogsEveryStep) {
  ScratchFolder scratch;
  const std::wstring top = scratch / L"top";
  fs::create_directories(fs::path(top + L"\\a\\b"));
  WriteFileBytes(top + L"\\a\\b\\deep.txt", "x");
  MemoryLog memory;
  DeleteFolderTree(top, memory.log);
  EXPECT_FALSE(fs::exists(fs::path(top)));
  EXPECT_EQ(memory.Lines(), L"Deletion subfolder Folder of '" + top +
                                L"\\a'\n"
                                L"Deletion subfolder Folder of '" +
                                top +
                                L"\\a\\b'\n"
                                L"Deletion file '" +
                                top +
                                L"\\a\\b\\deep.txt'\n"
                                L"Remove Folder '" +
                                top +
                                L"\\a\\b'\n"
                                L"Remove Folder '" +
                                top +
                                L"\\a'\n"
                                L"Remove Folder '" +
                                top + L"'\n");
}

TEST(DeleteFolderTree, AMissingFolderIsStillNamedAndAnEmptyPathIsNeverTheDrive) {
  ScratchFolder scratch;
  MemoryLog memory;
  DeleteFolderTree(scratch / L"gone", memory.log);
  EXPECT_EQ(memory.Lines(), L"Remove Folder '" + (scratch / L"gone") + L"'\n");
  MemoryLog empty;
  DeleteFolderTree(L"", empty.log);
  EXPECT_EQ(empty.Lines(), L"");
}

TEST(DeleteFolderTree, EntriesBeyondThePathLimitAreLeftAndNamed) {
  ScratchFolder scratch;
  // A folder whose path leaves room for short names only.
  const std::wstring deep = scratch / std::wstring(250 - scratch.path().size(), L'd');
  fs::create_directories(fs::path(deep));
  const std::wstring long_name(kDeletePathRoom - deep.size(), L'n');  // one character too many
  WriteFileBytes(deep + L"\\" + long_name, "x");
  WriteFileBytes(deep + L"\\short", "x");
  MemoryLog memory;
  DeleteFolderTree(deep, memory.log);
  EXPECT_TRUE(fs::exists(fs::path(deep + L"\\" + long_name)));
  EXPECT_FALSE(fs::exists(fs::path(deep + L"\\short")));
  EXPECT_NE(memory.Lines().find(L"Path too long to delete '" + deep + L"\\" + long_name + L"'\n"),
            std::wstring::npos);
}

}  // namespace
}  // namespace lantern
