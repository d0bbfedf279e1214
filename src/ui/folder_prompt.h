// The drive-letter prompt's rule: in a silent run nobody is asked; otherwise
// the user's confirmed text replaces the working-folder root as typed, and the
// prompt counts as open (PromptDepth) for as long as it is up, so that the
// main thread can hide the splash window meanwhile.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/run_sequence.h"
#include "log/log.h"

namespace lantern {

// Shows the prompt with `caption` and the current root preselected; the text
// confirmed with OK, or nothing when the user cancelled.
using AskForFolder =
    std::function<std::optional<std::wstring>(const std::wstring& caption, const std::wstring& current_root)>;

// Told each time the prompt opens or closes (PromptDepth changed).
using PromptDepthChanged = std::function<void()>;

// S_OK when the user confirmed a text, which then replaces `root`; E_FAIL when
// the run is silent or the user cancelled, `root` unchanged.
ResultCode PromptForWorkingFolderRoot(RunFields& run, std::wstring& root, const std::wstring& product,
                                      DiagnosticLog& log, const AskForFolder& ask,
                                      const PromptDepthChanged& depth_changed = {});

}  // namespace lantern
