#include "app/placeholders_win32.h"

namespace lantern::placeholder {

bool AskToContinue(const std::wstring&, const std::wstring&) { return true; }
ResultCode CreateProbeFile(const std::wstring&) { return rc::Ok; }
ResultCode PromptForWorkingFolderRoot(std::wstring&) { return rc::Fail; }
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
void ReportFailure(ResultCode) {}

}  // namespace lantern::placeholder
