// A file's Authenticode check: the trust provider's status, the verdict in a
// line of the log, nothing decided here.
#pragma once

#include <windows.h>

#include <string>

#include "core/result_codes.h"
#include "framework/module_path_win32.h"
#include "log/log.h"

namespace lantern {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND window, GUID* action, LPVOID data);

// WinVerifyTrust from the system folder's wintrust.dll; null when it is missing.
WinVerifyTrustFn LoadWinVerifyTrust();

// Asks the trust provider whether `file` carries a valid embedded signature
// (no revocation check, no window) through `verify`, writes the verdict to
// the log and returns the provider's status unchanged: 0 when verified. The
// provider reads the file through its open handle (its path names it too),
// so that the bytes checked are the ones the run goes on to read. Without a
// trust provider (`verify` null) the status is TRUST_E_PROVIDER_UNKNOWN; when
// the file could not be opened, the open's error as a result, and the file
// is never checked by its path instead.
ResultCode VerifyFileSignature(const OwnFile& file, std::wstring& verdict, WinVerifyTrustFn verify,
                               DiagnosticLog& log);

}  // namespace lantern
