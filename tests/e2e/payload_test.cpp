// The payload of real bootstrappers under Wine: extraction byte for byte into
// a GUID-named working folder, the information block, the folder's access,
// removal, and what broken payloads and unusable folders end with; and the
// elevated run's safety against another process on the machine (planted
// folders and links, renaming, a second run, leftovers).
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e_paths.h"
#include "e2e_support.h"
#include "payload_paths.h"
#include "pending_deletions_win32.h"
#include "unix_links_win32.h"

namespace lantern::e2e {
namespace {

namespace fs = std::filesystem;

const std::wstring kZeroGuid = L"{00000000-0000-0000-0000-000000000000}";
const std::wstring kPayload = HostPath(LANTERN_E2E_SOURCE_DIR "/payload");

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
// The verdict line of a signature that was verified.
std::string VerifiedLine(const std::wstring& exe) {
  return "Digital verification: 'The file \"" + Narrow(exe) + "\" is signed and the signature was verified.";
}

constexpr const char* kIgnoredLine =
    "Ignored an information block added after signing: this build takes only its sealed block";

// Signed builds whose block was packed in before signing: sealed (the
// signature covers it, and a block stamped on top later is passed over), or
// not sealed and signed afterwards by a tool that knew nothing of the block.
// Either way the block arrives exactly as it was packed.
TEST(Payload, ABlockPackedBeforeSigningArrivesExactlyAndASealedOneIgnoresLaterStamps) {
  const struct Case {
    const char* what;
    const char* exe;
    bool ignored;
  } cases[] = {
      {"sealed", LANTERN_E2E_SEALED_EXE, false},
      {"sealed, with a block stamped into its signature later", LANTERN_E2E_SEALED_STAMPED_EXE, true},
      {"packed with a block, then signed by another tool", LANTERN_E2E_OUTSIDE_SIGNED_EXE, false},
  };
  const auto information = ReadBytes(HostPath(LANTERN_E2E_INFO_XML));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(c.exe, root.path(), L"/dontrun /keep");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u);
    EXPECT_TRUE(Contains(run.lines, VerifiedLine(HostPath(c.exe))));
    const auto folders = FolderNames(root.path());
    ASSERT_EQ(folders.size(), 1u);
    const std::wstring folder = root / folders[0];
    EXPECT_EQ(ReadBytes(folder + L"\\info.xml"), information);
    EXPECT_EQ(Contains(run.lines, kIgnoredLine), c.ignored);
    const std::string written = "Written out embedded information " + std::to_string(information.size()) +
                                " bytes to file " + Narrow(folder) + "\\info.xml";
    EXPECT_TRUE(c.ignored ? HasInOrder(run.lines, {"Scanning for Signature", kIgnoredLine, written})
                          : HasInOrder(run.lines, {"Scanning for Signature", written}));
  }
}

TEST(Payload, BrokenPayloads) {
  struct Case {
    const char* exe;
    std::uint32_t exit_code;
    std::vector<std::string> lines;   // "<f>" stands for the working folder
    std::vector<std::wstring> files;  // what the working folder holds afterwards with keep
    // What it may hold besides: files written on other threads alongside the
    // one that failed, begun before the failure was known.
    std::vector<std::wstring> may_also_hold = {};
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
       {L"wrong size.cfg"},
       {L"bytes.bin"}},
      {LANTERN_E2E_SHORT_EXE,
       0x80040167u,
       {"<f>\\small.cfg Write file has failed", "Extract File small.cfg 80040167"},
       {L"small.cfg"},
       {L"never.bin"}},
      {LANTERN_E2E_ESCAPE_EXE,
       0x80004005u,
       {"<f>\\..\\escape.bin Create file has failed", "Extract File ..\\escape.bin 80004005"},
       {}},
      // Names Windows' path rules keep inside: extracted under their normalised names.
      {LANTERN_E2E_NAMES_EXE,
       0u,
       {"<f>\\a\\up.bin written Ok", "Extract File a/b\\..\\up.bin 0", "<f>\\rooted.bin written Ok",
        "Extract File \\rooted.bin 0", "<f>\\dot.bin written Ok", "Extract File .\\dot.bin 0",
        "<f>\\sub\\x.bin written Ok", "Extract File sub\\\\x.bin 0"},
       {L"a", L"dot.bin", L"rooted.bin", L"sub"}},
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
        std::vector<std::wstring> held = FolderNames(folder);
        std::erase_if(held, [&c](const std::wstring& name) {
          return std::find(c.may_also_hold.begin(), c.may_also_hold.end(), name) != c.may_also_hold.end();
        });
        EXPECT_EQ(held, c.files);
      } else {
        EXPECT_TRUE(FolderNames(root.path()).empty());
      }
    }
  }
}

