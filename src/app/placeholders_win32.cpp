#include "app/placeholders_win32.h"

namespace lantern::placeholder {

SignatureCheck VerifyFileSignature(const std::wstring&) { return {}; }
void ReadSignerDetails(std::wstring& installer_name) { installer_name = L"Vantrel Installer"; }
bool IsAdminRequired() { return false; }
bool IsUserAdmin() { return true; }
bool CheckDotNetFramework(RunFields&) { return true; }
bool CheckWindowsInstaller() { return true; }
bool CheckFreeDiskSpace(RunFields&) { return true; }
ResultCode CreateProbeFile(const std::wstring&) { return rc::Ok; }
void SetZeroGuidFlag() {}
void WriteEmbeddedInformation() {}
ResultCode ExtractResources(std::wstring& program_path) {
  program_path.clear();
  return rc::Ok;
}
ResultCode RunProgram(const std::wstring&, const std::wstring&, std::int32_t& exit_code) {
  exit_code = 0;
  return rc::Ok;
}
void RemoveWorkingFolder() {}

}  // namespace lantern::placeholder
