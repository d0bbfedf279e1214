#include "launch/window_iterator_win32.h"

namespace lantern {

namespace {

BOOL CALLBACK CollectTopLevelWindow(HWND window, LPARAM iterator) {
  return reinterpret_cast<CWindowIterator*>(iterator)->CollectWindow(window);
}

// Room enough for every window of a desktop.
constexpr DWORD kWindowCapacity = 1024;

}  // namespace

CWindowIterator::CWindowIterator(DWORD capacity) : windows_(new HWND[capacity]), capacity_(capacity) {}

BOOL CWindowIterator::CollectWindow(HWND window) {
  if (MatchesWindow(window) && count_ < capacity_) windows_[count_++] = window;
  return TRUE;
}

BOOL CWindowIterator::MatchesWindow(HWND) { return TRUE; }

HWND CWindowIterator::FirstWindow() {
  cursor_ = 0;
  if (!windows_ || count_ == 0) return nullptr;
  return windows_[cursor_++];
}

void CWindowIterator::Collect() { EnumWindows(CollectTopLevelWindow, reinterpret_cast<LPARAM>(this)); }

CMainWindowIterator::CMainWindowIterator(DWORD process_id, BOOL visible_only, DWORD capacity)
    : CWindowIterator(capacity), process_id_(process_id), visible_only_(visible_only) {
  // Here, once the derived filter is in place.
  Collect();
}

BOOL CMainWindowIterator::MatchesWindow(HWND window) {
  if (visible_only_ && !(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)) return FALSE;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process_id_;
}

bool HasNoVisibleWindow(DWORD process_id) {
  CMainWindowIterator windows(process_id, TRUE, kWindowCapacity);
  return windows.FirstWindow() == nullptr;
}

}  // namespace lantern
