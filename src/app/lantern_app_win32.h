// The bootstrapper's application object: it owns a run from start to end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "framework/app_win32.h"
#include "framework/system_dlls_win32.h"
#include "ui/web_page.h"

namespace lantern {

class CLanternInstallerApp : public CWinApp, public RunFields {
 public:
  CLanternInstallerApp() = default;
  ~CLanternInstallerApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  // The worker thread's entry; the argument is the application object.
  static DWORD WINAPI WorkerThreadProc(LPVOID application);

  HANDLE WorkerDoneEvent = nullptr;
  HANDLE FrontEndShownEvent = nullptr;

 protected:
  // The steps a run performs. A test program's application object can put
  // steps of its own in front of the system's, to reach a case the machine
  // cannot produce.
  virtual RunSteps& StepsFor(RunSteps& system_steps) { return system_steps; }
  // How the help page and a notice's link open, likewise.
  virtual WebPageSystem& WebPagesFor(WebPageSystem& system) { return system; }
  // Whether DLL loading is kept to the system folder, likewise.
  virtual bool DllSearchIsRestricted() { return IsDllSearchRestricted(); }

 private:
  friend class Win32RunSteps;
  // The argument tokens of the command line, without the program.
  std::vector<std::wstring> tokens_;
  RunSteps* steps_ = nullptr;
};

// The main thread's wait for the worker: pumps messages, hides and shows the
// splash window as the worker's prompts open and close, ends the splash when
// the front end shows a window, and returns when the worker is done.
int WaitForWorker(const HANDLE handles[2], CLanternInstallerApp& application, CWnd* splash);

}  // namespace lantern
