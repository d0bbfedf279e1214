// Real bootstrappers checking their own signature under Wine: the verdict,
// the signer details and the installer's name in the log, and what a silent
// run does with a file that is unsigned or was changed after signing.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "e2e_paths.h"
#include "e2e_support.h"

namespace lantern::e2e {
namespace {

constexpr std::uint32_t kNoSignature = 0x800B0100;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The log's lines without their CR LF.
std::vector<std::string> LogLines(const std::wstring& path) {
  const std::string text = ReadText(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// The lines between "Started" and the first line that starts with `until`
// (or the end).
// The signature's lines end where the gates' begin.
constexpr const char* kFirstGateLine = ".NET 2.0 ";

std::vector<std::string> LinesAfterStarted(const std::vector<std::string>& lines, const std::string& until) {
  std::vector<std::string> out;
  bool started = false;
  for (const auto& line : lines) {
    if (started && line.rfind(until, 0) == 0) break;
    if (started) out.push_back(line);
    if (line.rfind("Started ", 0) == 0) started = true;
  }
  return out;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
  for (const auto& line : lines) {
    if (line == wanted) return true;
  }
  return false;
}

struct LoggedRun {
  RunResult result;
  std::vector<std::string> lines;
};

LoggedRun RunWithLog(const std::wstring& exe, const std::wstring& arguments) {
  TempFolder temp;
  const std::wstring log = temp / L"run.log";
  LoggedRun run;
  run.result = RunProgram(Quoted(exe) + L" log " + Quoted(log) + L" " + arguments, 60000, temp.path());
  run.lines = LogLines(log);
  return run;
}

// The second option parse (on the worker) carries the installer's name.
std::string InstallerNameGivenToTheFrontEnd(const std::vector<std::string>& lines) {
  bool worker = false;
  for (const auto& line : lines) {
    if (line == "Run Embedded Resources ") worker = true;
    std::smatch match;
    if (worker && std::regex_search(line, match, std::regex("VT_I=\"(.*)\" $"))) return match[1];
  }
  return "(no front-end command line)";
}

std::vector<std::string> Verified(const std::wstring& exe) {
  return {"Digital verification: 'The file \"" + Narrow(exe) + "\" is signed and the signature was verified.", "'"};
}

TEST(Trust, ASignedBootstrapperLogsTheVerdictTheSignerAndNamesTheInstaller) {
  struct Case {
    const char* what;
    std::wstring exe;
    std::vector<std::string> opus_lines;
    std::string program_name, more_info, installer_name;
  };
  const std::string link = "https://www.vantrel.example/";
  const Case cases[] = {
      {"no program name or link: no opus info at all", HostPath(LANTERN_BASIC_EXE), {}, "null", "null",
       "Vantrel Installer"},
      {"a program name beyond ASCII and a link", HostPath(LANTERN_NAMED_EXE),
       {"GetProgAndPublisherInfo pPublisheInfo = null", "GetProgAndPublisherInfo switch MoreInfo 1"},
       "Lantern T\xebst Installer", link + "more-info", "Lantern T\xebst Installer"},
      {"an empty program name", HostPath(LANTERN_EMPTY_NAME_EXE),
       {"GetProgAndPublisherInfo pPublisheInfo = null", "GetProgAndPublisherInfo pMoreInfo = null"}, "", "null",
       ""},
      {"a link only, signed from a .pfx", HostPath(LANTERN_LINK_ONLY_EXE),
       {"GetProgAndPublisherInfo failed pwszProgramName", "GetProgAndPublisherInfo pPublisheInfo = null",
        "GetProgAndPublisherInfo switch MoreInfo 1"},
       "null", link + "link-only", "Vantrel Installer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LoggedRun run = RunWithLog(c.exe, L"/IAgreeToTheEULA");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u);

    std::vector<std::string> expected = Verified(c.exe);
    expected.push_back("GetAuthenticodeInformation ");
    expected.insert(expected.end(), c.opus_lines.begin(), c.opus_lines.end());
    expected.push_back("GetAuthenticodeInformation Fininshed");
    expected.push_back("Digital verification: SubjectName 'Lantern Test Publisher'");
    expected.push_back("Digital verification: ProgramName '" + c.program_name + "'");
    expected.push_back("Digital verification: MoreInfo    '" + c.more_info + "'");
    expected.push_back("Digital verification: SerialNumber " LANTERN_TEST_SIGN_SERIAL);
    expected.push_back("Digital verification: IssuerName 'Lantern Test Root'");
    EXPECT_EQ(Joined(LinesAfterStarted(run.lines, kFirstGateLine)), Joined(expected));
    EXPECT_EQ(InstallerNameGivenToTheFrontEnd(run.lines), c.installer_name);
  }
}

TEST(Trust, ASilentRunRefusesAnUnsignedBootstrapperAndStartsNothing) {
  const std::wstring exe = HostPath(LANTERN_UNSIGNED_EXE);
  const LoggedRun run = RunWithLog(exe, L"/IAgreeToTheEULA");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, kNoSignature);
  const std::vector<std::string> expected = {
      "Digital verification: 'The file \"" + Narrow(exe) + "\" is not signed. Error 0x800b0100",
      "'",
      "Certificate error 800b0100",
      "Not signed correctly so failing now!",
  };
  const auto after = LinesAfterStarted(run.lines, "Ended ");
  ASSERT_GE(after.size(), expected.size()) << Joined(run.lines);
  EXPECT_EQ(Joined(std::vector<std::string>(after.begin(), after.begin() + expected.size())), Joined(expected));
  EXPECT_FALSE(HasLine(run.lines, "GetAuthenticodeInformation ")) << Joined(run.lines);
  EXPECT_FALSE(HasLine(run.lines, "Run Embedded Resources ")) << Joined(run.lines);
}

TEST(Trust, ASilentDontrunRunOfAnUnsignedBootstrapperGoesOnWithTheDefaultName) {
  const std::wstring exe = HostPath(LANTERN_UNSIGNED_EXE);
  const LoggedRun run = RunWithLog(exe, L"/IAgreeToTheEULA /dontrun");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u);
  const std::vector<std::string> expected = {
      "Digital verification: 'The file \"" + Narrow(exe) + "\" is not signed. Error 0x800b0100",
      "'",
      "Certificate error 800b0100",
      "Not running so extract anyway",
      "GetAuthenticodeInformation ",
      "GetAuthenticodeInformation Fininshed",
      "Digital verification: Failed",
  };
  EXPECT_EQ(Joined(LinesAfterStarted(run.lines, kFirstGateLine)), Joined(expected));
  EXPECT_EQ(InstallerNameGivenToTheFrontEnd(run.lines), "Vantrel Installer");
}

TEST(Trust, ABootstrapperChangedAfterSigningIsRefused) {
  TempFolder temp;
  const std::wstring exe = temp / L"Tampered.exe";
  ASSERT_TRUE(CopyFileW(HostPath(LANTERN_BASIC_EXE).c_str(), exe.c_str(), TRUE));
  ASSERT_TRUE(FlipByte(exe, kDosStubMessageByte));
  const LoggedRun run = RunWithLog(exe, L"/IAgreeToTheEULA");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, kNoSignature);
  const std::vector<std::string> expected = {
      "Digital verification: 'Error is: 0x80096010.",
      "'",
      "Certificate error 80096010",
      "Not signed correctly so failing now!",
  };
  const auto after = LinesAfterStarted(run.lines, "Ended ");
  ASSERT_GE(after.size(), expected.size()) << Joined(run.lines);
  EXPECT_EQ(Joined(std::vector<std::string>(after.begin(), after.begin() + expected.size())), Joined(expected));
  EXPECT_FALSE(HasLine(run.lines, "Run Embedded Resources ")) << Joined(run.lines);
}

// Bootstrappers a team made from an installed Lantern with no compiler (see
// tests/packaging/archive_test.cmake): one by a CMake project, one by hand.
TEST(Archive, PackedAndSignedWithoutACompilerRunsSilentlyAndNamesTheInstaller) {
  struct Case {
    std::wstring exe;
    std::string installer_name;
  };
  const Case cases[] = {{HostPath(LANTERN_ARCHIVE_CMAKE_EXE), "Archive Installer"},
                        {HostPath(LANTERN_ARCHIVE_DIRECT_EXE), "Direct Installer"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.exe));
    const LoggedRun run = RunWithLog(c.exe, L"/IAgreeToTheEULA");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u);
    const auto verified = Verified(c.exe);
    EXPECT_TRUE(HasLine(run.lines, verified[0])) << Joined(run.lines);
    EXPECT_EQ(InstallerNameGivenToTheFrontEnd(run.lines), c.installer_name);
    EXPECT_TRUE(HasLine(run.lines, "Run Embedded Resources ")) << Joined(run.lines);
  }
}

