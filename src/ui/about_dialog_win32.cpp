#include "ui/about_dialog_win32.h"

#include "ui/about_info.h"
#include "ui/resource_ids.h"

namespace lantern {

CAboutDlg::CAboutDlg(const StringTable& strings, CWnd* owner)
    : CDialog(IDD_LANTERN_ABOUT, owner), strings_(strings) {}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const HWND version_line = GetDlgItem(m_hWnd, IDC_ABOUT_VERSION);
  const std::wstring product = LoadConfigString(strings_, cfg::ProductName);

  std::wstring text;
  FormatConfigString(strings_, cfg::AboutTitle, text, product);
  SetWindowText(text);

  const auto& version = kLanternAboutInfo.version;
  if (version_line) {
    FormatConfigString(strings_, cfg::AboutVersion, text, product, unsigned{version[0]}, unsigned{version[1]},
                       unsigned{version[2]}, unsigned{version[3]});
    ::SetWindowTextW(version_line, text.c_str());
  }
  // The copyright line would otherwise keep the template's placeholder text.
  if (const HWND copyright_line = GetDlgItem(m_hWnd, IDC_ABOUT_COPYRIGHT)) {
    ::SetWindowTextW(copyright_line, kLanternAboutInfo.copyright ? kLanternAboutInfo.copyright : L"");
  }
  return TRUE;
}

}  // namespace lantern
