// The notice dialog: the one dialog that tells the user something went wrong.
// The question form asks whether to go on (Yes/No); the error form shows a
// failure with one Cancel button and, for some failures, a download link.
#pragma once

#include <string>

#include "core/config_strings.h"
#include "framework/dialog_win32.h"
#include "log/log.h"
#include "ui/static_controls_win32.h"
#include "ui/web_page.h"

namespace lantern {

class CLanternInstallerDlg : public CDialog {
 public:
  // The texts come from `strings`; the link opens its page through `pages`
  // and logs how to `log`.
  CLanternInstallerDlg(bool question_form, const StringTable& strings, DiagnosticLog& log,
                       WebPageSystem& pages);

  HICON AppIcon;
  CStaticEx HeadingControl;
  CStaticLink LinkControl;
  CButton OkButton;
  CButton CancelButton;
  bool QuestionForm;
  std::wstring MessageText;
  std::wstring HeadingText = L"Error";
  std::wstring LinkText;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnDialogMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

 private:
  void PaintMinimised();

  const StringTable& strings_;
};

}  // namespace lantern