// The ids a compressed build lists as compressed, from its RCDATA list.
std::vector<int> CompressedIds(const std::wstring& exe) {
  ResourceModule module(exe);
  const auto list = module.Bytes(RT_RCDATA, L"LANTERN_COMPRESSED");
  std::vector<int> ids;
  if (!list) return ids;
  std::string text(list->begin(), list->end());
  for (std::size_t star = text.find('*'); star != std::string::npos; star = text.find('*', star + 1)) {
    ids.push_back(std::stoi(text.substr(star + 1)));
  }
  return ids;
}

TEST(Payload, ACompressedBuildExtractsEveryFileByteForByte) {
  const std::wstring big = HostPath(LANTERN_E2E_COMPRESSED_EXE);
  // The executable, the configuration, bytes.bin and the large file shrink;
  // the random bytes, the empty file and the two short texts do not.
  EXPECT_EQ(CompressedIds(big).size(), 4u);
  for (const char* exe : {LANTERN_E2E_COMPRESSED_EXE, LANTERN_E2E_COMPRESSED_UNSIGNED_EXE}) {
    SCOPED_TRACE(exe);
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(exe, root.path(), L"/dontrun /zeroguid /keep");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u) << std::hex << run.result.exit_code;
    const std::wstring folder = root / kZeroGuid;
    auto files = BasicPayload();
    files.emplace_back(HostPath(LANTERN_E2E_COMPRESSIBLE), L"big.txt");
    files.emplace_back(kPayload + L"\\random.bin", L"random.bin");
    for (const auto& [source, name] : files) {
      EXPECT_EQ(ReadBytes(folder + L"\\" + name), ReadBytes(source)) << Narrow(name);
    }
    const std::string f = Narrow(folder);
    EXPECT_TRUE(HasInOrder(run.lines, {"WorkOutFileNames 0", "Compressed files 4", f + "\\top.txt written Ok",
                                       f + "\\big.txt written Ok", "Extract File big.txt 0",
                                       f + "\\empty.dat written Ok", "Extract File standin.exe 0"}));
  }
}

TEST(Payload, DamagedCompressedDataFailsCleanlyAndTheFolderIsRemoved) {
  const std::wstring original = HostPath(LANTERN_E2E_COMPRESSED_UNSIGNED_EXE);
  const std::vector<int> ids = CompressedIds(original);
  ASSERT_FALSE(ids.empty());
  // The large file: the compressed resource with the highest id is the last
  // payload file given, which is it.
  const int id = ids.back();
  const auto stored = ResourceModule(original).Bytes(L"TOOLKIT", MAKEINTRESOURCEW(id));
  ASSERT_TRUE(stored && stored->size() > 100);
  const auto file = ReadBytes(original);
  const auto at = std::search(file.begin(), file.end(), stored->begin(), stored->end());
  ASSERT_NE(at, file.end());
  const DWORD offset = static_cast<DWORD>(at - file.begin());

  TempFolder copies;
  const struct {
    const char* what;
    DWORD byte;  // the byte flipped, from the start of the resource
  } cases[] = {{"inside the data", static_cast<DWORD>(stored->size() / 2)},
               {"the frame's magic number", 0},
               {"the checksum", static_cast<DWORD>(stored->size() - 1)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring exe = copies / L"Damaged.exe";
    ASSERT_TRUE(CopyFileW(original.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(FlipByte(exe, offset + c.byte));
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(Narrow(exe).c_str(), root.path(), L"/dontrun /zeroguid");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0x80004005u) << std::hex << run.result.exit_code;
    const std::string prefix =
        Narrow(root / kZeroGuid) + "\\big.txt Decoding has failed: the compressed data is damaged";
    EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [&](const std::string& line) {
      return line.starts_with(prefix);
    })) << prefix;
    EXPECT_TRUE(HasInOrder(run.lines, {"Extract File big.txt 80004005", "Remove folder 'Yes'"}));
    EXPECT_FALSE(Contains(run.lines, "Extract File standin.exe 0"));
    EXPECT_TRUE(FolderNames(root.path()).empty());
  }
}

