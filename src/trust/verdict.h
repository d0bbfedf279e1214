// The trust provider's status as a one-line verdict in English, and the
// signer details as the log shows them. No system calls: the Win32 layer
// (verify_signature_win32, signer_details_win32) gathers the facts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

namespace trust {
constexpr std::uint32_t NoSignature = 0x800B0100;         // TRUST_E_NOSIGNATURE
constexpr std::uint32_t SubjectFormUnknown = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr std::uint32_t ProviderUnknown = 0x800B0001;     // TRUST_E_PROVIDER_UNKNOWN
constexpr std::uint32_t ExplicitDistrust = 0x800B0111;    // TRUST_E_EXPLICIT_DISTRUST
constexpr std::uint32_t SubjectNotTrusted = 0x800B0004;   // TRUST_E_SUBJECT_NOT_TRUSTED
constexpr std::uint32_t SecuritySettings = 0x80092026;    // CRYPT_E_SECURITY_SETTINGS
constexpr std::uint32_t Chaining = 0x800B010A;            // CERT_E_CHAINING
}  // namespace trust

// The verdict on `status` for the file at `path`. `last_error` is the thread's
// last error read right after the check; it tells a file without a signature
// from a failure to look for one.
std::wstring ComposeVerdict(ResultCode status, std::uint32_t last_error, std::wstring_view path);

// What the log shows of a signature's signer details; null where a detail is
// missing.
struct SignerDetailsView {
  const wchar_t* ProgramName = nullptr;
  const wchar_t* MoreInfo = nullptr;
  const unsigned char* SerialNumber = nullptr;  // least significant byte first
  std::uint32_t SerialNumberSize = 0;
  const wchar_t* IssuerName = nullptr;
  const wchar_t* SubjectName = nullptr;
};

// A certificate serial number held least significant byte first (as
// CryptoAPI holds it) in upper-case hexadecimal, most significant byte first,
// two digits a byte: the way certificate tools show it.
std::wstring SerialNumberText(const unsigned char* bytes, std::uint32_t size);

// Writes the five detail lines and gives the installer the signature's
// program name when it has one, even an empty one.
void ReportSignerDetails(const SignerDetailsView& details, std::wstring& installer_name, DiagnosticLog& log);

// The installer's name until a signature names the program.
inline constexpr wchar_t kDefaultInstallerName[] = L"Vantrel Installer";

}  // namespace lantern
