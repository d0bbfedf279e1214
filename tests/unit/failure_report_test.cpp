// The failure report: every result code of a run to its message and link,
// the .NET runtime texts, the disk amount rule, and what is logged and shown.
#include "app/failure_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "program_strings.h"
#include "ui/folder_prompt.h"

namespace lantern {
namespace {

class MemoryLogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    return std::string(text.begin(), text.end());
  }
  std::unique_ptr<LogFile> Open(const std::wstring&, bool) override { return nullptr; }
};

// This build's table without some entries.
class TableWithout final : public StringTable {
 public:
  explicit TableWithout(std::vector<unsigned> missing) : missing_(std::move(missing)) {}
  std::optional<std::wstring> Find(unsigned id) const override {
    for (unsigned m : missing_) {
      if (m == id) return std::nullopt;
    }
    return testing_fakes::ProgramStrings().Find(id);
  }

 private:
  std::vector<unsigned> missing_;
};

constexpr wchar_t kUsageTail[] =
    L"' incorrect.\nValid switches include:- \n\t extract [path] log [path] temp [path]\nExample\n\t"
    L"VantrelStudioDownload.exe log C:\\Temp\\Setup.log /IAgreeToTheEULA VT_PFUR_ENABLED=1";

struct Case {
  const char* name;
  ResultCode code;
  std::function<void(FailureFacts&)> setup;
  std::wstring message;
  std::wstring link;
};

