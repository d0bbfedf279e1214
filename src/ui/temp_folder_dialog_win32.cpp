#include "ui/temp_folder_dialog_win32.h"

#include "ui/resource_ids.h"

namespace lantern {

CTempFolderDialog::CTempFolderDialog(const std::wstring& caption)
    : CDialog(IDD_LANTERN_FOLDER_PROMPT), Caption(caption) {}

void CTempFolderDialog::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_PROMPT_FOLDER, FolderText);
  DDX_Control(dx, IDC_PROMPT_FOLDER, FolderEdit);
}

BOOL CTempFolderDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(Caption);
  SetFocus(FolderEdit.m_hWnd);
  SendMessageW(FolderEdit.m_hWnd, EM_SETSEL, 0, -1);
  SendMessageW(FolderEdit.m_hWnd, EM_SCROLLCARET, 0, 0);
  return FALSE;  // the focus is set already
}

}  // namespace lantern