// Signed the way production builds are (tests/e2e/signing/make-signed).
std::wstring SignedFixture(const wchar_t* name) { return HostPath(LANTERN_SIGNED_DIR) + L"\\" + name; }

TEST(Signing, TimestampedSignaturesFromATokenAndAServicePassTheSelfCheckAndNameTheInstaller) {
  struct Case {
    const wchar_t* file;
    std::string subject, installer_name;
  };
  const Case cases[] = {
      {L"TokenSetup.exe", "Lantern Token Publisher", "Token Inst\xe4lLer"},
      {L"ServiceSetup.exe", "Lantern Service Publisher", "Service Installer"},
      // Built by lantern_add_bootstrapper(... SIGN_COMMAND ...).
      {nullptr, "Lantern Test Publisher", "Command Installer"},
  };
  for (const Case& c : cases) {
    const std::wstring exe = c.file != nullptr ? SignedFixture(c.file) : HostPath(LANTERN_COMMAND_SIGNED_EXE);
    SCOPED_TRACE(Narrow(exe));
    const LoggedRun run = RunWithLog(exe, L"/IAgreeToTheEULA");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, Verified(exe)[0])) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, "Digital verification: SubjectName '" + c.subject + "'")) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, "Run Embedded Resources ")) << Joined(run.lines);
    EXPECT_EQ(InstallerNameGivenToTheFrontEnd(run.lines), c.installer_name);
  }
}

// Windows answers CERT_E_EXPIRED for a signature without a timestamp whose
// certificate has expired, and accepts one timestamped while the certificate
// was valid. Wine checks no validity period: it accepts both. This shows
// Wine's answer, so that a change in it is seen.
TEST(Signing, WineAcceptsAnExpiredCertificateWithOrWithoutATimestamp) {
  for (const wchar_t* file : {L"ExpiredTimestamped.exe", L"ExpiredUntimestamped.exe"}) {
    const std::wstring exe = SignedFixture(file);
    SCOPED_TRACE(Narrow(exe));
    const LoggedRun run = RunWithLog(exe, L"/IAgreeToTheEULA /dontrun");
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(run.result.exit_code, 0u) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, Verified(exe)[0])) << Joined(run.lines);
    EXPECT_TRUE(HasLine(run.lines, "Digital verification: SubjectName 'Lantern Expired Publisher'"))
        << Joined(run.lines);
  }
}

}  // namespace
}  // namespace lantern::e2e
