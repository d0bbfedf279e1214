// Dialogs from templates in the program's resources: modal and modeless,
// with data exchange between fields and controls, and controls that are
// reflected the colour messages their parent receives. The dialog procedure
// finds its object through GWLP_USERDATA, set at WM_INITDIALOG and cleared at
// WM_NCDESTROY.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/wnd_win32.h"

namespace lantern {

class CDialog;

// One data exchange: towards the controls, or back into the fields.
class CDataExchange {
 public:
  CDataExchange(CDialog& dialog, BOOL save_and_validate)
      : m_pDlgWnd(&dialog), m_bSaveAndValidate(save_and_validate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// A field's text with a control's text.
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// Attaches a control object to a control of the dialog, once.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT template_id, CWnd* parent = nullptr) : template_id_(template_id), parent_(parent) {}
  ~CDialog() override;

  // Runs the dialog modally: IDOK, IDCANCEL or the value given to EndDialog;
  // -1 when the window could not be made.
  virtual INT_PTR DoModal();
  // Makes the window modeless; TRUE when it exists.
  BOOL Create(UINT template_id, CWnd* parent = nullptr);
  // Ends the dialog: a modal run returns `result`; a modeless window leaves
  // the screen.
  BOOL EndDialog(int result);
  // Data exchange: FALSE fills the controls, TRUE reads them back.
  BOOL UpdateData(BOOL save_and_validate = TRUE);

  // The controls attached by data exchange, to which colour messages are reflected.
  void AddControl(CWnd& control) { controls_.push_back(&control); }

 protected:
  // The framework's initialisation fills the controls; TRUE lets the system
  // give the focus to the first control that takes it.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* dx);
  // Control 1: reads the controls back, then ends with IDOK.
  virtual void OnOK();
  // Control 2, Escape or the close box: ends with IDCANCEL.
  virtual void OnCancel();
  // The dialog's own messages. TRUE when handled, with the answer in
  // `result`; FALSE leaves the message to the system's dialog handling.
  virtual BOOL OnDialogMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

  HWND OwnerWindow() const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CentreWindow() const;

  UINT template_id_;
  CWnd* parent_;
  std::vector<CWnd*> controls_;
};

// Plain controls, attached to a dialog's controls by data exchange.
class CStatic : public CWnd {};
class CButton : public CWnd {};
class CEdit : public CWnd {};

}  // namespace lantern
