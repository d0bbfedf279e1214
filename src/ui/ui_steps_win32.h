// The run's steps that talk to the user: the signature question, the failure
// notice and the drive-letter prompt.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/config_strings.h"
#include "core/result_codes.h"
#include "framework/app_win32.h"
#include "log/log.h"
#include "ui/failure_notice.h"
#include "ui/web_page.h"

namespace lantern {

// What the notice dialog uses: the product's texts, the log, and how its
// links open.
struct NoticeParts {
  const StringTable& strings;
  DiagnosticLog& log;
  WebPageSystem& pages;
};

// The notice dialog's question form, as the application's main window for as
// long as it is up. True when the user answered Yes.
bool AskToContinue(CWinApp& app, const NoticeParts& parts, const std::wstring& heading,
                   const std::wstring& message);

// The notice dialog's error form with the failure's message and link, as the
// application's main window; returns when the user dismissed it.
void ShowFailureNotice(CWinApp& app, const NoticeParts& parts, const FailureNotice& notice);

// The drive-letter prompt on the worker thread, captioned with the product's
// name: S_OK with the new root, or E_FAIL (silent run, or cancelled) with the
// root unchanged. The main thread is woken as it opens and closes, so that
// the splash window follows at once.
ResultCode PromptForWorkingFolderRoot(CWinApp& app, bool silent, std::atomic<std::int32_t>& prompt_depth,
                                      std::wstring& root, const std::wstring& product, DiagnosticLog& log);

}  // namespace lantern
