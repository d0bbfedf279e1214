// PLACEHOLDERS for operations that are not built yet. Each answers so that the
// run goes on (signature verified, every gate passed, nothing shown, nothing
// extracted or started) and is replaced, together with its line here, when
// the real operation arrives.
#pragma once

#include <cstdint>
#include <string>

#include "app/result_codes.h"
#include "app/run_sequence.h"

namespace lantern::placeholder {

SignatureCheck VerifyFileSignature(const std::wstring& path);
// Gives the installer its default name.
void ReadSignerDetails(std::wstring& installer_name);
bool IsAdminRequired();
bool IsUserAdmin();
bool CheckDotNetFramework(RunFields& run);
bool CheckWindowsInstaller();
bool CheckFreeDiskSpace(RunFields& run);
ResultCode CreateProbeFile(const std::wstring& root);
void SetZeroGuidFlag();
void WriteEmbeddedInformation();
ResultCode ExtractResources(std::wstring& program_path);
ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments, std::int32_t& exit_code);
void RemoveWorkingFolder();

}  // namespace lantern::placeholder
