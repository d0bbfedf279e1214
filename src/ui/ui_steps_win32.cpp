#include "ui/ui_steps_win32.h"

#include "ui/folder_prompt.h"
#include "ui/notice_dialog_win32.h"
#include "ui/temp_folder_dialog_win32.h"

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

bool AskToContinue(CWinApp& app, const NoticeParts& parts, const std::wstring& heading,
                   const std::wstring& message) {
  CLanternInstallerDlg dialog(true, parts.strings, parts.log, parts.pages);
  dialog.HeadingText = heading;
  dialog.MessageText = message;
  app.m_pMainWnd = &dialog;
  const INT_PTR answer = dialog.DoModal();
  DispatchWaitingMessagesDroppingQuit();
  app.m_pMainWnd = nullptr;
  return answer == IDOK;
}

void ShowFailureNotice(CWinApp& app, const NoticeParts& parts, const FailureNotice& notice) {
  CLanternInstallerDlg dialog(false, parts.strings, parts.log, parts.pages);
  dialog.MessageText = notice.message;
  dialog.LinkText = notice.link;
  app.m_pMainWnd = &dialog;
  dialog.DoModal();
  // The dialog object ends here; the application must not keep pointing at it.
  app.m_pMainWnd = nullptr;
}

ResultCode PromptForWorkingFolderRoot(CWinApp& app, bool silent, std::atomic<std::int32_t>& prompt_depth,
                                      std::wstring& root, const std::wstring& product, DiagnosticLog& log) {
  const DWORD main_thread = app.m_nThreadID;
  return lantern::PromptForWorkingFolderRoot(
      silent, prompt_depth, root, product, log,
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
