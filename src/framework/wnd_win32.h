// The smallest window object: a handle that the framework's classes share.
#pragma once

#include <windows.h>

namespace lantern {

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd() = default;

  HWND GetSafeHwnd() const { return m_hWnd; }
  virtual BOOL DestroyWindow() {
    if (!m_hWnd) return FALSE;
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return destroyed;
  }

  HWND m_hWnd = nullptr;
};

}  // namespace lantern