// The stub without the decoder, given compressed files, fails the first it
// reaches as it fails damaged data, and never leaves compressed bytes under a
// file's name: with /keep each file written is empty or the original.
TEST(Payload, TheStubWithoutTheDecoderFailsACompressedFileCleanly) {
  ASSERT_FALSE(CompressedIds(HostPath(LANTERN_E2E_NO_DECODER_EXE)).empty());
  const std::vector<std::pair<std::wstring, std::wstring>> files = {
      {HostPath(LANTERN_STANDIN_EXE), L"standin.exe"},
      {kPayload + L"\\standin.exe.config", L"standin.exe.config"},
      {HostPath(LANTERN_E2E_COMPRESSIBLE), L"big.txt"}};
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "keep" : "no keep");
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(LANTERN_E2E_NO_DECODER_EXE, root.path(),
                                                keep ? L"/dontrun /zeroguid /keep" : L"/dontrun /zeroguid");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0x80004005u) << std::hex << run.result.exit_code;
    const std::wstring folder = root / kZeroGuid;
    const std::string prefix = Narrow(folder) + "\\";
    const std::string failed = " Decoding has failed: this bootstrapper has no decoder, error 0";
    const auto line = std::find_if(run.lines.begin(), run.lines.end(), [&](const std::string& l) {
      return l.starts_with(prefix) && l.ends_with(failed);
    });
    ASSERT_NE(line, run.lines.end());
    const std::string name = line->substr(prefix.size(), line->size() - prefix.size() - failed.size());
    EXPECT_TRUE(HasInOrder(run.lines, {*line, "Extract File " + name + " 80004005",
                                       keep ? "Remove folder 'No'" : "Remove folder 'Yes'"}));
    EXPECT_FALSE(Contains(run.lines, "Extract File standin.exe 0"));
    if (!keep) {
      EXPECT_TRUE(FolderNames(root.path()).empty());
      continue;
    }
    for (const auto& [source, file] : files) {
      const std::wstring path = folder + L"\\" + file;
      if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;  // not reached
      const auto bytes = ReadBytes(path);
      EXPECT_TRUE(bytes.empty() || bytes == ReadBytes(source)) << Narrow(file);
    }
  }
}

// The first line that starts with `prefix`; none: the end.
std::vector<std::string>::const_iterator LineStartingWith(const std::vector<std::string>& lines,
                                                          const std::string& prefix) {
  return std::find_if(lines.begin(), lines.end(),
                      [&](const std::string& line) { return line.starts_with(prefix); });
}

// Where a resource's bytes lie in the file.
DWORD ResourceOffset(const std::wstring& exe, const wchar_t* type, const wchar_t* name) {
  const auto stored = ResourceModule(exe).Bytes(type, name);
  if (!stored || stored->empty()) return 0;
  const auto file = ReadBytes(exe);
  const auto at = std::search(file.begin(), file.end(), stored->begin(), stored->end());
  return at == file.end() ? 0 : static_cast<DWORD>(at - file.begin());
}

std::vector<std::pair<std::wstring, std::wstring>> SimilarPayload() {
  const std::wstring similar = HostPath(LANTERN_E2E_SIMILAR);
  return {{HostPath(LANTERN_STANDIN_EXE), L"standin.exe"},
          {kPayload + L"\\standin.exe.config", L"standin.exe.config"},
          {similar + L"\\part1.dll", L"part1.dll"},
          {similar + L"\\part2.dll", L"part2.dll"},
          {similar + L"\\part3.dll", L"part3.dll"}};
}

// Files packed with a shared dictionary: it is decoded once, before the
// first file, and every file comes out whole.
TEST(Payload, ADictionaryBuildExtractsEveryFileByteForByte) {
  const std::wstring exe = HostPath(LANTERN_E2E_DICTIONARY_EXE);
  {
    ResourceModule module(exe);
    const auto list = module.Bytes(RT_RCDATA, L"LANTERN_COMPRESSED");
    ASSERT_TRUE(list);
    EXPECT_TRUE(std::string(list->begin(), list->end()).starts_with("zstd-dict*102*"));
    EXPECT_TRUE(module.Bytes(RT_RCDATA, L"LANTERN_DICTIONARY"));
  }
  TempFolder root;
  const BootstrapperRun run =
      RunBootstrapper(LANTERN_E2E_DICTIONARY_EXE, root.path(), L"/dontrun /zeroguid /keep");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u) << std::hex << run.result.exit_code;
  const std::wstring folder = root / kZeroGuid;
  for (const auto& [source, name] : SimilarPayload()) {
    EXPECT_EQ(ReadBytes(folder + L"\\" + name), ReadBytes(source)) << Narrow(name);
  }
  const auto dictionary = LineStartingWith(run.lines, "Compression dictionary ");
  ASSERT_NE(dictionary, run.lines.end());
  EXPECT_TRUE(dictionary->ends_with(" bytes")) << *dictionary;
  EXPECT_TRUE(
      HasInOrder(run.lines, {"WorkOutFileNames 0", *dictionary, Narrow(folder) + "\\part3.dll written Ok",
                             "Extract File part3.dll 0", "Extract File standin.exe 0"}));
}

