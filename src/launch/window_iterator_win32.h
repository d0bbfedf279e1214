// Collects top-level windows, so that the launch can see when the front end
// shows its first visible window.
#pragma once

#include <windows.h>

#include <memory>

namespace lantern {

class CWindowIterator {
 public:
  explicit CWindowIterator(DWORD capacity);
  virtual ~CWindowIterator() = default;
  CWindowIterator(const CWindowIterator&) = delete;
  CWindowIterator& operator=(const CWindowIterator&) = delete;

  // Called for every top-level window; keeps the ones the filter accepts
  // while there is room. Never stops the enumeration.
  virtual BOOL CollectWindow(HWND window);
  // The filter: here, every window.
  virtual BOOL MatchesWindow(HWND window);

  // The first collected window, or null.
  HWND FirstWindow();
  DWORD Count() const { return count_; }

 protected:
  // Enumerates all top-level windows into the list.
  void Collect();

 private:
  std::unique_ptr<HWND[]> windows_;
  DWORD capacity_ = 0;
  DWORD count_ = 0;
  DWORD cursor_ = 0;
};

// The top-level windows of one process, visible ones only when asked.
class CMainWindowIterator : public CWindowIterator {
 public:
  CMainWindowIterator(DWORD process_id, BOOL visible_only, DWORD capacity);
  BOOL MatchesWindow(HWND window) override;

 private:
  DWORD process_id_;
  BOOL visible_only_;
};

// True when the process has no visible top-level window.
bool HasNoVisibleWindow(DWORD process_id);

}  // namespace lantern
