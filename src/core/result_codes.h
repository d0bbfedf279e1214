// Result codes of a run: 0 is success, failures are HRESULT values, and three
// positive values have meanings of their own (help, an old Windows Installer,
// a raw Win32 error).
#pragma once

#include <cstdint>

namespace lantern {

using ResultCode = std::int32_t;

constexpr ResultCode Hr(std::uint32_t bits) { return static_cast<ResultCode>(bits); }

namespace rc {
constexpr ResultCode Ok = 0;
constexpr ResultCode HelpRequested = 1;
constexpr ResultCode InstallPackageVersion = 1613;       // Windows Installer too old
constexpr ResultCode Fail = Hr(0x80004005);              // E_FAIL
constexpr ResultCode Abort = Hr(0x80004004);             // E_ABORT
constexpr ResultCode Unexpected = Hr(0x8000FFFF);        // E_UNEXPECTED
constexpr ResultCode OutOfMemory = Hr(0x8007000E);       // E_OUTOFMEMORY
constexpr ResultCode InvalidParameter = Hr(0x80030057);  // STG_E_INVALIDPARAMETER
constexpr ResultCode MediumFull = Hr(0x80030070);        // STG_E_MEDIUMFULL
constexpr ResultCode NoSignature = Hr(0x800B0100);       // TRUST_E_NOSIGNATURE
constexpr ResultCode CertChaining = Hr(0x800B010A);      // CERT_E_CHAINING
constexpr ResultCode NotAdmin = Hr(0x80110413);
constexpr ResultCode NoDotNet = Hr(0x80110409);
constexpr ResultCode FileCorrupt = Hr(0x80040167);
constexpr ResultCode DotNetRuntime = Hr(0x80131700);
// ERROR_OLD_WIN_VERSION as a result: the system lacks what the run needs.
constexpr ResultCode OldWindowsVersion = Hr(0x8007047E);
}  // namespace rc

// A Win32 error code as a result (HRESULT_FROM_WIN32); E_FAIL for 0, so that
// a failure never reads as success.
constexpr ResultCode ResultFromWin32(std::uint32_t error) {
  if (error == 0) return rc::Fail;
  if (static_cast<ResultCode>(error) <= 0) return static_cast<ResultCode>(error);  // already a result
  return Hr((error & 0xFFFF) | 0x80070000u);
}

}  // namespace lantern
