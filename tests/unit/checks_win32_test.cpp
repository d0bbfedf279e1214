// The system parts the gates read, for real under the system the tests run
// on: registry values in scratch keys and in the machine's own view, the
// token, the system folder, MSI.DLL's version and the free space of a drive.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "bitness.h"
#include "checks/dotnet_check.h"
#include "checks/machine_win32.h"
#include "checks_fakes.h"
#include "framework/unique_handle_win32.h"

namespace lantern {
namespace {

const std::wstring kNdp = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";

// A fresh key under HKEY_CURRENT_USER, removed with everything below it when
// the test ends; tests running beside this one never see it.
class ScratchKey {
 public:
  ScratchKey() {
    GUID guid;
    CoCreateGuid(&guid);
    wchar_t name[64];
    StringFromGUID2(guid, name, 64);
    path_ = std::wstring(L"Software\\Lantern tests\\") + name;
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) == ERROR_SUCCESS) {
      key_.reset(created);
    }
  }
  ~ScratchKey() {
    key_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    // The shared parent goes only when no other test's key is left in it.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Lantern tests");
  }
  HKEY get() const { return key_.get(); }

  void Set(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* bytes, DWORD size) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key_.get(), subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                              nullptr),
              ERROR_SUCCESS);
    const UniqueRegistryKey opened(created);
    ASSERT_EQ(RegSetValueExW(opened.get(), name.c_str(), 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
  }
  void SetDword(const std::wstring& subkey, const std::wstring& name, DWORD value) {
    Set(subkey, name, REG_DWORD, &value, sizeof(value));
  }
  void SetText(const std::wstring& subkey, const std::wstring& name, const std::wstring& text) {
    Set(subkey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

 private:
  std::wstring path_;
  UniqueRegistryKey key_;
};

TEST(Win32Registry, ReadsANumberOnlyFromADwordAndATextOnlyFromAText) {
  ScratchKey scratch;
  ASSERT_NE(scratch.get(), nullptr);
  const std::wstring key = L"values";
  const DWORD one = 1;
  const BYTE one_byte[] = {0x05};
  const unsigned long long eight_bytes = 1;
  const std::wstring digit = L"1";
  const std::wstring text_129(129, L't');  // 260 bytes with its terminator
  const std::wstring text_130(130, L't');
  // No terminator; Wine wants room to add one, so it is two bytes short of the limit.
  const std::vector<wchar_t> unterminated(129, L'u');
  const auto text_bytes = [](const std::wstring& text) { return static_cast<DWORD>((text.size() + 1) * 2); };
  struct Case {
    const wchar_t* name;
    DWORD type;
    const void* bytes;
    DWORD size;
    std::optional<std::uint32_t> dword;
    std::optional<std::wstring> text;
  };
  const Case cases[] = {
      {L"one", REG_DWORD, &one, 4, 1u, std::nullopt},
      {L"short", REG_DWORD, one_byte, 1, 5u, std::nullopt},  // zeros above its one byte
      {L"digit", REG_SZ, digit.c_str(), text_bytes(digit), std::nullopt, L"1"},
      {L"binary one", REG_BINARY, &one, 4, std::nullopt, std::nullopt},
      {L"qword", REG_QWORD, &eight_bytes, 8, std::nullopt, std::nullopt},
      {L"expandable", REG_EXPAND_SZ, digit.c_str(), text_bytes(digit), std::nullopt, std::nullopt},
      {L"fits", REG_SZ, text_129.c_str(), text_bytes(text_129), std::nullopt, text_129},
      {L"too long", REG_SZ, text_130.c_str(), text_bytes(text_130), std::nullopt, std::nullopt},
      {L"unterminated", REG_SZ, unterminated.data(), 258, std::nullopt, std::wstring(129, L'u')},
  };
  for (const Case& c : cases) scratch.Set(key, c.name, c.type, c.bytes, c.size);

  Win32Registry registry(scratch.get());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    EXPECT_EQ(registry.ReadDword(key, c.name), c.dword);
    EXPECT_EQ(registry.ReadText(key, c.name), c.text);
  }
  EXPECT_EQ(registry.ReadDword(key, L"missing"), std::nullopt);
  EXPECT_EQ(registry.ReadDword(L"no such key", L"one"), std::nullopt);
  EXPECT_EQ(registry.ReadText(key, L"missing"), std::nullopt);
  EXPECT_EQ(registry.ReadText(L"no such key", L"digit"), std::nullopt);
}

TEST(Win32Registry, TheGateFindsAFrameworkInRealKeys) {
  ScratchKey scratch;
  ASSERT_NE(scratch.get(), nullptr);
  for (const wchar_t* row : {L"v4\\Client", L"v4\\Full"}) {
    scratch.SetDword(kNdp + row, L"Install", 1);
    scratch.SetDword(kNdp + row, L"Servicing", 0);
    scratch.SetText(kNdp + row, L"Version", L"4.8.04084");
  }
  Win32Registry registry(scratch.get());
  testing_fakes::MemoryLogSystem system;
  DiagnosticLog log(system);
  const testing_fakes::MapStringTable strings(
      {{138, L"0"}, {139, L"0"}, {140, L"0"}, {141, L"0"}, {142, L"0"}, {143, L"0"}, {144, L"0"}});
  EXPECT_TRUE(CheckDotNetFramework(strings, registry, log).passed);
  EXPECT_TRUE(log.Pending().ends_with(L".NET 4.0 Client Detected SP 8\n.NET Version OK\n")) << log.Pending();
}

// A build that asks for .NET 2.0 at service pack 1, on machines whose keys
// hold values of the wrong type: such a value is missing, never its bytes.
TEST(Win32Registry, TheGateTakesNoValueOfTheWrongType) {
  const std::wstring v2 = kNdp + L"v2.0.50727";
  struct Case {
    const char* what;
    std::function<void(ScratchKey&)> machine;
    bool passes;
    const wchar_t* detected;  // the detection line, if any
  };
  const Case cases[] = {
      {"Install and SP are numbers",
       [&](ScratchKey& k) {
         k.SetDword(v2, L"Install", 1);
         k.SetDword(v2, L"SP", 1);
       },
       true, L".NET 2.0 Detected SP 1\n"},
      {"SP is the text 1",
       [&](ScratchKey& k) {
         k.SetDword(v2, L"Install", 1);
         k.SetText(v2, L"SP", L"1");
       },
       false, L".NET 2.0 Detected SP -1\n"},
      {"Install is the text 1",
       [&](ScratchKey& k) {
         k.SetText(v2, L"Install", L"1");
         k.SetDword(v2, L"SP", 1);
       },
       false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchKey scratch;
    ASSERT_NE(scratch.get(), nullptr);
    c.machine(scratch);
    Win32Registry registry(scratch.get());
    testing_fakes::MemoryLogSystem system;
    DiagnosticLog log(system);
    const testing_fakes::MapStringTable strings(
        {{138, L"1"}, {139, L"-1"}, {140, L"-1"}, {141, L"-1"}, {142, L"-1"}, {143, L"-1"}, {144, L"-1"}});
    EXPECT_EQ(CheckDotNetFramework(strings, registry, log).passed, c.passes);
    const std::wstring& lines = log.Pending();
    if (c.detected) {
      EXPECT_NE(lines.find(c.detected), std::wstring::npos) << testing::PrintToString(lines);
    } else {
      EXPECT_EQ(lines.find(L"Detected"), std::wstring::npos) << testing::PrintToString(lines);
    }
  }
}

// The test machine is one with .NET Framework 4.8, whose keys are only in the
// 32-bit view: a 32-bit program reading without a view flag finds them there.
TEST(Win32Registry, ReadsTheViewOfThisProgramsBitness) {
  LANTERN_SKIP_UNLESS_32_BIT();
  Win32Registry registry;
  EXPECT_EQ(registry.ReadText(kNdp + L"v4\\Full", L"Version"), L"4.8.04084");
  EXPECT_EQ(registry.ReadDword(kNdp + L"v4\\Client", L"Install"), 1u);

  HKEY other_view = nullptr;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kNdp + L"v4\\Full").c_str(), 0,
                                    KEY_READ | KEY_WOW64_64KEY, &other_view);
  if (opened == ERROR_SUCCESS) RegCloseKey(other_view);
  EXPECT_NE(opened, ERROR_SUCCESS) << "the keys are in the 64-bit view too; the test shows nothing";
}

