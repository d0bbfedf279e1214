// The payload's Win32 side on real files under Wine: the information block at
// the end of a file, the probe and the working folder, and the folder walk of
// the removal; the security descriptors the working folder is made with, its
// takeover and its removal, with a fake only for the token and access lists
// that Wine cannot show.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "memory_log.h"
#include "payload/embedded_info_win32.h"
#include "payload/folder_security.h"
#include "payload/payload_system_win32.h"
#include "payload/removal.h"
#include "payload/working_folder.h"
#include "pending_deletions_win32.h"
#include "unix_links_win32.h"

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
    EXPECT_EQ(CopyEmbeddedInformation(OpenOwnFile(folder / L"setup.exe"), InformationMode::Stamped,
                                      folder / L"info.xml", memory.log),
              rc::Ok);
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
  // Whoever used the handle before (the trust provider) leaves its file
  // pointer anywhere; the block is read at its offsets all the same.
  const OwnFile own = OpenOwnFile(folder / L"setup.exe");
  SetFilePointer(own.handle.get(), 123, nullptr, FILE_BEGIN);
  CopyEmbeddedInformation(own, InformationMode::Stamped, folder / L"info.xml", memory.log);

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
    EXPECT_EQ(CopyEmbeddedInformation(OpenOwnFile(folder / L"missing.exe"), InformationMode::Stamped,
                                      folder / L"info.xml", memory.log),
              rc::Ok);
    EXPECT_EQ(memory.Lines(), L"Scanning for Signature\r\nFailed to open installer file " +
                                  (folder / L"missing.exe") + L" 2\r\n");
  }
  {
    WriteFileBytes(folder / L"setup.exe", FileWithBlock(5000, 100, "abc"));
    MemoryLog memory;
    const std::wstring target = folder / L"no such folder\\info.xml";
    EXPECT_EQ(CopyEmbeddedInformation(OpenOwnFile(folder / L"setup.exe"), InformationMode::Stamped, target,
                                      memory.log),
              rc::Ok);
    EXPECT_NE(memory.Lines().find(L"Failed to create temp file " + target + L" 3\r\n"), std::wstring::npos);
  }
}

class WorkingFolderTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  MemoryLog memory_;
  FolderSecurity security_;
  WorkingFolder folder_{memory_.log, security_};
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

TEST(DeleteFolderTree, PathsBeyondTheOldBufferAreDeletedToo) {
  ScratchFolder scratch;
  // Entries are reached through their folder's handle, so no path length
  // leaves one behind.
  const std::wstring deep = scratch / std::wstring(250 - scratch.path().size(), L'd');
  fs::create_directories(fs::path(deep));
  const std::wstring long_name(30, L'n');
  WriteFileBytes(deep + L"\\" + long_name, "x");
  MemoryLog memory;
  DeleteFolderTree(deep, memory.log);
  EXPECT_FALSE(fs::exists(fs::path(deep)));
  EXPECT_NE(memory.Lines().find(L"Deletion file '" + deep + L"\\" + long_name + L"'\n"), std::wstring::npos);
}

// ---- The working folder's protection, its takeover and its removal ----

const std::wstring kTestUser = L"S-1-5-21-1-2-3-1001";
const std::wstring kZeroGuid = L"{00000000-0000-0000-0000-000000000000}";

// Plays the token and the access lists Wine cannot show (it runs everyone as
// an elevated administrator and keeps no lists), and keeps a copy of every
// security descriptor the code makes a folder with.
class RecordingSecurity final : public FolderSecurity {
 public:
  bool elevated = true;
  std::optional<ExistingFolder> access;  // what a folder already there reports; the real answer when unset
  std::vector<std::vector<unsigned char>> descriptors;
  std::vector<std::wstring> made;

