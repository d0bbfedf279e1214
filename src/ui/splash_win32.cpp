#include "ui/splash_win32.h"

#include "framework/app_win32.h"
#include "ui/resource_ids.h"

namespace lantern {

// A shared icon: the system owns it.
CSplashDlg::CSplashDlg()
    : CDialog(IDD_LANTERN_SPLASH),
      AppIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_LANTERN_APP))) {}

BOOL CSplashDlg::Create() { return CDialog::Create(IDD_LANTERN_SPLASH, nullptr); }

BOOL CSplashDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon));
  return TRUE;
}

}  // namespace lantern
