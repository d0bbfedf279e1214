// The administrator and Windows Installer gates, and all four gates in their
// order: which system questions each asks, and the code that stops the check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/prerequisites.h"
#include "checks_fakes.h"

namespace lantern {
namespace {

using testing_fakes::FakeAdminToken;
using testing_fakes::FakeDiskSpace;
using testing_fakes::FakeRegistry;
using testing_fakes::FakeSystemFiles;
using testing_fakes::MapStringTable;
using testing_fakes::MemoryLogSystem;

TEST(IsAdminRequired, UnlessString145IsExactlyZero) {
  const struct {
    std::optional<std::wstring> entry;
    bool required;
  } cases[] = {
      {L"0", false}, {L"1", true},  {L" 0", true},        {L"00", true},
      {L"0 ", true}, {L"no", true}, {std::nullopt, true},
  };
  for (const auto& c : cases) {
    MapStringTable strings;
    if (c.entry) strings.entries[cfg::AdminRequired] = *c.entry;
    EXPECT_EQ(IsAdminRequired(strings), c.required) << testing::PrintToString(c.entry);
  }
}

TEST(CheckWindowsInstaller, MsiDllOfVersionTwoOrLater) {
  using Version = std::pair<std::uint32_t, std::uint32_t>;
  const struct {
    const char* what;
    std::optional<std::wstring> folder;
    std::optional<Version> version;
    bool passes;
  } cases[] = {
      {"1.1 is too old", L"C:\\Windows\\system32\\", Version{1, 1}, false},
      {"1.99 is too old", L"C:\\Windows\\system32\\", Version{1, 99}, false},
      {"2.0 is enough", L"C:\\Windows\\system32\\", Version{2, 0}, true},
      {"4.5 passes", L"C:\\Windows\\system32\\", Version{4, 5}, true},
      {"however high", L"C:\\Windows\\system32\\", Version{65535, 65535}, true},
      {"missing, or without version information", L"C:\\Windows\\system32\\", std::nullopt, false},
      {"no system folder", std::nullopt, Version{4, 5}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSystemFiles files;
    files.folder = c.folder;
    files.msi_version = c.version;
    EXPECT_EQ(CheckWindowsInstaller(files), c.passes);
    if (c.folder) {
      EXPECT_EQ(files.asked, std::vector<std::wstring>{L"C:\\Windows\\system32\\MSI.DLL"});
    } else {
      EXPECT_TRUE(files.asked.empty());
    }
  }
}

// This build's gate settings on a machine with .NET Framework 4.8, Windows
// Installer 4.5 and plenty of room, unless a test changes them.
class GatesInOrder : public testing::Test {
 protected:
  GatesInOrder() {
    for (unsigned id = 138; id <= 144; ++id) strings_.entries[id] = L"0";
    strings_.entries[cfg::RequiredDiskMB] = L"100";
    strings_.entries[cfg::AdminRequired] = L"1";
    const std::wstring ndp = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";
    for (const wchar_t* key : {L"v4\\Client", L"v4\\Full"}) {
      registry_.Dword(ndp + key, L"Install", 1)
          .Dword(ndp + key, L"Servicing", 0)
          .Text(ndp + key, L"Version", L"4.8.04084");
    }
  }

  ResultCode Run() {
    Prerequisites gates(strings_, {registry_, disk_, token_, files_}, log_);
    report_ = gates.Check(L"C:\\users\\pat\\Temp\\");
    return report_.result;
  }

  MapStringTable strings_;
  FakeRegistry registry_;
  FakeDiskSpace disk_{std::uint64_t{50} << 30};
  FakeAdminToken token_;
  FakeSystemFiles files_;
  MemoryLogSystem system_;
  DiagnosticLog log_{system_};
  PrerequisiteReport report_;
};

TEST_F(GatesInOrder, AllPassOnTheMachineTheyMean) {
  EXPECT_EQ(Run(), rc::Ok);
  EXPECT_EQ(token_.asked, 1);
  EXPECT_TRUE(report_.dot_net.passed);
  EXPECT_EQ(report_.dot_net.required.RequiredDotNetName, L".NET 3.5");
  EXPECT_TRUE(report_.disk.passed);
  EXPECT_EQ(report_.disk.FreeDiskMB, 50 * 1024);
  EXPECT_EQ(report_.disk.WorkingDrive, L"C:");
}

TEST_F(GatesInOrder, String145ZeroNeverAsksForTheToken) {
  strings_.entries[cfg::AdminRequired] = L"0";
  token_.admin = false;
  EXPECT_EQ(Run(), rc::Ok);
  EXPECT_EQ(token_.asked, 0);
}

TEST_F(GatesInOrder, ANonAdministratorIsStoppedBeforeTheDotNetCheck) {
  const std::optional<std::wstring> requiring[] = {L"1", L" 0", L"00", std::nullopt};
  for (const auto& entry : requiring) {
    SCOPED_TRACE(testing::PrintToString(entry));
    if (entry) {
      strings_.entries[cfg::AdminRequired] = *entry;
    } else {
      strings_.entries.erase(cfg::AdminRequired);
    }
    token_ = FakeAdminToken(false);
    registry_.reads = 0;
    EXPECT_EQ(Run(), rc::NotAdmin);
    EXPECT_EQ(token_.asked, 1);
    EXPECT_EQ(registry_.reads, 0);
    EXPECT_TRUE(files_.asked.empty());
    EXPECT_TRUE(disk_.asked.empty());
    // Nothing was found of the later gates: the report keeps their defaults.
    EXPECT_EQ(report_.dot_net.required, RequiredDotNet{});
    EXPECT_EQ(report_.disk.RequiredDiskMB, 0);
  }
}

TEST_F(GatesInOrder, NoFrameworkStopsWithItsCodeAndTheFieldsForTheReport) {
  registry_ = FakeRegistry();
  EXPECT_EQ(Run(), rc::NoDotNet);
  EXPECT_TRUE(files_.asked.empty());
  EXPECT_TRUE(disk_.asked.empty());
  EXPECT_EQ(report_.dot_net.required.RequiredDotNetName, L".NET 3.5");
  EXPECT_EQ(report_.dot_net.required.RequiredDotNetMajor, 3);
  EXPECT_EQ(report_.dot_net.required.RequiredDotNetMinor, 5);
}

TEST_F(GatesInOrder, AnOldWindowsInstallerStopsWith1613BeforeTheDisk) {
  files_.msi_version = std::pair{1u, 1u};
  EXPECT_EQ(Run(), rc::InstallPackageVersion);
  EXPECT_TRUE(disk_.asked.empty());
  EXPECT_TRUE(report_.dot_net.passed);
}

TEST_F(GatesInOrder, TooLittleSpaceStopsWithMediumFullAndTheFieldsForTheReport) {
  disk_.free_bytes = std::uint64_t{100} << 20;
  EXPECT_EQ(Run(), rc::MediumFull);
  EXPECT_EQ(disk_.asked, std::vector<std::wstring>{L"C:"});
  EXPECT_EQ(report_.disk.RequiredDiskMB, 100);
  EXPECT_EQ(report_.disk.FreeDiskMB, 100);
  EXPECT_EQ(report_.disk.WorkingDrive, L"C:");
}

}  // namespace
}  // namespace lantern