TEST(FailureReport, EveryCodeChoosesItsMessageAndLink) {
  const auto nothing = [](FailureFacts&) {};
  const auto dotnet = [](std::int32_t major, std::int32_t minor, std::int32_t sp, const wchar_t* name) {
    return [=](FailureFacts& run) {
      run.dot_net.RequiredDotNetMajor = major;
      run.dot_net.RequiredDotNetMinor = minor;
      run.dot_net.RequiredDotNetServicePack = sp;
      run.dot_net.RequiredDotNetName = name;
    };
  };
  const auto front_end = [](std::int32_t exit_code, std::function<void(FailureFacts&)> more = {}) {
    return [=](FailureFacts& run) {
      run.FrontEndExitCode = exit_code;
      if (more) more(run);
    };
  };
  const auto disk = [](std::int64_t mb) {
    return [=](FailureFacts& run) {
      run.disk.RequiredDiskMB = mb;
      run.disk.WorkingDrive = L"C:";
    };
  };
  const std::wstring missing_35 =
      L"Vantrel Studio Download requires .NET Framework 3.5. Please download from the "
      L"Microsoft Download Center and retry.";
  const std::vector<Case> cases = {
      {"corrupt file", rc::FileCorrupt, nothing,
       L"A file is corrupt. Download Vantrel Studio Download and retry.", L""},
      {"usage", rc::InvalidParameter, nothing, std::wstring(L"Command line '/log \"x\"\ty") + kUsageTail,
       L""},
      {"processor mode", rc::Abort, nothing,
       L"Vantrel Studio Download failed to switch into processor mode (x86)", L""},
      {"incorrect build", rc::Fail, nothing,
       L"Contact Technical Support. Incorrect Vantrel Studio Download build. (Try setting the temp folder "
       L"from the "
       L"command line.)",
       L""},
      {"disk 100 MB", rc::MediumFull, disk(100),
       L"Insufficient disk space on drive 'C:'. 100.0 MB of free disk space is required.", L""},
      {"disk 1500 MB in GB", rc::MediumFull, disk(1500),
       L"Insufficient disk space on drive 'C:'. 1.5 GB of free disk space is required.", L""},
      {"not admin", rc::NotAdmin, nothing,
       L"You need local administrator privileges to run Vantrel Studio Download.", L""},
      {".NET 3.5 missing", rc::NoDotNet, dotnet(3, 5, 0, L".NET Framework 3.5"), missing_35,
       L"http://www.microsoft.com/en-us/download/details.aspx?id=21"},
      {".NET 2.0 service pack", rc::NoDotNet, dotnet(2, 0, 2, L".NET Framework 2.0"),
       L"Vantrel Studio Download requires .NET Framework 2.0 SP 2. Please download from the Microsoft "
       L"Download Center "
       L"and retry.",
       L"https://www.microsoft.com/en-us/download/details.aspx?id=1639"},
      {".NET 4.5 service pack", rc::NoDotNet, dotnet(4, 5, 1, L".NET Framework 4.5 Full"),
       L"Vantrel Studio Download requires .NET Framework 4.5 Full SP 1. Please download from the Microsoft "
       L"Download "
       L"Center and retry.",
       L"https://www.microsoft.com/en-us/download/details.aspx?id=42642"},
      {"Windows Installer", rc::InstallPackageVersion, nothing,
       L"Vantrel Studio Download requires MSI Engine 2.0. This can be downloaded from the Microsoft Download "
       L"Center.",
       L""},
      {"front end failed", rc::Ok, front_end(rc::Fail),
       L"Vantrel Studio Download failed with exit code 0x80004005.", L""},
      {".NET runtime, service pack below 4", rc::Ok, front_end(rc::DotNetRuntime),
       L"Vantrel Studio Download requires Unknown .NET Version. Please download from the Microsoft Download "
       L"Center "
       L"and retry.\r\n(.NET 4 was detected.)",
       L"https://www.microsoft.com/en-us/download/details.aspx?id=42642"},
      {".NET runtime, service pack 2", rc::Ok,
       front_end(rc::DotNetRuntime, dotnet(4, 0, 2, L".NET Framework 4.0 Full")),
       L"Vantrel Studio Download requires .NET Framework 4.0 Full SP 2. Please download from the Microsoft "
       L"Download "
       L"Center and retry.\r\n(.NET 4 was detected.)",
       L"http://www.microsoft.com/en-us/download/details.aspx?id=17718"},
      {".NET runtime, service pack 4", rc::Ok,
       front_end(rc::DotNetRuntime, dotnet(4, 5, 4, L".NET Framework 4.5 Full")),
       L".NET 4 run time has failed to run Vantrel Studio Download.\r\n(Perhaps you have a Pre-release .NET "
       L"Version).\r\nPlease download from the Microsoft Download Center and retry.",
       L"https://www.microsoft.com/en-us/download/details.aspx?id=42642"},
      {"refused signature", rc::NoSignature, nothing,
       L"Failed to run Vantrel Studio Download error 0x800b0100.", L""},
      {"front end not started: the file is missing", Hr(0x80070002), nothing,
       L"Failed to run Vantrel Studio Download error 0x80070002.", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailureFacts run;
    c.setup(run);
    const FailureNotice notice =
        ComposeFailureNotice(testing_fakes::ProgramStrings(), c.code, run, L"/log \"x\"\ty");
    EXPECT_EQ(notice.message, c.message);
    EXPECT_EQ(notice.link, c.link);
  }
}

TEST(FailureReport, DiskAmountIsTheMinimumInMbUpTo1000AndInGbAbove) {
  struct Amount {
    std::int64_t mb;
    double amount;
    std::wstring unit;
  };
  const Amount amounts[] = {{100, 100.0, L"MB"},
                            {1000, 1000.0, L"MB"},
                            {1001, 1.001, L"GB"},
                            {1500, 1.5, L"GB"},
                            {0, 0.0, L"MB"},
                            {-5000, -5000.0, L"MB"},
                            {5000000000LL, 5000000.0, L"GB"}};
  for (const Amount& a : amounts) {
    SCOPED_TRACE(a.mb);
    const DiskAmount amount = DiskAmountFor(a.mb);
    EXPECT_DOUBLE_EQ(amount.amount, a.amount);
    EXPECT_EQ(amount.unit, a.unit);
  }
  // As message 102 prints it.
  FailureFacts run;
  run.disk.RequiredDiskMB = 1001;
  run.disk.WorkingDrive = L"D:";
  EXPECT_EQ(ComposeFailureNotice(testing_fakes::ProgramStrings(), rc::MediumFull, run, L"").message,
            L"Insufficient disk space on drive 'D:'. 1.0 GB of free disk space is required.");
}

TEST(FailureReport, DownloadLinkByDotNetVersion) {
  struct Link {
    std::int32_t major, minor;
    std::wstring link;
  };
  const Link links[] = {
      {2, 0, L"https://www.microsoft.com/en-us/download/details.aspx?id=1639"},
      {2, 7, L"https://www.microsoft.com/en-us/download/details.aspx?id=1639"},
      {3, 0, L"http://www.microsoft.com/en-us/download/details.aspx?id=21"},
      {3, 5, L"http://www.microsoft.com/en-us/download/details.aspx?id=21"},
      {4, 0, L"http://www.microsoft.com/en-us/download/details.aspx?id=17718"},
      {4, 5, L"https://www.microsoft.com/en-us/download/details.aspx?id=42642"},
      {4, 6, L""},
      {1, 1, L""},
      {5, 0, L""},
  };
  for (const Link& l : links) {
    SCOPED_TRACE(testing::Message() << l.major << "." << l.minor);
    EXPECT_EQ(GetDotNetDownloadLink(l.major, l.minor), l.link);
  }
}

TEST(FailureReport, AMissingProductNameLeavesItEmpty) {
  const TableWithout table({cfg::ProductName});
  const FailureFacts run;
  EXPECT_EQ(
      ComposeFailureNotice(table, rc::Fail, run, L"").message,
      L"Contact Technical Support. Incorrect  build. (Try setting the temp folder from the command line.)");
  EXPECT_EQ(ComposeFailureNotice(table, Hr(0x80004006), run, L"").message,
            L"Failed to run  error 0x80004006.");
}

TEST(FailureReport, LogsTheMessageAsALineAndShowsItUnlessSilent) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    MemoryLogSystem system;
    DiagnosticLog log(system);
    FailureFacts run;
    run.dot_net.RequiredDotNetMajor = 3;
    run.dot_net.RequiredDotNetName = L".NET Framework 3.5";
    std::vector<FailureNotice> shown;
    ReportFailure(testing_fakes::ProgramStrings(), rc::NoDotNet, run, silent, L"", log,
                  [&shown](const FailureNotice& notice) { shown.push_back(notice); });
    EXPECT_EQ(log.Pending(),
              L"Vantrel Studio Download requires .NET Framework 3.5. Please download from the Microsoft "
              L"Download Center and retry.\n");
    if (silent) {
      EXPECT_TRUE(shown.empty());
    } else {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].link, L"http://www.microsoft.com/en-us/download/details.aspx?id=21");
    }
  }
}

