// The bootstrapper's application object: it owns a run from start to end.
#pragma once

#include <cstdint>

#include "framework/app_win32.h"

namespace lantern {

class CLanternInstallerApp : public CWinApp {
 public:
  CLanternInstallerApp() = default;
  ~CLanternInstallerApp() override = default;

  BOOL InitInstance() override;
  int ExitInstance() override;

  std::int32_t WorkerResult = 0;
  std::int32_t FrontEndExitCode = 0;
};

}  // namespace lantern
