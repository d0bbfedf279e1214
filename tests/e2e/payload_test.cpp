// The payload of real bootstrappers under Wine: extraction byte for byte into
// a GUID-named working folder, the information block, the folder's access,
// removal, and what broken payloads and unusable folders end with.
#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "e2e_paths.h"
#include "e2e_support.h"
#include "payload_paths.h"
#include "unix_links_win32.h"

namespace lantern::e2e {
namespace {

namespace fs = std::filesystem;

const std::wstring kZeroGuid = L"{00000000-0000-0000-0000-000000000000}";
const std::wstring kPayload = HostPath(LANTERN_E2E_SOURCE_DIR "/payload");

// The log's lines without their line ends.
std::vector<std::string> LogLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : ReadText(path)) {
    if (c == '\n') {
      while (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return lines;
}

// Every expected line appears, in this order (other lines may come between).
testing::AssertionResult HasInOrder(const std::vector<std::string>& lines,
                                    const std::vector<std::string>& expected) {
  auto at = lines.begin();
  for (const std::string& want : expected) {
    at = std::find(at, lines.end(), want);
    if (at == lines.end()) {
      std::string all;
      for (const auto& line : lines) all += line + "\n";
      return testing::AssertionFailure() << "missing (or out of order): '" << want << "' in:\n" << all;
    }
    ++at;
  }
  return testing::AssertionSuccess();
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(fs::path(folder)))
    names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

struct BootstrapperRun {
  RunResult result;
  std::vector<std::string> lines;
};

// A silent run with the working folder under `root` and the log beside it
// (or where `log_path` says).
BootstrapperRun RunBootstrapper(const char* exe, const std::wstring& root, const std::wstring& switches,
                                const std::wstring& log_path = L"") {
  const std::wstring log = log_path.empty() ? root + L".log" : log_path;
  DeleteFileW(log.c_str());
  BootstrapperRun run;
  run.result = RunProgram(L"\"" + HostPath(exe) + L"\" /IAgreeToTheEULA " + switches + L" temp \"" + root +
                          L"\" log \"" + log + L"\"");
  if (fs::exists(fs::path(log))) run.lines = LogLines(log);
  DeleteFileW(log.c_str());
  return run;
}

// The source files of the basic payload and their names in the working folder.
std::vector<std::pair<std::wstring, std::wstring>> BasicPayload() {
  return {{HostPath(LANTERN_STANDIN_EXE), L"standin.exe"},
          {kPayload + L"\\standin.exe.config", L"standin.exe.config"},
          {kPayload + L"\\bytes.bin", L"bytes.bin"},
          {kPayload + L"\\empty.dat", L"empty.dat"},
          {kPayload + L"\\tree\\top.txt", L"top.txt"},
          {kPayload + L"\\tree\\sub folder\\nested.txt", L"sub folder\\nested.txt"}};
}

PSID EveryoneSid() {
  static SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  static PSID sid = [] {
    PSID made = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &made);
    return made;
  }();
  return sid;
}

// The allowed entries for Everyone in a file's or folder's access list.
std::vector<ACCESS_ALLOWED_ACE> EveryoneEntries(const std::wstring& path) {
  std::vector<ACCESS_ALLOWED_ACE> found;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring object = path;
  if (GetNamedSecurityInfoW(object.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot read the access list of " << Narrow(path);
    return found;
  }
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&allowed->SidStart, EveryoneSid())) {
      found.push_back(*allowed);
    }
  }
  LocalFree(descriptor);
  return found;
}

