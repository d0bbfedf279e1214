#include "gui_driver.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "e2e_support.h"
#include "ui_paths.h"

namespace lantern::e2e {

namespace {

struct WindowSearch {
  DWORD pid;
  bool visible_only;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search.pid && (!search.visible_only || IsWindowVisible(window)))
    search.found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid, bool visible_only) {
  WindowSearch search{pid, visible_only, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

GuiProgram::GuiProgram(const std::wstring& command_line, const std::wstring& script) {
  SetEnvironmentVariableW(L"LANTERN_UI_SCRIPT", script.empty() ? nullptr : script.c_str());
  std::wstring buffer = command_line;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
  SetEnvironmentVariableW(L"LANTERN_UI_SCRIPT", nullptr);
  if (!started) throw std::runtime_error("cannot start the program under test");
  CloseHandle(process.hThread);
  process_ = process.hProcess;
  pid_ = process.dwProcessId;
}

GuiProgram::~GuiProgram() {
  if (Running()) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

bool GuiProgram::Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<std::uint32_t> GuiProgram::WaitForExit(DWORD timeout_ms) const {
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG until = GetTickCount64() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= until) return false;
    Sleep(50);
  }
}

HWND WaitForWindow(DWORD pid, const std::function<bool(HWND)>& accept, bool visible_only, DWORD timeout_ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : TopLevelWindows(pid, visible_only)) {
          if (accept(window)) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

bool IsDialogBox(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return std::wstring(name) == L"#32770";
}

HWND WaitForDialog(DWORD pid, const std::wstring& caption, DWORD timeout_ms) {
  return WaitForWindow(
      pid, [&](HWND window) { return IsDialogBox(window) && WindowText(window) == caption; }, true,
      timeout_ms);
}

std::wstring WindowText(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000,
                      &length);
  return std::wstring(text, static_cast<size_t>(length));
}

std::wstring ControlText(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  return control ? WindowText(control) : L"<no control " + std::to_wstring(id) + L">";
}

bool ControlVisible(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  return control && IsWindowVisible(control);
}

LONG WindowStyle(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

void Click(HWND dialog, int id) {
  // Posted: the click may end a modal loop, and nothing here waits on it.
  if (const HWND button = GetDlgItem(dialog, id)) PostMessageW(button, BM_CLICK, 0, 0);
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 10000, &ignored);
}

bool Screenshot(const std::string& name) {
  // Wine starts a Unix program for a Unix path, but its process handle does
  // not tell when that program ends: the picture is written under another
  // name and moved into place, and the test waits for it to appear.
  const std::string folder = LANTERN_SCREENSHOT_DIR;
  const std::string final_path = folder + "/" + name + ".png";
  const std::wstring final_file = HostPath(final_path.c_str());
  std::filesystem::create_directories(std::filesystem::path(HostPath(folder.c_str())));
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(final_file), ignored);
  const std::string script = "import -window root '" + final_path + ".part.png' && mv '" + final_path +
                             ".part.png' '" + final_path + "'";
  std::wstring command = L"/bin/sh -c \"";
  for (char c : script) command += static_cast<wchar_t>(static_cast<unsigned char>(c));
  command += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return WaitUntil([&] { return std::filesystem::exists(std::filesystem::path(final_file)); }, 20000);
}

namespace {

// The pixels of `bitmap` (width x height) as 32-bit colours, top row first.
std::vector<DWORD> Pixels(HDC dc, HBITMAP bitmap, LONG width, LONG height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) != height) {
    pixels.clear();
  }
  for (DWORD& pixel : pixels) pixel &= 0xFFFFFFu;
  return pixels;
}

}  // namespace

std::optional<long> PictureDifference(HWND control, const std::wstring& bmp_file) {
  const HBITMAP picture = static_cast<HBITMAP>(
      LoadImageW(nullptr, bmp_file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!picture) return std::nullopt;
  BITMAP shape{};
  GetObjectW(picture, sizeof(shape), &shape);
  RECT client{};
  GetClientRect(control, &client);
  POINT origin{0, 0};
  ClientToScreen(control, &origin);
  const LONG width = client.right, height = client.bottom;

  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP shot = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = SelectObject(memory, shot);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY) != FALSE;
  SelectObject(memory, old);
  const std::vector<DWORD> shown = Pixels(memory, shot, width, height);
  const std::vector<DWORD> drawn = Pixels(memory, picture, shape.bmWidth, shape.bmHeight);
  DeleteObject(shot);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || shown.empty() || drawn.empty()) return std::nullopt;

  const bool centred = (WindowStyle(control) & SS_CENTERIMAGE) != 0;
  const LONG left = centred ? (width - shape.bmWidth) / 2 : 0;
  const LONG top = centred ? (height - shape.bmHeight) / 2 : 0;
  long differing = 0, compared = 0;
  for (LONG y = 0; y < shape.bmHeight; ++y) {
    for (LONG x = 0; x < shape.bmWidth; ++x) {
      const LONG sx = x + left, sy = y + top;
      if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
      ++compared;
      if (shown[static_cast<size_t>(sy) * width + sx] != drawn[static_cast<size_t>(y) * shape.bmWidth + x]) {
        ++differing;
      }
    }
  }
  if (compared == 0) return std::nullopt;  // the control shows none of it
  return differing;
}

}  // namespace lantern::e2e
