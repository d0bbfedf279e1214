// Waits until the desktop shell can open things for other programs. Under
// Wine the shell starts with a session's first window and registers its shell
// windows a moment later; on a fresh prefix a test that opens something
// through it would otherwise race that start and meet the fallback instead.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <exdisp.h>
#include <shlobj.h>

#include <chrono>
#include <thread>

namespace lantern::testing_support {

// One attempt, on a thread and in an apartment of its own: a process whose
// first request found no shell keeps failing in the apartment that made it.
inline bool DesktopShellAnswers() {
  bool reached = false;
  std::thread([&reached] {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellWindows* windows = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                   reinterpret_cast<void**>(&windows))) &&
        windows) {
      VARIANT location{};
      location.vt = VT_I4;
      location.lVal = CSIDL_DESKTOP;
      VARIANT root{};
      root.vt = VT_EMPTY;
      long window = 0;
      IDispatch* desktop = nullptr;
      reached = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) ==
                    S_OK &&
                desktop;
      if (desktop) desktop->Release();
      windows->Release();
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
  }).join();
  return reached;
}

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
