// Drives the windows of a program under test from outside, as a user would:
// finds its top-level windows, reads its controls' texts, presses buttons,
// and saves screenshots of the display for a person to look at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lantern::e2e {

// A program started for a GUI test: terminated if it is still running when
// the test ends, so that a dialog nobody dismisses cannot outlive the test.
class GuiProgram {
 public:
  // `script` goes to the program as LANTERN_UI_SCRIPT (empty: none).
  explicit GuiProgram(const std::wstring& command_line, const std::wstring& script = L"");
  ~GuiProgram();
  GuiProgram(const GuiProgram&) = delete;
  GuiProgram& operator=(const GuiProgram&) = delete;

  DWORD pid() const { return pid_; }
  bool Running() const;
  // Waits up to `timeout_ms` for the program to end; its exit code, or
  // nothing when it is still running.
  std::optional<std::uint32_t> WaitForExit(DWORD timeout_ms = 60000) const;

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// The first top-level window of `pid` that `accept` takes, waiting up to
// `timeout_ms` for one; null when none came. Hidden windows count only when
// `visible_only` is false.
HWND WaitForWindow(DWORD pid, const std::function<bool(HWND)>& accept, bool visible_only = true,
                   DWORD timeout_ms = 30000);
// A visible dialog box (#32770) of `pid` whose caption is `caption`.
HWND WaitForDialog(DWORD pid, const std::wstring& caption, DWORD timeout_ms = 30000);
// Waits until `condition` holds, up to `timeout_ms`.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = 30000);

std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
LONG WindowStyle(HWND window);
bool IsDialogBox(HWND window);
// Presses a dialog's button (BM_CLICK) without waiting for what it starts.
void Click(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::wstring& text);

// Saves the whole display as <build>/tests/e2e/screenshots/<name>.png.
// False when the picture could not be taken.
bool Screenshot(const std::string& name);

// How many pixels of the picture in `bmp_file` (as the system reads it)
// differ from what the display shows of it in the static control `control`:
// at the control's top left corner, or in its middle for SS_CENTERIMAGE;
// only the part that the control shows is compared. Nothing when the file
// cannot be read, the display not captured, or the control shows none of it.
std::optional<long> PictureDifference(HWND control, const std::wstring& bmp_file);

}  // namespace lantern::e2e
