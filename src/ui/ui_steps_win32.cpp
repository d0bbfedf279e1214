#include "ui/ui_steps_win32.h"

#include "core/config_strings.h"
#include "log/log.h"
#include "ui/folder_prompt.h"
#include "ui/notice_dialog_win32.h"
#include "ui/temp_folder_dialog_win32.h"
#include "ui/web_page_win32.h"

namespace lantern {

namespace {

// Destroying the main window posts a quit request. Left in the queue it would
// end the next modal loop at once, so whatever dialog follows the question
// (the refusal's failure notice included) would vanish as it opens.
void DispatchWaitingMessagesDroppingQuit() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

bool AskToContinue(CWinApp& app, const std::wstring& heading, const std::wstring& message) {
  Win32WebPageSystem pages(BuildStringTable());
  CLanternInstallerDlg dialog(true, BuildStringTable(), TheLog(), pages);
  dialog.HeadingText = heading;
  dialog.MessageText = message;
  app.m_pMainWnd = &dialog;
  const INT_PTR answer = dialog.DoModal();
  DispatchWaitingMessagesDroppingQuit();
  app.m_pMainWnd = nullptr;
  return answer == IDOK;
}

void ShowFailureNotice(CWinApp& app, const FailureNotice& notice, WebPageSystem& pages) {
  CLanternInstallerDlg dialog(false, BuildStringTable(), TheLog(), pages);
  dialog.MessageText = notice.message;
  dialog.LinkText = notice.link;
  app.m_pMainWnd = &dialog;
  dialog.DoModal();
  // The dialog object ends here; the application must not keep pointing at it.
  app.m_pMainWnd = nullptr;
}

void ReportFailure(CWinApp& app, const RunFields& run, ResultCode code, WebPageSystem& pages) {
  lantern::ReportFailure(
      BuildStringTable(), code, run, app.m_lpCmdLine ? app.m_lpCmdLine : L"", TheLog(),
      [&app, &pages](const FailureNotice& notice) { ShowFailureNotice(app, notice, pages); });
}

ResultCode PromptForWorkingFolderRoot(CWinApp& app, RunFields& run, std::wstring& root) {
  const DWORD main_thread = app.m_nThreadID;
  return lantern::PromptForWorkingFolderRoot(
      run, root, LoadConfigString(cfg::ProductName), TheLog(),
      [](const std::wstring& caption, const std::wstring& current) -> std::optional<std::wstring> {
        CTempFolderDialog dialog(caption);
        dialog.FolderText = current;
        if (dialog.DoModal() != IDOK) return std::nullopt;
        return dialog.FolderText;
      },
      // The main thread's wait wakes for input only; an empty message is enough.
      [main_thread] {
        if (main_thread) PostThreadMessageW(main_thread, WM_NULL, 0, 0);
      });
}

}  // namespace lantern
