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

// The notice dialog's question form; answers Yes without asking.
bool AskToContinue(const std::wstring& heading, const std::wstring& message);
ResultCode PromptForWorkingFolderRoot(std::wstring& root);
void ReportFailure(ResultCode code);

}  // namespace lantern::placeholder
