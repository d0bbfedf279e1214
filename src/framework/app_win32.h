// The application object and the program's start-up: the one application
// object's InitInstance runs once; when it returns FALSE the start-up ends the
// program at once with ExitInstance's value as the exit code.
#pragma once

#include <windows.h>

#include "framework/wnd_win32.h"

namespace lantern {

class CWinApp {
 public:
  CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();

  virtual BOOL InitInstance() { return TRUE; }
  // The process exit code. Here, the code of the message loop's quit request.
  virtual int ExitInstance() { return exit_code_; }
  // Pumps messages until a quit request arrives.
  virtual int Run();

  HINSTANCE m_hInstance = nullptr;
  // The main thread, on which the application object was started.
  DWORD m_nThreadID = 0;
  // The command line without the program's name, as the system gave it.
  const wchar_t* m_lpCmdLine = L"";
  // The window that stands for the application; destroying it ends the
  // application's message loop.
  CWnd* m_pMainWnd = nullptr;

 private:
  int exit_code_ = 0;
};

// The application object, or null before it is constructed.
CWinApp* AfxGetApp();

// The module whose resources (templates, pictures, icons) the windows use.
HINSTANCE AfxGetResourceHandle();

// The program's start-up, called by wWinMain after DLL loading has been made safe.
int AfxWinMain(HINSTANCE instance, const wchar_t* command_line);

}  // namespace lantern