// A dictionary that is damaged or missing fails the run before any file is
// written, as damaged data does, and the working folder is removed.
TEST(Payload, ADamagedOrMissingDictionaryFailsCleanly) {
  const std::wstring original = HostPath(LANTERN_E2E_DICTIONARY_EXE);
  const DWORD dictionary = ResourceOffset(original, RT_RCDATA, L"LANTERN_DICTIONARY");
  ASSERT_NE(dictionary, 0u);
  const auto stored = ResourceModule(original).Bytes(RT_RCDATA, L"LANTERN_DICTIONARY");
  // The resource's name in the resource section, its last letter changed: no
  // resource of that name is found.
  const auto file = ReadBytes(original);
  const std::u16string name = u"LANTERN_DICTIONARY";
  const auto* name_bytes = reinterpret_cast<const unsigned char*>(name.data());
  const auto named = std::search(file.begin(), file.end(), name_bytes, name_bytes + name.size() * 2);
  ASSERT_NE(named, file.end());
  const DWORD last_letter =
      static_cast<DWORD>(named - file.begin()) + static_cast<DWORD>(name.size() * 2 - 2);

  TempFolder copies;
  const struct {
    const char* what;
    DWORD byte;
    std::string line;
  } cases[] = {
      {"inside its data", dictionary + static_cast<DWORD>(stored->size() / 2),
       "Compression dictionary cannot be decoded: the compressed data is damaged, error "},
      {"its frame's magic number", dictionary,
       "Compression dictionary cannot be decoded: the compressed data is damaged"},
      {"its checksum", dictionary + static_cast<DWORD>(stored->size() - 1),
       "Compression dictionary cannot be decoded: the compressed data is damaged, error "},
      {"missing", last_letter, "Compression dictionary is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring exe = copies / L"Damaged.exe";
    ASSERT_TRUE(CopyFileW(original.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(FlipByte(exe, c.byte));
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(Narrow(exe).c_str(), root.path(), L"/dontrun /zeroguid");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0x80004005u) << std::hex << run.result.exit_code;
    const auto line = LineStartingWith(run.lines, c.line);
    ASSERT_NE(line, run.lines.end()) << c.line;
    EXPECT_TRUE(HasInOrder(run.lines, {"Compressed files 5", *line, "Remove folder 'Yes'"}));
    EXPECT_EQ(LineStartingWith(run.lines, "Extract File "), run.lines.end());
    EXPECT_TRUE(FolderNames(root.path()).empty());
  }
}

// The stub without the decoder, given a build with a dictionary, fails the
// first compressed file it reaches as it does in any compressed build.
TEST(Payload, TheStubWithoutTheDecoderFailsADictionaryBuildAsAnyCompressedOne) {
  TempFolder root;
  const BootstrapperRun run =
      RunBootstrapper(LANTERN_E2E_NO_DECODER_DICTIONARY_EXE, root.path(), L"/dontrun /zeroguid");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0x80004005u) << std::hex << run.result.exit_code;
  EXPECT_EQ(LineStartingWith(run.lines, "Compression dictionary "), run.lines.end());
  const std::string prefix = Narrow(root / kZeroGuid) + "\\part3.dll";
  EXPECT_TRUE(
      HasInOrder(run.lines, {prefix + " Decoding has failed: this bootstrapper has no decoder, error 0",
                             "Extract File part3.dll 80004005", "Remove folder 'Yes'"}));
  EXPECT_TRUE(FolderNames(root.path()).empty());
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

// The names after a prefix, in log order, of the lines that start with it
// and end with `suffix`.
std::vector<std::string> NamesOf(const std::vector<std::string>& lines, const std::string& prefix,
                                 const std::string& suffix) {
  std::vector<std::string> names;
  for (const std::string& line : lines) {
    if (line.size() >= prefix.size() + suffix.size() && line.compare(0, prefix.size(), prefix) == 0 &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(line.substr(prefix.size(), line.size() - prefix.size() - suffix.size()));
    }
  }
  return names;
}

// The catalogue's names in its order, from the naming lines.
std::vector<std::string> CatalogueNames(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines) {
    static const std::regex naming("Work Out FileName (.*), Bytes [0-9]+");
    std::smatch match;
    if (std::regex_match(line, match, naming)) names.push_back(match[1]);
  }
  return names;
}

// Many files, written and deleted a few at a time: every one byte for byte,
// and the log as if one after the other: each file's lines together, in the
// catalogue's order.
TEST(Payload, ManyFilesAreWrittenWholeAndLoggedInCatalogueOrder) {
  const std::wstring tree = HostPath(LANTERN_E2E_MANY_TREE);
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "keep" : "no keep");
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(LANTERN_E2E_MANY_EXE, root.path(),
                                                keep ? L"/dontrun /zeroguid /keep" : L"/dontrun /zeroguid");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u);
    const std::wstring folder = root / kZeroGuid;
    const std::string f = Narrow(folder);
    const std::vector<std::string> names = CatalogueNames(run.lines);
    ASSERT_EQ(names.size(), 240u);
    EXPECT_EQ(NamesOf(run.lines, "Extract File ", " 0"), names);
    std::vector<std::string> lines;
    for (const std::string& name : names) {
      lines.push_back(f + "\\" + name + " written Ok");
      lines.push_back("Extract File " + name + " 0");
    }
    const auto first = std::find(run.lines.begin(), run.lines.end(), lines.front());
    ASSERT_NE(first, run.lines.end());
    EXPECT_EQ(std::vector<std::string>(
                  first, first + std::min<std::ptrdiff_t>(run.lines.end() - first,
                                                          static_cast<std::ptrdiff_t>(lines.size()))),
              lines);
    if (keep) {
      std::size_t compared = 0;
      for (const auto& entry : fs::recursive_directory_iterator(fs::path(tree))) {
        if (!entry.is_regular_file()) continue;
        const std::wstring name = entry.path().lexically_relative(fs::path(tree)).wstring();
        EXPECT_EQ(ReadBytes(folder + L"\\" + name), ReadBytes(entry.path().wstring())) << Narrow(name);
        ++compared;
      }
      EXPECT_EQ(compared, 240u);
    } else {
      std::vector<std::string> deleted = NamesOf(run.lines, "Manual Deletion of '" + f + "\\", "'");
      EXPECT_EQ(deleted, names);
      EXPECT_TRUE(FolderNames(root.path()).empty());
    }
  }
}

