// The drive-letter prompt's rule: in a silent run nobody is asked; otherwise
// the user's confirmed text replaces the working-folder root as typed, and the
// prompt counts as open (the run's prompt depth) for as long as it is up, so
// that the main thread can hide the splash window meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

// Shows the prompt with `caption` and the current root preselected; the text
// confirmed with OK, or nothing when the user cancelled.
using AskForFolder =
    std::function<std::optional<std::wstring>(const std::wstring& caption, const std::wstring& current_root)>;

// Told each time the prompt opens or closes (the prompt depth changed).
using PromptDepthChanged = std::function<void()>;

// S_OK when the user confirmed a text, which then replaces `root`; E_FAIL when
// the run is silent or the user cancelled, `root` unchanged.
// `prompt_depth` counts the bootstrapper's prompts open at the moment.
ResultCode PromptForWorkingFolderRoot(bool silent, std::atomic<std::int32_t>& prompt_depth,
                                      std::wstring& root, const std::wstring& product, DiagnosticLog& log,
                                      const AskForFolder& ask, const PromptDepthChanged& depth_changed = {});

}  // namespace lantern
