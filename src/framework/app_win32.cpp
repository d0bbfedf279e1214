#include "framework/app_win32.h"

namespace lantern {

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  exit_code_ = got == 0 ? static_cast<int>(message.wParam) : 0;
  return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleW(nullptr);
}

int AfxWinMain(HINSTANCE instance, const wchar_t* command_line) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  app->m_nThreadID = GetCurrentThreadId();
  app->m_lpCmdLine = command_line ? command_line : L"";
  if (app->InitInstance()) return app->Run();
  if (app->m_pMainWnd) {
    app->m_pMainWnd->DestroyWindow();
    app->m_pMainWnd = nullptr;
  }
  return app->ExitInstance();
}

}  // namespace lantern