// A failure among many files on several threads ends as it would one file at
// a time: entries of one name leave the lower id's bytes; a file that a
// later entry needs as a folder is written and that entry fails; the log
// stops at the failed file's lines, and the folder goes without keep.
TEST(Payload, AFailureAmongManyFilesEndsTheLogAtThatFile) {
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "keep" : "no keep");
    TempFolder root;
    const BootstrapperRun run = RunBootstrapper(LANTERN_E2E_MANY_CLASH_EXE, root.path(),
                                                keep ? L"/dontrun /zeroguid /keep" : L"/dontrun /zeroguid");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0x80004005u) << std::hex << run.result.exit_code;
    const std::wstring folder = root / kZeroGuid;
    const std::string f = Narrow(folder);
    const std::vector<std::string> names = CatalogueNames(run.lines);
    const auto failed = std::find(names.begin(), names.end(), "clash\\inner.bin");
    ASSERT_NE(failed, names.end());
    // Every entry before it was written, in order, and nothing after it is logged.
    std::vector<std::string> expected(names.begin(), failed);
    EXPECT_EQ(NamesOf(run.lines, "Extract File ", " 0"), expected);
    EXPECT_TRUE(HasInOrder(
        run.lines,
        {f + "\\clash written Ok", "Extract File clash 0", f + "\\clash\\inner.bin Create file has failed",
         "Extract File clash\\inner.bin 80004005", keep ? "Remove folder 'No'" : "Remove folder 'Yes'"}));
    const auto after =
        std::find(run.lines.begin(), run.lines.end(), "Extract File clash\\inner.bin 80004005");
    for (auto line = after + 1; line != run.lines.end(); ++line) {
      EXPECT_EQ(line->find("Extract File"), std::string::npos) << *line;
      EXPECT_EQ(line->find("written Ok"), std::string::npos) << *line;
    }
    if (keep) {
      EXPECT_EQ(ReadText(folder + L"\\same.bin"), "resource 190\n");
      EXPECT_TRUE(fs::is_regular_file(fs::path(folder + L"\\clash")));
    } else {
      EXPECT_TRUE(FolderNames(root.path()).empty());
    }
  }
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

}  // namespace
}  // namespace lantern::e2e

namespace lantern::e2e {
namespace {

using testing_support::MakeUnixLink;
using testing_support::RemoveUnixLink;
bool Exists(const std::wstring& path) { return testing_support::PathExists(path); }

// A bootstrapper started in the background, while the test acts as another
// process on the same machine.
class BackgroundRun {
 public:
  BackgroundRun(const char* exe, const std::wstring& root, const std::wstring& switches,
                const std::wstring& log)
      : BackgroundRun(HostPath(exe), root, switches, log) {}
  BackgroundRun(const std::wstring& exe, const std::wstring& root, const std::wstring& switches,
                const std::wstring& log)
      : log_(log) {
    DeleteFileW(log.c_str());
    std::wstring command =
        L"\"" + exe + L"\" /IAgreeToTheEULA " + switches + L" temp \"" + root + L"\" log \"" + log + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_) != FALSE;
  }
  ~BackgroundRun() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0)
      TerminateProcess(process_.hProcess, 0xDEAD);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;
  bool started() const { return started_; }
  BootstrapperRun Wait(DWORD timeout_ms = 60000) {
    BootstrapperRun run;
    if (started_ && WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process_.hProcess, &code);
      run.result.finished = true;
      run.result.exit_code = code;
    }
    if (fs::exists(fs::path(log_))) run.lines = LogLines(log_);
    return run;
  }

 private:
  std::wstring log_;
  bool started_ = false;
  PROCESS_INFORMATION process_{};
};

