#include "ui/notice_dialog_win32.h"

#include "framework/app_win32.h"
#include "ui/about_dialog_win32.h"
#include "ui/resource_ids.h"

namespace lantern {

// Icons loaded with LoadIcon are shared by the system and never destroyed.
CLanternInstallerDlg::CLanternInstallerDlg(bool question_form, const StringTable& strings, DiagnosticLog& log,
                                           WebPageSystem& pages)
    : CDialog(IDD_LANTERN_NOTICE),
      AppIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_LANTERN_APP))),
      LinkControl(strings, log, pages),
      QuestionForm(question_form),
      strings_(strings) {}

void CLanternInstallerDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_NOTICE_HEADING, HeadingControl);
  DDX_Text(dx, IDC_NOTICE_MESSAGE, MessageText);
  DDX_Text(dx, IDC_NOTICE_HEADING, HeadingText);
  DDX_Control(dx, IDC_NOTICE_LINK, LinkControl);
  DDX_Text(dx, IDC_NOTICE_LINK, LinkText);
  DDX_Control(dx, IDOK, OkButton);
  DDX_Control(dx, IDCANCEL, CancelButton);
}

BOOL CLanternInstallerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const std::wstring product = LoadConfigString(strings_, cfg::ProductName);

  if (const HMENU system_menu = GetSystemMenu(m_hWnd, FALSE)) {
    std::wstring about;
    FormatConfigString(strings_, cfg::AboutMenu, about, product);
    if (!about.empty()) {
      AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(system_menu, MF_STRING, IDM_LANTERN_ABOUT, about.c_str());
    }
  }
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon));
  SetWindowText(product);

  if (QuestionForm) {
    OkButton.SetWindowText(L"Yes");
    CancelButton.SetWindowText(L"No");
  } else {
    OkButton.ShowWindow(SW_HIDE);
  }
  return TRUE;
}

BOOL CLanternInstallerDlg::OnDialogMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != IDM_LANTERN_ABOUT) return FALSE;
      {
        CAboutDlg about(strings_, this);
        about.DoModal();
      }
      result = 0;
      return TRUE;
    case WM_PAINT:
      if (!IsIconic(m_hWnd)) return FALSE;
      PaintMinimised();
      result = 0;
      return TRUE;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(AppIcon);
      return TRUE;
    default:
      return FALSE;
  }
}

void CLanternInstallerDlg::PaintMinimised() {
  const CPaintDC dc(m_hWnd);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc.get(), x, y, AppIcon);
}

}  // namespace lantern
