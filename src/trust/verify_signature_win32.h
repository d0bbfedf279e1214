// The program's own file and its Authenticode check: the trust provider's
// status, the verdict in a line of the log, nothing decided here.
#pragma once

#include <windows.h>

#include <string>

#include "core/result_codes.h"

namespace lantern {

// The full path of the running program's file. Empty when the system does not
// give it, or when it does not fit in MAX_PATH characters: a cut path would
// name another file, and the checks that use this path must look at this one.
using GetModuleFileNameFn = DWORD(WINAPI*)(HMODULE module, LPWSTR buffer, DWORD size);
std::wstring GetModulePath(GetModuleFileNameFn get_module_file_name = GetModuleFileNameW);

using WinVerifyTrustFn = LONG(WINAPI*)(HWND window, GUID* action, LPVOID data);

// WinVerifyTrust from the system folder's wintrust.dll; null when it is missing.
WinVerifyTrustFn SystemWinVerifyTrust();

// Asks the trust provider whether the file at `path` carries a valid embedded
// signature (no revocation check, no window), writes the verdict to the log
// and returns the provider's status unchanged: 0 when verified. Without a
// trust provider the status is TRUST_E_PROVIDER_UNKNOWN.
ResultCode VerifyFileSignature(const std::wstring& path, std::wstring& verdict,
                               WinVerifyTrustFn verify = SystemWinVerifyTrust());

}  // namespace lantern