// The stand-in writes its record first thing: the working folder is then
// made, filled, and the front end's current directory.
bool WaitForFile(const std::wstring& path, DWORD timeout_ms = 30000) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    if (fs::exists(fs::path(path))) return true;
    Sleep(50);
  }
  return false;
}

// What a file or folder holds and who may do what with it (Wine reads access
// from the Unix mode bits, so a change of permission shows here).
std::string Snapshot(const std::wstring& path) {
  std::string state = std::to_string(GetFileAttributesW(path.c_str())) + "|";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring object = path;
  if (GetNamedSecurityInfoW(object.data(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                            nullptr, &descriptor) == ERROR_SUCCESS) {
    LPWSTR text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
            nullptr)) {
      state += Narrow(text) + "|";
      LocalFree(text);
    }
    LocalFree(descriptor);
  }
  if (!fs::is_directory(fs::path(path)) && fs::exists(fs::path(path))) {
    const auto bytes = ReadBytes(path);
    state += std::string(bytes.begin(), bytes.end());
  }
  return state;
}

std::map<std::wstring, std::string> SnapshotTree(const std::wstring& folder) {
  std::map<std::wstring, std::string> tree{{folder, Snapshot(folder)}};
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(folder))) {
    tree[entry.path().wstring()] = Snapshot(entry.path().wstring());
  }
  return tree;
}

// A {00000000-...} folder made in advance, a real folder (that Wine reports
// as the user's: not the administrators') or a link to a folder elsewhere,
// stops the run before anything is written, and is left as it was.
TEST(PayloadSafety, APlantedZeroGuidFolderIsRefusedAndLeftAsItWas) {
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link to another folder" : "a real folder");
    TempFolder root;
    TempFolder elsewhere;
    { std::ofstream(fs::path(elsewhere / L"version.dll")) << "planted elsewhere"; }
    const std::wstring planted = root / kZeroGuid;
    if (link) {
      ASSERT_TRUE(MakeUnixLink(elsewhere.path(), planted));
    } else {
      fs::create_directories(fs::path(planted));
      { std::ofstream(fs::path(planted + L"\\version.dll")) << "planted"; }
    }
    const auto elsewhere_before = SnapshotTree(elsewhere.path());
    const auto planted_before = link ? decltype(elsewhere_before){} : SnapshotTree(planted);

    const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/zeroguid");
    EXPECT_EQ(run.result.exit_code, 0x80004005u);
    const std::string refusal = "The working folder '" + Narrow(planted) + "' " +
                                (link ? "is a link; it is not used" : "belongs to S-1-5-21-");
    EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [&](const std::string& line) {
      return line.rfind(refusal, 0) == 0;
    })) << refusal;
    for (const char* never : {"Scanning for Signature", "Enumerate Resources OK ", "Remove folder 'Yes'"}) {
      EXPECT_FALSE(Contains(run.lines, never)) << never;
    }
    EXPECT_EQ(SnapshotTree(elsewhere.path()), elsewhere_before);
    if (link) {
      RemoveUnixLink(planted);
    } else {
      EXPECT_EQ(SnapshotTree(planted), planted_before);
    }
    EXPECT_EQ(FolderNames(root.path()),
              link ? std::vector<std::wstring>{} : std::vector<std::wstring>{kZeroGuid});
  }
}

