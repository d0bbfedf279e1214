#include "app/placeholders_win32.h"

namespace lantern::placeholder {

bool AskToContinue(const std::wstring&, const std::wstring&) { return true; }
ResultCode PromptForWorkingFolderRoot(std::wstring&) { return rc::Fail; }
void ReportFailure(ResultCode) {}

}  // namespace lantern::placeholder
