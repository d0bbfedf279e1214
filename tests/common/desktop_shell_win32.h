// Waits until the desktop shell can open things for other programs: under
// Wine the shell starts with a session's first window and answers a moment
// later, and a test that opens something through it must not race that start.
#pragma once

#include <windows.h>

#include <chrono>

#include "ui/web_page_win32.h"

namespace lantern::testing_support {

inline bool WaitForDesktopShell(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  GetDesktopWindow();  // starts the desktop shell when none runs yet
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!DesktopShellAnswers()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    Sleep(200);
  }
  return true;
}

}  // namespace lantern::testing_support
