#include "trust/verify_signature_win32.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstddef>

#include "core/format.h"
#include "framework/system_dlls_win32.h"
#include "log/log.h"
#include "trust/verdict.h"

namespace lantern {

namespace {

// The structure as every version of Windows knows it; newer SDKs append
// fields that older trust providers would not accept.
constexpr DWORD kWinTrustDataSize = 48;
static_assert(offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD) == kWinTrustDataSize || sizeof(void*) != 4,
              "WINTRUST_DATA's first twelve fields take 48 bytes in a 32-bit program");

}  // namespace

WinVerifyTrustFn LoadWinVerifyTrust() {
  return SystemFunction<WinVerifyTrustFn>(L"wintrust.dll", "WinVerifyTrust");
}

ResultCode VerifyFileSignature(const OwnFile& own, std::wstring& verdict, WinVerifyTrustFn verify,
                               DiagnosticLog& log) {
  const std::wstring& path = own.path;
  if (!own.handle) {
    // Checking by path would look at a file that someone else may change
    // before it is read: what cannot be opened is not verified.
    verdict = Format(L"The file \"%s\" cannot be opened to check its signature. Error 0x%x\n", path,
                     static_cast<std::uint32_t>(own.open_error));
    log.LogFormat(L"Digital verification: '%s'\n", verdict);
    return ResultFromWin32(own.open_error);
  }
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  file.hFile = own.handle.get();
  file.pgKnownSubject = nullptr;

  WINTRUST_DATA data{};
  data.cbStruct = kWinTrustDataSize;
  data.pPolicyCallbackData = nullptr;
  data.pSIPClientData = nullptr;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_IGNORE;
  data.hWVTStateData = nullptr;
  data.pwszURLReference = nullptr;
  data.dwProvFlags = WTD_SAFER_FLAG;
  data.dwUIContext = WTD_UICONTEXT_EXECUTE;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  ResultCode status;
  DWORD last_error;
  if (verify) {
    status = static_cast<ResultCode>(verify(nullptr, &action, &data));
    last_error = GetLastError();
  } else {
    // No trust provider: nothing vouches for the file, so it is not accepted.
    status = Hr(trust::ProviderUnknown);
    last_error = trust::ProviderUnknown;
  }

  verdict = ComposeVerdict(status, last_error, path);
  log.LogFormat(L"Digital verification: '%s'\n", verdict);
  return status;
}

}  // namespace lantern
