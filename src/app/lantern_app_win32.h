// The bootstrapper's application object: the program's one process-wide
// object, which the framework starts. It makes the log, the string table, the
// working folder and the parts of the system once, hands them to the steps of
// the run, and turns the run's state into the exit code.
#pragma once

#include <windows.h>

#include "app/run_sequence.h"
#include "app/run_steps_win32.h"
#include "framework/app_win32.h"
#include "framework/system_dlls_win32.h"
#include "log/log.h"
#include "ui/web_page.h"

namespace lantern {

class CLanternInstallerApp : public CWinApp {
 public:
  CLanternInstallerApp() = default;

  BOOL InitInstance() override;
  int ExitInstance() override;

 protected:
  // The steps a run performs. A test program's application object can put
  // steps of its own in front of the system's, to reach a case the machine
  // cannot produce.
  virtual RunSteps& StepsFor(Win32RunSteps& system_steps) { return system_steps; }
  // How the help page and a notice's link open, likewise.
  virtual WebPageSystem& WebPagesFor(WebPageSystem& system) { return system; }
  // Whether DLL loading is kept to the system folder, likewise.
  virtual bool DllSearchIsRestricted() { return IsDllSearchRestricted(); }

  DiagnosticLog& Log() { return log_; }

 private:
  // Composes the run from the system's parts and runs the main sequence.
  void ComposeAndRun();

  PlatformLogSystem log_system_;
  DiagnosticLog log_{log_system_};
  RunState run_;
};

}  // namespace lantern
