#include "app/lantern_app_win32.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "framework/system_dlls_win32.h"
#include "log/log.h"

namespace lantern {

namespace {

void InitCommonControls95() {
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static const auto init = SystemFunction<InitCommonControlsExFn>(L"comctl32.dll", "InitCommonControlsEx");
  if (!init) return;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  init(&controls);
}

// PLACEHOLDER until the command-line options arrive: only "log <path>" is
// read, so that a run's lines reach a file.
void OpenLogFromCommandLine() {
  int count = 0;
  LPWSTR* tokens = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!tokens) return;
  for (int i = 1; i + 1 < count; ++i) {
    if (lstrcmpiW(tokens[i], L"log") != 0) continue;
    wchar_t full[MAX_PATH + 1];
    const DWORD length = GetFullPathNameW(tokens[i + 1], MAX_PATH + 1, full, nullptr);
    if (length == 0 || length > MAX_PATH) break;
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, full, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) break;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, full, -1, ansi.data(), bytes, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(bytes) - 1);
    OpenLogFile(ansi);
    break;
  }
  LocalFree(tokens);
}

}  // namespace

BOOL CLanternInstallerApp::InitInstance() {
  InitCommonControls95();
  CoInitialize(nullptr);
  OpenLogFromCommandLine();
  LogFormat(L"Started %ld\n", GetTickCount());
  return FALSE;
}

int CLanternInstallerApp::ExitInstance() {
  CWinApp::ExitInstance();
  if (WorkerResult != 0) FrontEndExitCode = WorkerResult;
  LogFormat(L"Ended %ld\n", GetTickCount());
  CloseLogFile();
  return FrontEndExitCode;
}

}  // namespace lantern
