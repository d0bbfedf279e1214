// The administrator and Windows Installer gates, and all four gates in a run:
// which system questions each asks, and the code that stops the run.
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

// A run whose gates are the real ones over fake system parts; every other
// step goes through without doing anything.
class GateSteps final : public RunSteps {
 public:
  GateSteps(RunFields& run, PrerequisiteChecks& checks) : run_(run), checks_(checks) {}
  ResultCode ParseOptions() override { return rc::Ok; }
  std::uint32_t TickCount() override { return 1; }
  SignatureCheck VerifyOwnSignature() override { return {}; }
  bool AskToContinue(const std::wstring&, const std::wstring&) override { return true; }
  void ReadSignerDetails() override {}
  bool IsAdminRequired() override { return checks_.IsAdminRequired(); }
  bool IsUserAdmin() override { return checks_.IsUserAdmin(); }
  bool CheckDotNetFramework() override { return checks_.CheckDotNetFramework(run_); }
  bool CheckWindowsInstaller() override { return checks_.CheckWindowsInstaller(); }
  bool CheckFreeDiskSpace() override { return checks_.CheckFreeDiskSpace(run_); }
  void RunWorker() override { worker_started = true; }
  void OpenHelpPage() override {}
  void ReportFailure(ResultCode code) override { reported.push_back(code); }
  bool HasModule() override { return true; }
  ResultCode CreateProbeFile(const std::wstring&) override { return rc::Ok; }
  ResultCode PromptForWorkingFolderRoot(std::wstring&) override { return rc::Fail; }
  void SetZeroGuidFlag() override {}
  ResultCode PrepareWorkingFolder() override { return rc::Ok; }
  void WriteEmbeddedInformation() override {}
  ResultCode ExtractResources(std::wstring&) override { return rc::Ok; }
  ResultCode RunProgram(const std::wstring&, const std::wstring&, std::int32_t&) override { return rc::Ok; }
  void RemoveWorkingFolder() override {}

  bool worker_started = false;
  std::vector<ResultCode> reported;

 private:
  RunFields& run_;
  PrerequisiteChecks& checks_;
};

// This build's gate settings on a machine with .NET Framework 4.8, Windows
// Installer 4.5 and plenty of room, unless a test changes them.
class GatesInARun : public testing::Test {
 protected:
  GatesInARun() {
    for (unsigned id = 138; id <= 144; ++id) strings_.entries[id] = L"0";
    strings_.entries[cfg::RequiredDiskMB] = L"100";
    strings_.entries[cfg::AdminRequired] = L"1";
    const std::wstring ndp = L"Software\\Microsoft\\NET Framework Setup\\NDP\\";
    for (const wchar_t* key : {L"v4\\Client", L"v4\\Full"}) {
      registry_.Dword(ndp + key, L"Install", 1)
          .Dword(ndp + key, L"Servicing", 0)
          .Text(ndp + key, L"Version", L"4.8.04084");
    }
    run_.WorkingFolderRoot = L"C:\\users\\pat\\Temp\\";
  }

  ResultCode Run() {
    PrerequisiteChecks checks(strings_, {registry_, disk_, token_, files_}, log_);
    GateSteps steps(run_, checks);
    const ResultCode result = RunMainSequence(run_, steps, log_);
    worker_started_ = steps.worker_started;
    reported_ = steps.reported;
    return result;
  }

  MapStringTable strings_;
  FakeRegistry registry_;
  FakeDiskSpace disk_{std::uint64_t{50} << 30};
  FakeAdminToken token_;
  FakeSystemFiles files_;
  MemoryLogSystem system_;
  DiagnosticLog log_{system_};
  RunFields run_;
  bool worker_started_ = false;
  std::vector<ResultCode> reported_;
};

TEST_F(GatesInARun, AllPassOnTheMachineTheyMean) {
  EXPECT_EQ(Run(), rc::Ok);
  EXPECT_TRUE(worker_started_);
  EXPECT_EQ(token_.asked, 1);
  EXPECT_EQ(run_.FreeDiskMB, 50 * 1024);
  EXPECT_EQ(run_.WorkingDrive, L"C:");
}

TEST_F(GatesInARun, String145ZeroNeverAsksForTheToken) {
  strings_.entries[cfg::AdminRequired] = L"0";
  token_.admin = false;
  EXPECT_EQ(Run(), rc::Ok);
  EXPECT_EQ(token_.asked, 0);
  EXPECT_TRUE(worker_started_);
}

TEST_F(GatesInARun, ANonAdministratorIsStoppedBeforeTheDotNetCheck) {
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
    EXPECT_FALSE(worker_started_);
    EXPECT_EQ(reported_, std::vector<ResultCode>{rc::NotAdmin});
    EXPECT_EQ(SettleExitCode(run_), static_cast<std::int32_t>(0x80110413));
  }
}

TEST_F(GatesInARun, NoFrameworkStopsWithItsCodeAndTheFieldsForTheReport) {
  registry_ = FakeRegistry();
  EXPECT_EQ(Run(), rc::NoDotNet);
  EXPECT_TRUE(files_.asked.empty());
  EXPECT_TRUE(disk_.asked.empty());
  EXPECT_EQ(run_.RequiredDotNetName, L".NET 3.5");
  EXPECT_EQ(run_.RequiredDotNetMajor, 3);
  EXPECT_EQ(run_.RequiredDotNetMinor, 5);
  EXPECT_EQ(SettleExitCode(run_), static_cast<std::int32_t>(0x80110409));
}

TEST_F(GatesInARun, AnOldWindowsInstallerStopsWith1613BeforeTheDisk) {
  files_.msi_version = std::pair{1u, 1u};
  EXPECT_EQ(Run(), rc::InstallPackageVersion);
  EXPECT_TRUE(disk_.asked.empty());
  EXPECT_EQ(reported_, std::vector<ResultCode>{1613});
  EXPECT_EQ(SettleExitCode(run_), 1613);
}

TEST_F(GatesInARun, TooLittleSpaceStopsWithMediumFullAndTheFieldsForTheReport) {
  disk_.free_bytes = std::uint64_t{100} << 20;
  EXPECT_EQ(Run(), rc::MediumFull);
  EXPECT_FALSE(worker_started_);
  EXPECT_EQ(run_.RequiredDiskMB, 100);
  EXPECT_EQ(run_.FreeDiskMB, 100);
  EXPECT_EQ(run_.WorkingDrive, L"C:");
  EXPECT_EQ(SettleExitCode(run_), static_cast<std::int32_t>(0x80030070));
}

}  // namespace
}  // namespace lantern