  Token ReadToken() override { return {elevated, kTestUser}; }
  UniqueFileHandle CreateFolder(HANDLE parent, const std::wstring& name, PSECURITY_DESCRIPTOR descriptor,
                                ACCESS_MASK access_mask, ULONG share, DWORD& error) override {
    Keep(name, descriptor);
    return FolderSecurity::CreateFolder(parent, name, descriptor, access_mask, share, error);
  }
  bool CreateFolderAt(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) override {
    Keep(path, descriptor);
    return FolderSecurity::CreateFolderAt(path, descriptor);
  }
  bool ReadAccess(HANDLE folder, ExistingFolder& facts) override {
    if (!access) return FolderSecurity::ReadAccess(folder, facts);
    facts.owner = access->owner;
    facts.has_access_list = access->has_access_list;
    facts.entries = access->entries;
    return true;
  }

 private:
  void Keep(const std::wstring& what, PSECURITY_DESCRIPTOR descriptor) {
    made.push_back(what);
    if (!descriptor) {
      descriptors.emplace_back();
      return;
    }
    const auto* bytes = static_cast<const unsigned char*>(descriptor);
    descriptors.emplace_back(bytes, bytes + GetSecurityDescriptorLength(descriptor));
  }
};

std::wstring SidString(PSID sid) {
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
  std::wstring copy = text;
  LocalFree(text);
  return copy;
}

// What a captured descriptor says, read back with the system's own calls.
struct DescriptorContents {
  bool valid = false;
  bool protected_list = false;
  bool has_list = false;
  std::wstring owner;
  std::vector<AccessEntry> entries;
};

DescriptorContents Read(std::vector<unsigned char>& bytes) {
  DescriptorContents contents;
  PSECURITY_DESCRIPTOR descriptor = bytes.data();
  if (bytes.empty() || !IsValidSecurityDescriptor(descriptor)) return contents;
  contents.valid = true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  contents.protected_list = (control & SE_DACL_PROTECTED) != 0;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  contents.owner = SidString(owner);
  BOOL present = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  contents.has_list = present && list;
  for (DWORD i = 0; contents.has_list && i < list->AceCount; ++i) {
    void* raw = nullptr;
    GetAce(list, i, &raw);
    const auto* entry = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    contents.entries.push_back({entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE,
                                SidString(const_cast<DWORD*>(&entry->SidStart)), entry->Mask,
                                entry->Header.AceFlags});
  }
  return contents;
}

// Every folder the run makes (missing levels of the root, and the working
// folder) gets, in the same call that makes it, a protected descriptor that
// lets no one change anything but the system and the administrators, and
// the user when the run is not elevated.
TEST(WorkingFolderSecurity, EveryFolderIsMadeProtectedForTheTrustedOnly) {
  for (const bool elevated : {true, false}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    ScratchFolder scratch;
    MemoryLog memory;
    RecordingSecurity security;
    security.elevated = elevated;
    WorkingFolder folder(memory.log, security);
    const std::wstring root = scratch / L"made\\deeper";
    folder.CreateProbeFile(root);  // its parent is missing: the working folder makes both levels
    ASSERT_EQ(folder.Prepare(), rc::Ok);
    ASSERT_TRUE(fs::is_directory(fs::path(folder.Get())));

    // The probe tries the last level alone first (its parent is missing then).
    ASSERT_EQ(security.made.size(), 4u);
    EXPECT_EQ(security.made[0], root);
    EXPECT_EQ(security.made[1], scratch / L"made");
    EXPECT_EQ(security.made[2], root);
    EXPECT_EQ(fs::path(folder.Get()).filename().wstring(), security.made[3]);
    const std::vector<std::wstring> trusted =
        elevated ? std::vector<std::wstring>{sid::kSystem, sid::kAdministrators}
                 : std::vector<std::wstring>{sid::kSystem, sid::kAdministrators, kTestUser};
    for (std::size_t i = 0; i < security.descriptors.size(); ++i) {
      SCOPED_TRACE(Narrow(security.made[i]));
      const DescriptorContents contents = Read(security.descriptors[i]);
      ASSERT_TRUE(contents.valid);
      EXPECT_TRUE(contents.protected_list) << "inherits from the folder above";
      ASSERT_TRUE(contents.has_list);
      EXPECT_EQ(contents.owner, elevated ? std::wstring(sid::kAdministrators) : std::wstring());
      EXPECT_EQ(contents.entries, WorkingFolderAccess(elevated, kTestUser).entries);
      for (const AccessEntry& entry : contents.entries) {
        if (!entry.allow || (entry.mask & rights::kChanges) == 0) continue;
        EXPECT_NE(std::find(trusted.begin(), trusted.end(), entry.sid), trusted.end()) << Narrow(entry.sid);
      }
      const bool everyone_reads =
          std::any_of(contents.entries.begin(), contents.entries.end(), [](const AccessEntry& e) {
            return e.sid == sid::kEveryone && e.mask == rights::kReadAndExecute &&
                   e.flags == kInheritedByFilesAndFolders;
          });
      EXPECT_TRUE(everyone_reads);
    }
  }
}

