#include "ui/static_controls_win32.h"

#include "ui/web_page.h"

namespace lantern {

namespace {

// The hand cursor, shared by every link and loaded once; system cursors are
// shared and never destroyed.
HCURSOR LinkCursor = nullptr;

bool IsColourMessage(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

}  // namespace

CStaticEx::CStaticEx() {
  LOGFONTW font{};
  font.lfHeight = 14;
  font.lfWeight = FW_BOLD;
  lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
  CaptionFont.CreateFontIndirect(font);
}

// Some systems' statics select their own font after asking the parent for
// colours, so the control is also given the caption font as its own.
void CStaticEx::PreSubclassWindow() {
  if (CaptionFont.GetSafeHandle())
    SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(CaptionFont.GetSafeHandle()), FALSE);
}

// A control that outlives this object must not keep drawing with its font.
CStaticEx::~CStaticEx() {
  if (m_hWnd) SendMessageW(m_hWnd, WM_SETFONT, 0, FALSE);
}

BOOL CStaticEx::OnChildNotify(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  const BOOL handled = CStatic::OnChildNotify(message, wparam, lparam, result);
  if (message != WM_CTLCOLORSTATIC) return handled;
  const auto dc = reinterpret_cast<HDC>(wparam);
  // Left selected: the control draws its text with this context next.
  if (CaptionFont.GetSafeHandle()) SelectObject(dc, CaptionFont.GetSafeHandle());
  SetBkMode(dc, TRANSPARENT);
  *result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  return TRUE;
}

CStaticLink::CStaticLink(const StringTable& strings, DiagnosticLog& log, WebPageSystem& pages)
    : strings_(strings), log_(log), pages_(pages) {}

BOOL CStaticLink::OnChildNotify(UINT message, WPARAM wparam, LPARAM, LRESULT* result) {
  if (!IsColourMessage(message) || !IsTextStatic()) return FALSE;
  MakeLinkFont();
  const auto dc = reinterpret_cast<HDC>(wparam);
  if (LinkFont.GetSafeHandle()) SelectObject(dc, LinkFont.GetSafeHandle());
  SetTextColor(dc, LinkColour);
  SetBkMode(dc, TRANSPARENT);
  *result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  return TRUE;
}

CStaticLink::~CStaticLink() {
  if (m_hWnd && LinkFont.GetSafeHandle()) SendMessageW(m_hWnd, WM_SETFONT, 0, FALSE);
}

// Only text statics (left, centred, right) look like links.
bool CStaticLink::IsTextStatic() const {
  return (GetWindowLongW(m_hWnd, GWL_STYLE) & SS_TYPEMASK) <= SS_RIGHT;
}

// The control's own font, underlined; made once.
void CStaticLink::MakeLinkFont() {
  if (LinkFont.GetSafeHandle()) return;
  LOGFONTW font{};
  const auto current = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  if (!current || GetObjectW(current, sizeof(font), &font) != sizeof(font)) return;
  font.lfUnderline = 1;
  LinkFont.CreateFontIndirect(font);
}

// As for the caption: the underline must not depend on the order in which a
// static selects fonts and asks for colours.
void CStaticLink::PreSubclassWindow() {
  if (!IsTextStatic()) return;
  MakeLinkFont();
  if (LinkFont.GetSafeHandle())
    SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(LinkFont.GetSafeHandle()), FALSE);
}

// Links show only in dialogs, which a silent run never shows.
WebPageOutcome CStaticLink::Open(const std::wstring& target) {
  return OpenWebPage({target, L"open", SW_SHOWNORMAL}, false, pages_, log_);
}

bool CStaticLink::OpenLink() {
  WebPageOutcome outcome = Open(LinkTarget);
  if (outcome == WebPageOutcome::NotOpened) {
    if (auto entry = strings_.Find(static_cast<unsigned>(GetDlgCtrlID(m_hWnd)))) {
      LinkTarget = *entry;
      outcome = Open(LinkTarget);
    }
  }
  if (outcome == WebPageOutcome::NotOpened) {
    LinkTarget = GetWindowText();
    outcome = Open(LinkTarget);
  }
  // The user has the address to open; the link stays unvisited.
  if (outcome == WebPageOutcome::AddressShown) return false;
  if (outcome == WebPageOutcome::NotOpened) {
    MessageBeep(0);
    return false;
  }
  LinkColour = kVisited;
  InvalidateRect(m_hWnd, nullptr, TRUE);
  return true;
}

LRESULT CStaticLink::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_LBUTTONUP:
      OpenLink();
      return 0;
    case WM_SETCURSOR:
      if (!LinkCursor) LinkCursor = LoadCursorW(nullptr, IDC_HAND);
      if (!LinkCursor) return Default(message, wparam, lparam);
      SetCursor(LinkCursor);
      return TRUE;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS;
    case WM_CHAR:
      if (wparam == L' ') OpenLink();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      DrawFocus();
      return 0;
    default:
      return CStatic::WindowProc(message, wparam, lparam);
  }
}

// DrawFocusRect inverts, so the same call on losing the focus removes the
// rectangle drawn on gaining it.
void CStaticLink::DrawFocus() const {
  RECT rect{};
  const LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
  if ((style & 0x1F) >= 3) {
    GetWindowRect(m_hWnd, &rect);
  } else {
    const std::wstring text = GetWindowText();
    {
      const CClientDC dc(m_hWnd);
      const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
      // Measured as the static draws it: an "&" is a character of its own there.
      const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
      DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | prefix);
    }
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const LONG spare = (client.right - client.left) - (rect.right - rect.left);
    if ((style & 0x1F) == SS_CENTER) OffsetRect(&rect, spare / 2, 0);
    if ((style & 0x1F) == SS_RIGHT) OffsetRect(&rect, spare, 0);
    MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  }
  InflateRect(&rect, 1, 1);
  const HWND parent = GetParent(m_hWnd);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  const CClientDC parent_dc(parent);
  DrawFocusRect(parent_dc.get(), &rect);
}

}  // namespace lantern
