// The window object the framework's classes share: a handle, and for controls
// that need their own behaviour, a window procedure put in front of the
// control's own (subclassing).
#pragma once

#include <windows.h>

#include <string>

namespace lantern {

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd();

  HWND GetSafeHwnd() const { return m_hWnd; }
  virtual BOOL DestroyWindow();

  // Puts this object's WindowProc in front of an existing window's procedure
  // until the window is destroyed. The object must outlive the window or
  // destroy it first.
  BOOL SubclassWindow(HWND window);
  BOOL SubclassDlgItem(UINT id, const CWnd& parent);
  // Gives the window its own procedure back.
  HWND UnsubclassWindow();

  // A message the parent reflects to the control it concerns (such as the
  // colour messages). TRUE when handled, with the answer in `result`.
  virtual BOOL OnChildNotify(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  std::wstring GetWindowText() const;
  void SetWindowText(const std::wstring& text) const;
  BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }

  HWND m_hWnd = nullptr;

 protected:
  // A subclassed window's messages. The default hands them to the window's
  // own procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam);
  // Called once the window is subclassed, for a control to set itself up.
  virtual void PreSubclassWindow() {}

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  WNDPROC original_proc_ = nullptr;
};

}  // namespace lantern
