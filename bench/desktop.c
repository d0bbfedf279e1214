/* Holds one hidden window open for as long as it runs. Wine starts its
   desktop process with a session's first window and ends it a moment after
   the last one closes, so without this each program the benchmark starts
   that opens a window would also pay for starting the desktop: Windows
   always has one. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  MSG message;
  (void)previous;
  (void)command_line;
  (void)show;
  if (!CreateWindowA("STATIC", "bench desktop", WS_POPUP, 0, 0, 1, 1, NULL, NULL, instance, NULL)) return 1;
  while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
