// The notice dialog: the one dialog that tells the user something went wrong.
// The question form asks whether to go on (Yes/No); the error form shows a
// failure with one Cancel button and, for some failures, a download link.
#pragma once

#include <string>

#include "framework/dialog_win32.h"
#include "ui/static_controls_win32.h"

namespace lantern {

class CLanternInstallerDlg : public CDialog {
 public:
  explicit CLanternInstallerDlg(bool question_form);

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
};

}  // namespace lantern
