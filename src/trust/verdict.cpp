#include "trust/verdict.h"

namespace lantern {

std::wstring ComposeVerdict(ResultCode status, std::uint32_t last_error, std::wstring_view path) {
  const std::wstring file(path);
  switch (static_cast<std::uint32_t>(status)) {
    case 0:
      return Format(L"The file \"%s\" is signed and the signature was verified.\n", file);
    case trust::NoSignature:
      // The number shown is the last error: it says why there is no signature.
      if (last_error == trust::NoSignature || last_error == trust::SubjectFormUnknown ||
          last_error == trust::ProviderUnknown) {
        return Format(L"The file \"%s\" is not signed. Error 0x%x\n", file, last_error);
      }
      return Format(L"An unknown error occurred trying to verify the signature of the \"%s\" file. Error 0x%x\n",
                    file, last_error);
    case trust::ExplicitDistrust:
      return L"The signature is present, but specifically disallowed.\n";
    case trust::SubjectNotTrusted:
      return L"The signature is present, but not trusted.\n";
    case trust::SecuritySettings:
      return L"The subject or the publisher wasn't explicitly trusted by the admin and admin policy has disabled "
             L"user trust. No signature, publisher or timestamp errors.\n";
    case trust::Chaining:
      return L"The certificate in the signature cannot be verified.\n";
    default:
      return Format(L"Error is: 0x%x.\n", static_cast<std::uint32_t>(status));
  }
}

std::wstring SerialNumberText(const unsigned char* bytes, std::uint32_t size) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(2 * static_cast<std::size_t>(size));
  for (std::uint32_t i = size; i-- > 0;) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void ReportSignerDetails(const SignerDetailsView& details, std::wstring& installer_name, DiagnosticLog& log) {
  // A missing text shows as "null" (not the formatter's own marker), so that
  // scripts reading the log see one spelling.
  const auto text = [](const wchar_t* value) { return value ? value : L"null"; };
  log.LogFormat(L"Digital verification: SubjectName '%s'\n", text(details.SubjectName));
  log.LogFormat(L"Digital verification: ProgramName '%s'\n", text(details.ProgramName));
  log.LogFormat(L"Digital verification: MoreInfo    '%s'\n", text(details.MoreInfo));
  const std::wstring serial =
      details.SerialNumber ? SerialNumberText(details.SerialNumber, details.SerialNumberSize) : L"null";
  log.LogFormat(L"Digital verification: SerialNumber %s\n", serial);
  log.LogFormat(L"Digital verification: IssuerName '%s'\n", text(details.IssuerName));
  if (details.ProgramName) installer_name = details.ProgramName;
}

}  // namespace lantern