TEST(FolderPrompt, ASilentRunAsksNobodyAndFails) {
  MemoryLogSystem system;
  DiagnosticLog log(system);
  std::atomic<std::int32_t> depth{0};
  std::wstring root = L"Q:\\";
  bool asked = false;
  const auto ask = [&](const std::wstring&, const std::wstring&) -> std::optional<std::wstring> {
    asked = true;
    return L"C:";
  };
  EXPECT_EQ(PromptForWorkingFolderRoot(true, depth, root, L"Product", log, ask), rc::Fail);
  EXPECT_FALSE(asked);
  EXPECT_EQ(root, L"Q:\\");
  EXPECT_EQ(log.Pending(), L"Not Prompting the user as silent installation\n");
}

TEST(FolderPrompt, TheAnswerReplacesTheRootAsTypedAndTheDepthCountsTheOpenPrompt) {
  struct Answer {
    std::optional<std::wstring> typed;
    ResultCode result;
    std::wstring root_after;
  };
  const Answer answers[] = {
      {L"D:", rc::Ok, L"D:"},
      {L"", rc::Ok, L""},
      {std::nullopt, rc::Fail, L"Q:\\unwritable"},
  };
  for (const Answer& a : answers) {
    MemoryLogSystem system;
    DiagnosticLog log(system);
    std::atomic<std::int32_t> depth{0};
    std::wstring root = L"Q:\\unwritable";
    std::vector<std::int32_t> depths_seen;
    const auto ask = [&](const std::wstring& caption, const std::wstring& current) {
      EXPECT_EQ(caption, L"Product");
      EXPECT_EQ(current, L"Q:\\unwritable");
      depths_seen.push_back(depth.load());
      return a.typed;
    };
    const auto changed = [&] { depths_seen.push_back(depth.load()); };
    EXPECT_EQ(PromptForWorkingFolderRoot(false, depth, root, L"Product", log, ask, changed), a.result);
    EXPECT_EQ(root, a.root_after);
    EXPECT_EQ(depths_seen, (std::vector<std::int32_t>{1, 1, 0}));
    EXPECT_EQ(depth.load(), 0);
    EXPECT_TRUE(log.Pending().empty());
  }
}

}  // namespace
}  // namespace lantern
