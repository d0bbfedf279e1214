// The bootstrapper's entry point and its one application object.
#include <windows.h>

#include "app/lantern_app_win32.h"
#include "framework/system_dlls_win32.h"

namespace {
lantern::CLanternInstallerApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  // Before anything can load a DLL.
  lantern::HardenDllSearchPath();
  return lantern::AfxWinMain(instance, command_line);
}
