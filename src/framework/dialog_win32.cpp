#include "framework/dialog_win32.h"

#include "framework/app_win32.h"

namespace lantern {

namespace {

// Messages whose answer is the dialog procedure's return value itself rather
// than DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_INITDIALOG ||
         message == WM_QUERYDRAGICON || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
         message == WM_CHARTOITEM;
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, std::wstring& value) {
  const HWND control = GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (!control) return;
  if (dx->m_bSaveAndValidate) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    value = text;
  } else {
    SetWindowTextW(control, value.c_str());
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd) return;
  if (control.SubclassDlgItem(static_cast<UINT>(id), *dx->m_pDlgWnd)) dx->m_pDlgWnd->AddControl(control);
}

CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  return DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(template_id_),
                         parent_ ? parent_->m_hWnd : nullptr, &CDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT template_id, CWnd* parent) {
  template_id_ = template_id;
  parent_ = parent;
  CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(template_id_),
                     parent_ ? parent_->m_hWnd : nullptr, &CDialog::DialogProc,
                     reinterpret_cast<LPARAM>(this));
  return m_hWnd != nullptr;
}

BOOL CDialog::EndDialog(int result) { return m_hWnd && ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL save_and_validate) {
  if (!m_hWnd) return FALSE;
  CDataExchange dx(*this, save_and_validate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnDialogMessage(UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }

HWND CDialog::OwnerWindow() const { return m_hWnd ? GetWindow(m_hWnd, GW_OWNER) : nullptr; }

// Over the owner, or in the middle of the screen's work area, kept on it.
void CDialog::CentreWindow() const {
  RECT window{};
  GetWindowRect(m_hWnd, &window);
  const HWND owner = OwnerWindow();
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT around = area;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG left = around.left + (around.right - around.left - width) / 2;
  LONG top = around.top + (around.bottom - around.top - height) / 2;
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, lparam);
    dialog->m_hWnd = window;
    dialog->CentreWindow();
    return dialog->OnInitDialog();
  }
  auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!dialog || dialog->m_hWnd != window) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    dialog->m_hWnd = nullptr;
    dialog->controls_.clear();
    // The application's main window going ends the application's message loop.
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == dialog) PostQuitMessage(0);
    return FALSE;
  }
  return dialog->HandleMessage(message, wparam, lparam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  BOOL handled = FALSE;
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    for (CWnd* control : controls_) {
      if (control->m_hWnd == reinterpret_cast<HWND>(lparam)) {
        handled = control->OnChildNotify(message, wparam, lparam, &result);
        break;
      }
    }
  }
  if (!handled && message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    if (LOWORD(wparam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wparam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  if (!handled) handled = OnDialogMessage(message, wparam, lparam, result);
  if (!handled) return FALSE;
  if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace lantern
