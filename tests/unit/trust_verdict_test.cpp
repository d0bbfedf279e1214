// The verdict on every status the trust provider can give, and the signer
// details as the log shows them.
#include "trust/verdict.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_log.h"

namespace lantern {
namespace {

TEST(Verdict, EveryRowOfTheTable) {
  const std::wstring path = L"C:\\Downloads\\Setup.exe";
  struct Case {
    std::uint32_t status, last_error;
    std::wstring verdict;
  };
  const Case cases[] = {
      {0, 0, L"The file \"C:\\Downloads\\Setup.exe\" is signed and the signature was verified.\n"},
      // No signature: the number shown is the last error, and it decides the wording.
      {0x800B0100, 0x800B0100, L"The file \"C:\\Downloads\\Setup.exe\" is not signed. Error 0x800b0100\n"},
      {0x800B0100, 0x800B0003, L"The file \"C:\\Downloads\\Setup.exe\" is not signed. Error 0x800b0003\n"},
      {0x800B0100, 0x800B0001, L"The file \"C:\\Downloads\\Setup.exe\" is not signed. Error 0x800b0001\n"},
      {0x800B0100, 0x00000005,
       L"An unknown error occurred trying to verify the signature of the \"C:\\Downloads\\Setup.exe\" file. "
       L"Error 0x5\n"},
      {0x800B0100, 0,
       L"An unknown error occurred trying to verify the signature of the \"C:\\Downloads\\Setup.exe\" file. "
       L"Error 0x0\n"},
      {0x800B0111, 0x800B0100, L"The signature is present, but specifically disallowed.\n"},
      {0x800B0004, 0, L"The signature is present, but not trusted.\n"},
      {0x80092026, 0,
       L"The subject or the publisher wasn't explicitly trusted by the admin and admin policy has disabled user "
       L"trust. No signature, publisher or timestamp errors.\n"},
      {0x800B010A, 0x800B0100, L"The certificate in the signature cannot be verified.\n"},
      // Anything else, such as a file changed after signing: the status itself.
      {0x80096010, 0x800B0100, L"Error is: 0x80096010.\n"},
      {0x800B0001, 0x800B0001, L"Error is: 0x800b0001.\n"},
      {0x00000001, 0, L"Error is: 0x1.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status << " / " << c.last_error);
    EXPECT_EQ(ComposeVerdict(static_cast<ResultCode>(c.status), c.last_error, path), c.verdict);
  }
}

TEST(Verdict, APathIsShownAsItIsEvenWithConversionsInIt) {
  EXPECT_EQ(ComposeVerdict(0, 0, L"C:\\100%s\\a%d.exe"),
            L"The file \"C:\\100%s\\a%d.exe\" is signed and the signature was verified.\n");
}

using testing_fakes::MemoryLogSystem;

TEST(SignerDetailsReport, FiveLinesAndTheInstallerNameFromTheProgramName) {
  const unsigned char serial[] = {0x72, 0x4E};  // least significant byte first
  struct Case {
    const char* what;
    SignerDetailsView details;
    std::wstring lines;
    std::wstring installer_name;
  };
  const Case cases[] = {
      {"everything",
       {L"Product Setup", L"https://example.test/more", serial, 2, L"Test Root", L"Test Publisher"},
       L"Digital verification: SubjectName 'Test Publisher'\n"
       L"Digital verification: ProgramName 'Product Setup'\n"
       L"Digital verification: MoreInfo    'https://example.test/more'\n"
       L"Digital verification: SerialNumber 4E72\n"
       L"Digital verification: IssuerName 'Test Root'\n",
       L"Product Setup"},
      {"nothing read from the certificate or the opus info",
       {},
       L"Digital verification: SubjectName 'null'\n"
       L"Digital verification: ProgramName 'null'\n"
       L"Digital verification: MoreInfo    'null'\n"
       L"Digital verification: SerialNumber null\n"
       L"Digital verification: IssuerName 'null'\n",
       L"Vantrel Installer"},
      {"an empty program name is a name",
       {L"", nullptr, nullptr, 0, L"R", L"S"},
       L"Digital verification: SubjectName 'S'\n"
       L"Digital verification: ProgramName ''\n"
       L"Digital verification: MoreInfo    'null'\n"
       L"Digital verification: SerialNumber null\n"
       L"Digital verification: IssuerName 'R'\n",
       L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryLogSystem system;
    DiagnosticLog log(system);
    std::wstring installer_name = kDefaultInstallerName;
    ReportSignerDetails(c.details, installer_name, log);
    EXPECT_EQ(log.Pending(), c.lines);
    EXPECT_EQ(installer_name, c.installer_name);
  }
}

TEST(SignerDetailsReport, TheSerialNumberReadsMostSignificantByteFirst) {
  struct Case {
    std::vector<unsigned char> stored;  // as CryptoAPI holds it
    std::wstring shown;
  };
  const Case cases[] = {
      {{}, L""},
      {{0x01}, L"01"},
      {{0x6E, 0x72, 0x65, 0x74, 0x6E, 0x61, 0x4C}, L"4C616E7465726E"},
      // A sign byte and inner zeros are the certificate's bytes: kept.
      {{0x80, 0x00}, L"0080"},
      {{0x00, 0x0A, 0xF0}, L"F00A00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SerialNumberText(c.stored.data(), static_cast<std::uint32_t>(c.stored.size())), c.shown);
  }
}

}  // namespace
}  // namespace lantern
