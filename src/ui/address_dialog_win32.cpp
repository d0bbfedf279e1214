#include "ui/address_dialog_win32.h"

#include "ui/resource_ids.h"

namespace lantern {

CAddressDialog::CAddressDialog(const std::wstring& address, const StringTable& strings, CWnd* owner)
    : CDialog(IDD_LANTERN_ADDRESS, owner), address_(address), strings_(strings) {}

BOOL CAddressDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const std::wstring product = LoadConfigString(strings_, cfg::ProductName);
  if (!product.empty()) SetWindowText(product);
  const HWND box = GetDlgItem(m_hWnd, IDC_ADDRESS_TEXT);
  ::SetWindowTextW(box, address_.c_str());
  // Selected and focused: Ctrl+C copies it at once.
  SetFocus(box);
  SendMessageW(box, EM_SETSEL, 0, -1);
  return FALSE;  // the focus is set already
}

BOOL CAddressDialog::OnDialogMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
  if (message != WM_COMMAND || LOWORD(wparam) != IDC_ADDRESS_COPY || HIWORD(wparam) != BN_CLICKED)
    return FALSE;
  const HWND box = GetDlgItem(m_hWnd, IDC_ADDRESS_TEXT);
  SendMessageW(box, EM_SETSEL, 0, -1);
  SendMessageW(box, WM_COPY, 0, 0);
  SetFocus(box);
  result = 0;
  return TRUE;
}

}  // namespace lantern