// While the front end runs, another process can neither rename nor delete
// the working folder, nor put another folder in its place.
// The bootstrapper holds its own file open for the whole run, so that what
// its signature check read is what it reads afterwards: no one can write to
// it or rename it until the run ends (on Windows a running program can be
// renamed; this handle stops that too).
TEST(PayloadSafety, WhileItRunsNobodyCanWriteToOrRenameTheBootstrappersFile) {
  TempFolder temp;
  const std::wstring exe = temp / L"SealedSetup.exe";
  const std::wstring moved = temp / L"Moved.exe";
  ASSERT_TRUE(CopyFileW(HostPath(LANTERN_E2E_SEALED_EXE).c_str(), exe.c_str(), TRUE));
  const std::wstring record = temp / L"record.txt";
  BackgroundRun run(exe, temp / L"root", L"sleep=3000 record=" + record, temp / L"run.log");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(WaitForFile(record));

  const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE writer = CreateFileW(exe.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(MoveFileW(exe.c_str(), moved.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  // The run passed its self-check and started the front end.
  const BootstrapperRun done = run.Wait();
  ASSERT_TRUE(done.result.finished);
  EXPECT_EQ(done.result.exit_code, 0u);
  EXPECT_TRUE(Contains(done.lines, "Run Embedded Resources "));
  // Once it has ended, the file is the owner's again.
  writer = CreateFileW(exe.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_TRUE(MoveFileW(exe.c_str(), moved.c_str()));
}

TEST(PayloadSafety, WhileTheFrontEndRunsNobodyCanRenameDeleteOrReplaceTheWorkingFolder) {
  TempFolder temp;
  const std::wstring root = temp / L"root";
  const std::wstring record = temp / L"record.txt";
  BackgroundRun run(LANTERN_BASIC_EXE, root, L"sleep=4000 record=" + record, temp / L"run.log");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(WaitForFile(record));
  const auto folders = FolderNames(root);
  ASSERT_EQ(folders.size(), 1u);
  const std::wstring folder = root + L"\\" + folders[0];

  EXPECT_FALSE(MoveFileW(folder.c_str(), (temp / L"moved").c_str()));
  const HANDLE for_delete =
      CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_EQ(for_delete, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (for_delete != INVALID_HANDLE_VALUE) CloseHandle(for_delete);
  EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
  fs::create_directories(fs::path(temp / L"decoy"));
  EXPECT_FALSE(MoveFileExW((temp / L"decoy").c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadBytes(folder + L"\\standin.exe"), ReadBytes(HostPath(LANTERN_STANDIN_EXE)));

  const BootstrapperRun done = run.Wait();
  EXPECT_EQ(done.result.exit_code, 0u);
  EXPECT_TRUE(FolderNames(root).empty());
  EXPECT_TRUE(fs::is_directory(fs::path(temp / L"decoy")));
}

// Links put into the working folder while the front end runs (at a folder,
// inside a payload sub-folder, at a payload file and at another file) are
// never followed by the removal: everything outside stays byte for byte and
// keeps its access.
TEST(PayloadSafety, LinksPlantedWhileTheFrontEndRunsAreNeverFollowed) {
  TempFolder temp;
  TempFolder outside;
  fs::create_directories(fs::path(outside / L"empty"));
  fs::create_directories(fs::path(outside / L"full"));
  { std::ofstream(fs::path(outside / L"full\\keep.txt")) << "keep"; }
  { std::ofstream(fs::path(outside / L"target.bin")) << "outside target"; }
  const auto before = SnapshotTree(outside.path());

  const std::wstring root = temp / L"root";
  const std::wstring record = temp / L"record.txt";
  BackgroundRun run(LANTERN_BASIC_EXE, root, L"sleep=4000 record=" + record, temp / L"run.log");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(WaitForFile(record));
  const auto folders = FolderNames(root);
  ASSERT_EQ(folders.size(), 1u);
  const std::wstring folder = root + L"\\" + folders[0];
  const std::vector<std::pair<std::wstring, std::wstring>> links = {
      {outside / L"empty", folder + L"\\to empty"},
      {outside / L"full", folder + L"\\sub folder\\to full"},
      {outside / L"target.bin", folder + L"\\file link"},
      {outside / L"target.bin", folder + L"\\bytes.bin"},  // a payload file the removal deletes by name
  };
  ASSERT_TRUE(DeleteFileW((folder + L"\\bytes.bin").c_str()));
  for (const auto& [target, link] : links) ASSERT_TRUE(MakeUnixLink(target, link)) << Narrow(link);

  const BootstrapperRun done = run.Wait();
  EXPECT_EQ(done.result.exit_code, 0u);
  EXPECT_EQ(SnapshotTree(outside.path()), before);
  for (const auto& [target, link] : links) {
    EXPECT_TRUE(Contains(done.lines, "Deletion link '" + Narrow(link) + "'")) << Narrow(link);
  }
  for (const auto& line : done.lines) EXPECT_EQ(line.find("keep.txt"), std::string::npos) << line;
  // The payload itself is gone; whatever of the links Wine cannot remove as
  // links stays, and the folders above them with it. The clean-up must not
  // follow the links either.
  EXPECT_FALSE(fs::exists(fs::path(folder + L"\\standin.exe")));
  for (const auto& [target, link] : links) RemoveUnixLink(link);
  for (const auto& [target, link] : links) EXPECT_FALSE(Exists(link));
  EXPECT_EQ(SnapshotTree(outside.path()), before);
}

// Two runs on one zero-GUID folder: the second stops before it writes or
// deletes anything, and the first completes with its files untouched.
TEST(PayloadSafety, TwoZeroGuidRunsAtOnceTheSecondStopsAndTheFirstCompletes) {
  TempFolder temp;
  const std::wstring root = temp / L"root";
  const std::wstring record = temp / L"record.txt";
  BackgroundRun first(LANTERN_BASIC_EXE, root, L"/zeroguid sleep=4000 record=" + record, temp / L"first.log");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(WaitForFile(record));
  const std::wstring folder = root + L"\\" + kZeroGuid;

  const BootstrapperRun second =
      RunBootstrapper(LANTERN_BASIC_EXE, root, L"/dontrun /zeroguid", temp / L"second.log");
  EXPECT_EQ(second.result.exit_code, 0x80004005u);
  EXPECT_TRUE(Contains(
      second.lines, "The working folder '" + Narrow(folder) + "' is in use by another run; it is not used"));
  for (const auto& line : second.lines) EXPECT_EQ(line.find("Extract File"), std::string::npos) << line;
  // The first run's files are all there, byte for byte, while its front end runs.
  for (const auto& [source, name] : BasicPayload()) {
    EXPECT_EQ(ReadBytes(folder + L"\\" + name), ReadBytes(source)) << Narrow(name);
  }

  const BootstrapperRun done = first.Wait();
  EXPECT_EQ(done.result.exit_code, 0u);
  EXPECT_TRUE(Contains(done.lines, "Remove Folder '" + Narrow(folder) + "'"));
  EXPECT_TRUE(FolderNames(root).empty());
}

using testing_support::ClearPendingDeletions;
using testing_support::PendingDeletions;

// Nothing is left behind for good: a read-only file the front end leaves is
// removed, and the program a child of the front end still runs from the
// folder is deleted, with the folder, at the next restart.
TEST(PayloadSafety, WhatTheFrontEndLeavesIsRemovedOrScheduledForTheNextRestart) {
  ClearPendingDeletions();
  TempFolder temp;
  const std::wstring root = temp / L"root";
  const std::wstring record = temp / L"record.txt";
  const BootstrapperRun run = RunBootstrapper(
      LANTERN_BASIC_EXE, root, L"readonly=left.txt child=100 record=" + record, temp / L"run.log");
  const std::wstring pending = PendingDeletions();
  EXPECT_EQ(run.result.exit_code, 0u);
  const auto folders = FolderNames(root);
  ASSERT_EQ(folders.size(), 1u);
  const std::wstring folder = root + L"\\" + folders[0];
  const std::string f = Narrow(folder);

  EXPECT_TRUE(Contains(run.lines, "Deletion file '" + f + "\\left.txt'"));
  EXPECT_FALSE(fs::exists(fs::path(folder + L"\\left.txt")));
  EXPECT_TRUE(
      HasInOrder(run.lines, {"Scheduled for removal at restart '" + f + "\\standin.exe'",
                             "Remove Folder '" + f + "'", "Scheduled for removal at restart '" + f + "'"}));
  for (const std::wstring& path : {folder + L"\\standin.exe", folder}) {
    EXPECT_NE(pending.find(L"\\??\\" + path + L'\0'), std::wstring::npos) << Narrow(path);
  }
  EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{L"standin.exe"});

  // The child ends a few seconds later; then the folder can go.
  std::error_code failed;
  for (int i = 0; i < 100 && fs::exists(fs::path(folder)); ++i) {
    fs::remove_all(fs::path(folder), failed);
    Sleep(100);
  }
  EXPECT_FALSE(fs::exists(fs::path(folder)));
  ClearPendingDeletions();
}

// A run does not sweep working folders left by earlier runs that were
// stopped: a GUID-named folder cannot be told from another run's (of this
// product or another) that is still in use.
TEST(PayloadSafety, AWorkingFolderLeftByAnEarlierRunIsLeftAlone) {
  TempFolder root;
  const std::wstring stale = root / L"{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  fs::create_directories(fs::path(stale + L"\\sub folder"));
  { std::ofstream(fs::path(stale + L"\\standin.exe")) << "an earlier run's"; }
  const auto before = SnapshotTree(stale);
  const BootstrapperRun run = RunBootstrapper(LANTERN_BASIC_EXE, root.path(), L"/dontrun");
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(SnapshotTree(stale), before);
  EXPECT_EQ(FolderNames(root.path()), std::vector<std::wstring>{L"{6B29FC40-CA47-1067-B31D-00DD010662DA}"});
}

}  // namespace
}  // namespace lantern::e2e