// Read and run, nothing that changes the file, its folder or its access.
void ExpectReadAndExecuteOnly(const ACCESS_ALLOWED_ACE& entry) {
  const ACCESS_MASK writes = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA |
                             FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                             WRITE_OWNER;
  EXPECT_EQ(entry.Mask & writes, 0u) << std::hex << entry.Mask;
  const bool generic = (entry.Mask & (GENERIC_READ | GENERIC_EXECUTE)) == (GENERIC_READ | GENERIC_EXECUTE);
  const bool mapped =
      (entry.Mask & (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) == (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
  EXPECT_TRUE(generic || mapped) << std::hex << entry.Mask;
}

TEST(Payload, ExtractsEveryFileByteForByteWithTheInformationAndKeepsThem) {
  TempFolder root;
  const BootstrapperRun run = RunBootstrapper(LANTERN_E2E_INFO_EXE, root.path(), L"/dontrun /keep");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u);

  const auto folders = FolderNames(root.path());
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(
      std::regex_match(Narrow(folders[0]), std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}")))
      << Narrow(folders[0]);
  const std::wstring folder = root / folders[0];
  for (const auto& [source, name] : BasicPayload()) {
    EXPECT_EQ(ReadBytes(folder + L"\\" + name), ReadBytes(source)) << Narrow(name);
  }
  const auto information = ReadBytes(HostPath(LANTERN_E2E_INFO_XML));
  EXPECT_EQ(ReadBytes(folder + L"\\info.xml"), information);

  const std::string f = Narrow(folder);
  EXPECT_TRUE(
      HasInOrder(run.lines, {
                                "Set temp folder '" + Narrow(root.path()) + "'",
                                "Set GUID in folder name",
                                "Set the temp folder to be '" + f + "'",
                                "Scanning for Signature",
                                "Written out embedded information " + std::to_string(information.size()) +
                                    " bytes to file " + f + "\\info.xml",
                                "Enumerate Resources TOOLKIT 65",
                                "Enumerate Resources TOOLKIT 6b",
                                "Enumerate Resources OK ",
                                "Work Out FileName top.txt, Bytes 16",
                                "Work Out FileName standin.exe.config, Bytes 128",
                                "WorkOutFileNames 0",
                                f + "\\top.txt written Ok",
                                "Extract File top.txt 0",
                                f + "\\sub folder\\nested.txt written Ok",
                                "Extract File sub folder\\nested.txt 0",
                                "Extract File empty.dat 0",
                                "Extract File bytes.bin 0",
                                "Extract File standin.exe.config 0",
                                "Extract File standin.exe 0",
                                "Remove folder 'No'",
                            }));
}

TEST(Payload, TheWorkingFolderLetsEveryoneReadAndRunButNotChange) {
  TempFolder root;
  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun /keep /zeroguid");
  ASSERT_EQ(run.result.exit_code, 0u);
  const std::wstring folder = root / kZeroGuid;

  const auto entries = EveryoneEntries(folder);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
            OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  ExpectReadAndExecuteOnly(entries[0]);

  // What the extraction made there inherits the grant (Wine copies the entry
  // without marking it inherited).
  for (const std::wstring& made : {folder + L"\\standin.exe", folder + L"\\sub folder"}) {
    SCOPED_TRACE(Narrow(made));
    const auto inherited = EveryoneEntries(made);
    ASSERT_FALSE(inherited.empty());
    for (const auto& entry : inherited) ExpectReadAndExecuteOnly(entry);
  }
}

TEST(Payload, WithoutKeepEverythingIsRemovedAndTheRootStays) {
  TempFolder root;
  const BootstrapperRun run = RunBootstrapper(LANTERN_E2E_INFO_EXE, root.path(), L"/dontrun /zeroguid");
  ASSERT_EQ(run.result.exit_code, 0u);
  EXPECT_TRUE(FolderNames(root.path()).empty());
  const std::string f = Narrow(root / kZeroGuid);
  EXPECT_FALSE(Contains(run.lines, "Set GUID in folder name"));
  EXPECT_TRUE(HasInOrder(run.lines, {
                                        "Remove folder 'Yes'",
                                        "Manual Deletion of '" + f + "\\top.txt'",
                                        "Manual Deletion of '" + f + "\\sub folder\\nested.txt'",
                                        "Manual Deletion of '" + f + "\\standin.exe'",
                                        "Deletion Folder of '" + f + "'",
                                    }));
  // Left after the catalogue's files: the information and the sub-folder.
  EXPECT_TRUE(Contains(run.lines, "Deletion file '" + f + "\\info.xml'"));
  EXPECT_TRUE(HasInOrder(run.lines, {
                                        "Deletion subfolder Folder of '" + f + "\\sub folder'",
                                        "Remove Folder '" + f + "\\sub folder'",
                                        "Remove Folder '" + f + "'",
                                    }));
}

TEST(Payload, WithoutABlockNoInformationIsWritten) {
  TempFolder root;
  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun /keep /zeroguid");
  ASSERT_EQ(run.result.exit_code, 0u);
  EXPECT_FALSE(fs::exists(fs::path(root / kZeroGuid + L"\\info.xml")));
  const auto scan = std::find(run.lines.begin(), run.lines.end(), "Scanning for Signature");
  ASSERT_NE(scan, run.lines.end());
  EXPECT_EQ(*(scan + 1), "Enumerate Resources TOOLKIT 65");
}

// Broken payloads: each ends with its result and lines, writes nothing it should
// not, and (without keep) leaves no working folder behind.
TEST(Payload, BrokenPayloads) {
  struct Case {
    const char* exe;
    std::uint32_t exit_code;
    std::vector<std::string> lines;   // "<f>" stands for the working folder
    std::vector<std::wstring> files;  // what the working folder holds afterwards with keep
  };
  const Case cases[] = {
      {LANTERN_E2E_NO_TOOLKIT_EXE,
       0x80004005u,
       {"Scanning for Signature", "Enumerate Resources has failed", "Remove folder '$'"},
       {}},
      {LANTERN_E2E_NO_CATALOGUE_EXE,
       0u,
       {"Enumerate Resources TOOLKIT 66", "Enumerate Resources OK ", "WorkOutFileNames 0",
        "Remove folder '$'"},
       {}},
      {LANTERN_E2E_LISTED_EXE,
       0u,
       {"Enumerate Resources OK ", "Work Out FileName same.txt, Bytes 128",
        "Work Out FileName same.txt, Bytes 775", "Work Out FileName sub\\dir\\copy.bin, Bytes 775",
        "Work Out FileName bytes.bin, Bytes 775", "WorkOutFileNames 0", "Extract File same.txt 0",
        "Extract File same.txt 0", "Extract File sub\\dir\\copy.bin 0", "Extract File bytes.bin 0"},
       {L"bytes.bin", L"same.txt", L"sub"}},
      {LANTERN_RAW_EXE,
       0x80040167u,
       {"<f>\\wrong size.cfg Write file has failed", "Extract File wrong size.cfg 80040167",
        "Remove folder '$'"},
       {L"wrong size.cfg"}},
      {LANTERN_E2E_SHORT_EXE,
       0x80040167u,
       {"<f>\\small.cfg Write file has failed", "Extract File small.cfg 80040167"},
       {L"small.cfg"}},
      {LANTERN_E2E_ESCAPE_EXE,
       0x80004005u,
       {"..\\escape.bin Create file has failed", "Extract File ..\\escape.bin 80004005"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    for (const bool keep : {true, false}) {
      SCOPED_TRACE(keep ? "keep" : "no keep");
      TempFolder root;
      const BootstrapperRun run =
          RunBootstrapper(c.exe, root.path(), keep ? L"/dontrun /zeroguid /keep" : L"/dontrun /zeroguid");
      ASSERT_TRUE(run.result.finished);
      EXPECT_EQ(run.result.exit_code, c.exit_code) << std::hex << run.result.exit_code;
      const std::wstring folder = root / kZeroGuid;
      std::vector<std::string> expected;
      for (std::string line : c.lines) {
        if (const auto at = line.find("<f>"); at != std::string::npos) line.replace(at, 3, Narrow(folder));
        if (const auto at = line.find('$'); at != std::string::npos) line.replace(at, 1, keep ? "No" : "Yes");
        expected.push_back(line);
      }
      EXPECT_TRUE(HasInOrder(run.lines, expected));
      if (keep) {
        EXPECT_EQ(FolderNames(folder), c.files);
      } else {
        EXPECT_TRUE(FolderNames(root.path()).empty());
      }
    }
  }
}

TEST(Payload, TheListedPayloadHoldsTheLowerIdsBytesAndTheSubFolder) {
  TempFolder root;
  const BootstrapperRun run =
      RunBootstrapper(LANTERN_E2E_LISTED_EXE, root.path(), L"/dontrun /zeroguid /keep");
  ASSERT_EQ(run.result.exit_code, 0u);
  const std::wstring folder = root / kZeroGuid;
  const auto bytes = ReadBytes(kPayload + L"\\bytes.bin");
  EXPECT_EQ(ReadBytes(folder + L"\\same.txt"), bytes);
  EXPECT_EQ(ReadBytes(folder + L"\\sub\\dir\\copy.bin"), bytes);
}

TEST(Payload, ARootThatCannotBeMadeOrWrittenEndsBeforeAnythingIsWritten) {
  TempFolder outer;
  const std::wstring file_root = outer / L"a file";
  { std::ofstream(fs::path(file_root)) << "keep me"; }
  for (const std::wstring& root : {outer / L"missing\\deeper", file_root}) {
    SCOPED_TRACE(Narrow(root));
    const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root, L"/dontrun", outer / L"run.log");
    EXPECT_EQ(run.result.exit_code, 0x80004005u);
    const auto probe = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& line) {
      return std::regex_match(line, std::regex("Set temp folder '.*'"));
    });
    ASSERT_TRUE(probe != run.lines.end() && probe + 1 != run.lines.end());
    EXPECT_TRUE(std::regex_match(probe[1], std::regex("Failed to create temp file '.*\\{[-0-9A-F]{36}\\}'")));
    EXPECT_FALSE(Contains(run.lines, "Scanning for Signature"));
  }
  EXPECT_EQ(FolderNames(outer.path()), std::vector<std::wstring>{L"a file"});
  EXPECT_EQ(ReadText(file_root), "keep me");
}

// A file held open without sharing in a reused zero-GUID folder: it cannot be
// replaced (nor deleted), so the extraction stops there and the folder stays.
TEST(Payload, AFileThatCannotBeReplacedStopsTheExtraction) {
  TempFolder root;
  const std::wstring folder = root / kZeroGuid;
  fs::create_directories(fs::path(folder));
  const HANDLE held = CreateFileW((folder + L"\\bytes.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun /zeroguid");
  CloseHandle(held);

  EXPECT_EQ(run.result.exit_code, 0x80004005u);
  const std::string f = Narrow(folder);
  EXPECT_TRUE(
      HasInOrder(run.lines, {"Extract File empty.dat 0", f + "\\bytes.bin Create file has failed",
                             "Extract File bytes.bin 80004005", "Remove folder 'Yes'",
                             "Manual Deletion of '" + f + "\\standin.exe'", "Remove Folder '" + f + "'"}));
  EXPECT_FALSE(Contains(run.lines, "Extract File standin.exe.config 0"));
  EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{L"bytes.bin"});
}

TEST(Payload, FilesThatCannotBeDeletedStayAndSoDoesTheFolder) {
  TempFolder root;
  const std::wstring folder = root / kZeroGuid;
  fs::create_directories(fs::path(folder + L"\\left\\deeper"));
  { std::ofstream(fs::path(folder + L"\\left\\deeper\\read-only.txt")) << "read-only"; }
  ASSERT_TRUE(
      SetFileAttributesW((folder + L"\\left\\deeper\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE held = CreateFileW((folder + L"\\in use.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun /zeroguid");
  CloseHandle(held);
  SetFileAttributesW((folder + L"\\left\\deeper\\read-only.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_EQ(run.result.exit_code, 0u);
  const std::string f = Narrow(folder);
  EXPECT_TRUE(
      HasInOrder(run.lines, {"Deletion subfolder Folder of '" + f + "\\left'",
                             "Deletion subfolder Folder of '" + f + "\\left\\deeper'",
                             "Deletion file '" + f + "\\left\\deeper\\read-only.txt'",
                             "Remove Folder '" + f + "\\left\\deeper'", "Remove Folder '" + f + "\\left'"}));
  EXPECT_TRUE(Contains(run.lines, "Deletion file '" + f + "\\in use.txt'"));
  EXPECT_EQ(FolderNames(folder), (std::vector<std::wstring>{L"in use.txt", L"left"}));
  EXPECT_TRUE(fs::exists(fs::path(folder + L"\\left\\deeper\\read-only.txt")));
}

}  // namespace
}  // namespace lantern::e2e

namespace lantern::e2e {
namespace {

using testing_support::MakeUnixLink;
using testing_support::RemoveUnixLink;
bool Exists(const std::wstring& path) { return testing_support::PathExists(path); }

// Links in the working folder are never followed: what they point to, outside
// the folder, survives the removal, empty folders included (which a deletion
// through the link would take). Wine shows links to folders only; a link to a
// file looks like the file itself there.
TEST(Payload, LinksInTheWorkingFolderAreNeverFollowed) {
  TempFolder root;
  TempFolder outside;
  fs::create_directories(fs::path(outside / L"empty"));
  fs::create_directories(fs::path(outside / L"full"));
  { std::ofstream(fs::path(outside / L"full\\keep.txt")) << "keep"; }
  const std::wstring folder = root / kZeroGuid;
  fs::create_directories(fs::path(folder + L"\\sub"));
  ASSERT_TRUE(MakeUnixLink(outside / L"empty", folder + L"\\to empty"));
  ASSERT_TRUE(MakeUnixLink(outside / L"full", folder + L"\\sub\\to full"));

  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun /zeroguid");
  EXPECT_EQ(run.result.exit_code, 0u);

  EXPECT_TRUE(fs::is_directory(fs::path(outside / L"empty")));
  EXPECT_EQ(ReadText(outside / L"full\\keep.txt"), "keep");
  const std::string f = Narrow(folder);
  EXPECT_TRUE(Contains(run.lines, "Deletion link '" + f + "\\to empty'"));
  EXPECT_TRUE(Contains(run.lines, "Deletion link '" + f + "\\sub\\to full'"));
  for (const auto& line : run.lines) EXPECT_EQ(line.find("keep.txt"), std::string::npos) << line;
  // The payload itself is gone; whatever of the links Wine cannot remove as
  // links stays, and the folders above them with it.
  EXPECT_FALSE(fs::exists(fs::path(folder + L"\\standin.exe")));
  // The clean-up must not follow the links either.
  for (const wchar_t* link : {L"\\to empty", L"\\sub\\to full"}) RemoveUnixLink(folder + link);
  for (const wchar_t* link : {L"\\to empty", L"\\sub\\to full"}) {
    EXPECT_FALSE(Exists(folder + link));
  }
}

}  // namespace
}  // namespace lantern::e2e