// While the run holds the folder nobody can delete or rename it, yet it can
// still be a current directory (the front end's).
TEST(WorkingFolderSecurity, TheHeldFolderCannotBeDeletedOrRenamed) {
  ScratchFolder scratch;
  MemoryLog memory;
  FolderSecurity security;
  WorkingFolder folder(memory.log, security);
  folder.CreateProbeFile(scratch.path());
  ASSERT_EQ(folder.Prepare(), rc::Ok);
  const std::wstring made = folder.Get();
  ASSERT_NE(folder.handle(), nullptr);

  const HANDLE for_delete =
      CreateFileW(made.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_EQ(for_delete, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(made.c_str(), (scratch / L"moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryW(made.c_str()));
  EXPECT_TRUE(fs::is_directory(fs::path(made)));

  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  EXPECT_TRUE(SetCurrentDirectoryW(made.c_str()));
  SetCurrentDirectoryW(before);
}

// A zero-GUID folder that is already there is taken over only when it is a
// real folder that only the trusted can change; otherwise the run stops
// there and leaves it exactly as it was.
TEST(WorkingFolderSecurity, AFolderAlreadyThereIsTakenOverOnlyWhenNobodyElseCanChangeIt) {
  const ExistingFolder ours{true, false, sid::kAdministrators, true,
                            WorkingFolderAccess(true, kTestUser).entries};
  ExistingFolder users_may_write = ours;
  users_may_write.entries.push_back({true, L"S-1-5-32-545", 0x0002, 0});
  struct Case {
    const char* what;
    int plant;  // 0: a folder; 1: a link to a folder elsewhere; 2: a file
    std::optional<ExistingFolder> access;
    std::wstring refusal;  // empty: taken over
  };
  const Case cases[] = {
      {"owned by the administrators, changeable by them alone", 0, ours, L""},
      {"owned by the user (what Wine reports for every file)", 0, std::nullopt, L"belongs to S-1-5-21-"},
      {"users may add files", 0, users_may_write, L"can be changed by S-1-5-32-545"},
      {"a link to another folder", 1, ours, L"is a link"},
      {"a file", 2, ours, L"is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder scratch;
    ScratchFolder elsewhere;
    WriteFileBytes(elsewhere / L"version.dll", "planted");
    const std::wstring planted = scratch / kZeroGuid;
    if (c.plant == 0) {
      fs::create_directories(fs::path(planted));
      WriteFileBytes(planted + L"\\version.dll", "planted");
    } else if (c.plant == 1) {
      ASSERT_TRUE(testing_support::MakeUnixLink(elsewhere.path(), planted));
    } else {
      WriteFileBytes(planted, "a file");
    }

    MemoryLog memory;
    RecordingSecurity security;
    security.access = c.access;
    WorkingFolder folder(memory.log, security);
    folder.CreateProbeFile(scratch.path());
    folder.SetZeroGuid();
    const ResultCode result = folder.Prepare();
    if (c.refusal.empty()) {
      EXPECT_EQ(result, rc::Ok);
      EXPECT_NE(folder.handle(), nullptr);
      EXPECT_NE(memory.Lines().find(L"Set the temp folder to be '" + planted + L"'\n"), std::wstring::npos);
    } else {
      EXPECT_EQ(result, rc::Fail);
      EXPECT_EQ(folder.handle(), nullptr);
      EXPECT_NE(memory.Lines().find(L"The working folder '" + planted + L"' " + c.refusal),
                std::wstring::npos)
          << Narrow(memory.Lines());
      EXPECT_EQ(memory.Lines().find(L"Set the temp folder to be"), std::wstring::npos);
    }
    EXPECT_TRUE(security.made.size() <= 1u);  // only the attempt to make it new
    // Nothing there or elsewhere changed.
    EXPECT_EQ(ReadFileBytes(elsewhere / L"version.dll"), "planted");
    if (c.plant == 0) {
      EXPECT_EQ(ReadFileBytes(planted + L"\\version.dll"), "planted");
    } else if (c.plant == 2) {
      EXPECT_EQ(ReadFileBytes(planted), "a file");
    }
    if (c.plant == 1) testing_support::RemoveUnixLink(planted);
  }
}

TEST(WorkingFolderSecurity, ASecondRunOnTheSameFolderStopsWhileTheFirstHoldsIt) {
  ScratchFolder scratch;
  RecordingSecurity security;
  security.access =
      ExistingFolder{true, false, sid::kAdministrators, true, WorkingFolderAccess(true, kTestUser).entries};
  MemoryLog first_log;
  WorkingFolder first(first_log.log, security);
  first.CreateProbeFile(scratch.path());
  first.SetZeroGuid();
  ASSERT_EQ(first.Prepare(), rc::Ok);
  {
    MemoryLog second_log;
    WorkingFolder second(second_log.log, security);
    second.CreateProbeFile(scratch.path());
    second.SetZeroGuid();
    EXPECT_EQ(second.Prepare(), rc::Fail);
    EXPECT_NE(second_log.Lines().find(L"The working folder '" + (scratch / kZeroGuid) +
                                      L"' is in use by another run; it is not used\n"),
              std::wstring::npos);
  }
  EXPECT_NE(first.handle(), nullptr);
  MemoryLog removal;
  RemoveWorkingFolder({}, first, removal.log);
  EXPECT_FALSE(fs::exists(fs::path(scratch / kZeroGuid)));
  // Once the first is done, the name is free again.
  MemoryLog third_log;
  WorkingFolder third(third_log.log, security);
  third.CreateProbeFile(scratch.path());
  third.SetZeroGuid();
  EXPECT_EQ(third.Prepare(), rc::Ok);
}

// What the bootstrapper writes, replaces and deletes in a folder it took over
// never goes through a link planted there: files outside stay byte for byte
// and keep their access.
TEST(WorkingFolderSecurity, LinksInAFolderTakenOverAreNeverWrittenOrDeletedThrough) {
  ScratchFolder scratch;
  ScratchFolder outside;
  WriteFileBytes(outside / L"nested.txt", "outside nested");
  WriteFileBytes(outside / L"target.bin", "outside target");
  const std::wstring working = scratch / kZeroGuid;
  fs::create_directories(fs::path(working));
  ASSERT_TRUE(testing_support::MakeUnixLink(outside.path(), working + L"\\sub folder"));
  ASSERT_TRUE(testing_support::MakeUnixLink(outside / L"target.bin", working + L"\\bytes.bin"));
  auto describe = [](const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring object = path;
    GetNamedSecurityInfoW(object.data(), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                          nullptr, &descriptor);
    LPWSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
    std::wstring copy = (text ? text : L"") + std::to_wstring(GetFileAttributesW(path.c_str()));
    LocalFree(text);
    LocalFree(descriptor);
    return copy;
  };
  const std::vector<std::wstring> watched = {outside.path(), outside / L"nested.txt",
                                             outside / L"target.bin"};
  std::vector<std::wstring> access_before;
  for (const auto& path : watched) access_before.push_back(describe(path));

  RecordingSecurity security;
  security.access =
      ExistingFolder{true, false, sid::kAdministrators, true, WorkingFolderAccess(true, kTestUser).entries};
  MemoryLog memory;
  WorkingFolder folder(memory.log, security);
  folder.CreateProbeFile(scratch.path());
  folder.SetZeroGuid();
  ASSERT_EQ(folder.Prepare(), rc::Ok);
  Win32PayloadSystem system(nullptr, folder, memory.log);
  const std::string payload = "payload bytes";
  const PayloadSystem::MappedBytes bytes{payload.data(), static_cast<std::uint32_t>(payload.size())};
  // Through the link at the sub-folder: refused.
  EXPECT_FALSE(system.WritePayloadFile(L"sub folder\\nested.txt", bytes).created);
  // At a link to a file: where it opens as itself (Windows) the link is
  // deleted and a new file takes its place; where opening follows it (Wine,
  // which shows such a link as the file itself) it can neither be replaced
  // nor removed as a link, so the file is not made. Either way nothing is
  // written or deleted through it.
  const PayloadSystem::WriteResult replaced = system.WritePayloadFile(L"bytes.bin", bytes);
  if (replaced.created) {
    EXPECT_EQ(replaced.written, bytes.size);
    EXPECT_EQ(ReadFileBytes(working + L"\\bytes.bin"), payload);
  }
  EXPECT_EQ(ReadFileBytes(outside / L"target.bin"), "outside target");

  ResourceList list(2);
  list.front().file_name = L"sub folder\\nested.txt";
  list.back().file_name = L"bytes.bin";
  RemoveWorkingFolder(list, folder, memory.log);

  EXPECT_EQ(ReadFileBytes(outside / L"nested.txt"), "outside nested");
  EXPECT_EQ(ReadFileBytes(outside / L"target.bin"), "outside target");
  for (std::size_t i = 0; i < watched.size(); ++i) EXPECT_EQ(describe(watched[i]), access_before[i]) << i;
  EXPECT_NE(memory.Lines().find(L"Deletion link '" + working + L"\\sub folder'\n"), std::wstring::npos);
  // Wine cannot remove a link as a link: it stays, and the working folder
  // with it. The clean-up must not follow them either.
  testing_support::RemoveUnixLink(working + L"\\sub folder");
  testing_support::RemoveUnixLink(working + L"\\bytes.bin");
}

using testing_support::ClearPendingDeletions;
using testing_support::PendingDeletions;

// Nothing is left behind: read-only files go too, and what a lingering
// program still holds is deleted at the next restart, its folders with it.
TEST(WorkingFolderSecurity, ReadOnlyFilesGoAndWhatIsHeldOpenGoesAtTheNextRestart) {
  ClearPendingDeletions();
  ScratchFolder scratch;
  MemoryLog memory;
  FolderSecurity security;
  WorkingFolder folder(memory.log, security);
  folder.CreateProbeFile(scratch.path());
  ASSERT_EQ(folder.Prepare(), rc::Ok);
  const std::wstring working = folder.Get();
  fs::create_directories(fs::path(working + L"\\left\\deeper"));
  for (const std::wstring& name :
       {std::wstring(L"read-only.txt"), std::wstring(L"left\\deeper\\read-only.txt")}) {
    WriteFileBytes(working + L"\\" + name, "read-only");
    ASSERT_TRUE(SetFileAttributesW((working + L"\\" + name).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  fs::create_directories(fs::path(working + L"\\held"));
  const std::wstring held_path = working + L"\\held\\in use.txt";
  const HANDLE held = CreateFileW(held_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  RemoveWorkingFolder({}, folder, memory.log);
  const std::wstring pending = PendingDeletions();
  CloseHandle(held);

  EXPECT_FALSE(fs::exists(fs::path(working + L"\\read-only.txt")));
  EXPECT_FALSE(fs::exists(fs::path(working + L"\\left")));
  EXPECT_TRUE(fs::exists(fs::path(held_path)));
  const std::wstring& lines = memory.Lines();
  EXPECT_NE(lines.find(L"Deletion file '" + working + L"\\left\\deeper\\read-only.txt'\n"),
            std::wstring::npos);
  const std::vector<std::wstring> scheduled = {held_path, working + L"\\held", working};
  std::size_t at = 0;
  for (const std::wstring& path : scheduled) {
    SCOPED_TRACE(Narrow(path));
    at = lines.find(L"Scheduled for removal at restart '" + path + L"'\n", at);
    EXPECT_NE(at, std::wstring::npos) << Narrow(lines);
    EXPECT_NE(pending.find(path), std::wstring::npos) << Narrow(pending);
  }
  EXPECT_EQ(lines.find(L"Scheduled for removal at restart '" + working + L"\\left"), std::wstring::npos);
  ClearPendingDeletions();
}

}  // namespace
}  // namespace lantern