TEST(Win32AdminToken, TheTestUserIsAnAdministrator) { EXPECT_TRUE(Win32AdminToken().IsUserAdmin()); }

TEST(Win32SystemFiles, TheSystemFolderEndsInABackslash) {
  std::wstring folder;
  ASSERT_TRUE(Win32SystemFiles().GetSystemFolder(folder));
  wchar_t expected[MAX_PATH];
  const UINT length = GetSystemDirectoryW(expected, MAX_PATH);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(
      CompareStringOrdinal(folder.c_str(), -1, (std::wstring(expected, length) + L"\\").c_str(), -1, TRUE),
      CSTR_EQUAL)
      << testing::PrintToString(folder);
}

TEST(Win32SystemFiles, ReadsMsiDllsFixedVersion) {
  Win32SystemFiles files;
  std::wstring folder;
  ASSERT_TRUE(files.GetSystemFolder(folder));
  std::uint32_t major = 0, minor = 0;
  ASSERT_TRUE(files.GetFileVersion(folder + L"MSI.DLL", major, minor));
  EXPECT_EQ(major, 4u);
  EXPECT_EQ(minor, 5u);
  EXPECT_TRUE(CheckWindowsInstaller(files));
}

TEST(Win32SystemFiles, AFileWithoutVersionInformationOrNoFileGivesNone) {
  const std::filesystem::path text = std::filesystem::temp_directory_path() /
                                     ("lantern-no-version-" + std::to_string(GetCurrentProcessId()) + ".txt");
  std::ofstream(text) << "no version here";
  Win32SystemFiles files;
  std::uint32_t major = 7, minor = 7;
  EXPECT_FALSE(files.GetFileVersion(text.wstring(), major, minor));
  EXPECT_FALSE(files.GetFileVersion(L"C:\\no such folder\\MSI.DLL", major, minor));
  EXPECT_EQ(major, 7u);
  EXPECT_EQ(minor, 7u);
  std::filesystem::remove(text);
}

TEST(Win32DiskSpace, AnswersForADriveAndNotForAMissingFolder) {
  Win32DiskSpace disk;
  const std::optional<std::uint64_t> free = disk.FreeBytesAvailable(L"C:");
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, 0u);
  EXPECT_EQ(disk.FreeBytesAvailable(L"C:\\no such folder\\below\\"), std::nullopt);
}

}  // namespace
}  // namespace lantern
