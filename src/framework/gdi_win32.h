// GDI objects and device contexts owned by one object each, released once.
#pragma once

#include <windows.h>

namespace lantern {

// A font the program made; deleted with its owner.
class CFont {
 public:
  CFont() = default;
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;
  ~CFont() { DeleteObject(); }

  BOOL CreateFontIndirect(const LOGFONTW& font) {
    DeleteObject();
    m_hObject = ::CreateFontIndirectW(&font);
    return m_hObject != nullptr;
  }
  void DeleteObject() {
    if (m_hObject) ::DeleteObject(m_hObject);
    m_hObject = nullptr;
  }
  HFONT GetSafeHandle() const { return m_hObject; }

 private:
  HFONT m_hObject = nullptr;
};

// A window's client-area device context, released when it goes.
class CClientDC {
 public:
  explicit CClientDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  CClientDC(const CClientDC&) = delete;
  CClientDC& operator=(const CClientDC&) = delete;
  ~CClientDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A device context for WM_PAINT, ended when it goes.
class CPaintDC {
 public:
  explicit CPaintDC(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  ~CPaintDC() { EndPaint(window_, &paint_); }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// An object selected into a device context for as long as this lives.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace lantern
