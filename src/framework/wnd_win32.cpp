#include "framework/wnd_win32.h"

namespace lantern {

CWnd::~CWnd() { UnsubclassWindow(); }

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  const HWND window = m_hWnd;
  const BOOL destroyed = ::DestroyWindow(window);
  m_hWnd = nullptr;
  return destroyed;
}

BOOL CWnd::SubclassWindow(HWND window) {
  if (!window || m_hWnd || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return FALSE;
  // Standard controls leave their user data to the application; ours points
  // back to the object.
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
  if (!original_proc_) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return FALSE;
  }
  m_hWnd = window;
  PreSubclassWindow();
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, const CWnd& parent) {
  return SubclassWindow(GetDlgItem(parent.m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd || !original_proc_) return nullptr;
  const HWND window = m_hWnd;
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_proc_));
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  original_proc_ = nullptr;
  m_hWnd = nullptr;
  return window;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

std::wstring CWnd::GetWindowText() const {
  const int length = GetWindowTextLengthW(m_hWnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(m_hWnd, text.data(), length + 1)));
  return text;
}

void CWnd::SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }

LRESULT CWnd::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
  return Default(message, wparam, lparam);
}

LRESULT CWnd::Default(UINT message, WPARAM wparam, LPARAM lparam) {
  return original_proc_ ? CallWindowProcW(original_proc_, m_hWnd, message, wparam, lparam)
                        : DefWindowProcW(m_hWnd, message, wparam, lparam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->m_hWnd != window) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The window goes: give it back its own procedure for its last message.
    const WNDPROC original = self->original_proc_;
    self->UnsubclassWindow();
    return CallWindowProcW(original, window, message, wparam, lparam);
  }
  return self->WindowProc(message, wparam, lparam);
}

}  // namespace lantern
