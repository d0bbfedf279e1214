// Two refinements of the static control: a heading in a bold caption font,
// and a hyperlink (underlined, coloured, hand cursor, opened through the shell
// by a click or the space bar, with a focus rectangle).
#pragma once

#include <windows.h>

#include <string>

#include "core/config_strings.h"
#include "framework/dialog_win32.h"
#include "framework/gdi_win32.h"
#include "log/log.h"
#include "ui/web_page.h"

namespace lantern {

class CStaticEx : public CStatic {
 public:
  CStaticEx();
  ~CStaticEx() override;
  BOOL OnChildNotify(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

  CFont CaptionFont;

 protected:
  void PreSubclassWindow() override;
};

class CStaticLink : public CStatic {
 public:
  static constexpr COLORREF kUnvisited = RGB(0, 0, 255);
  static constexpr COLORREF kVisited = RGB(128, 0, 128);

  // Pages open through `pages` and are logged to `log`; `strings` holds the
  // fallback entry of the control's id.
  CStaticLink(const StringTable& strings, DiagnosticLog& log, WebPageSystem& pages);
  ~CStaticLink() override;
  BOOL OnChildNotify(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;
  // Opens the link target, else the string-table entry of the control's id,
  // else the control's text; beeps when none opens. True when one opened.
  // When a text cannot be opened safely and its address is shown instead,
  // nothing further is tried and the answer is false.
  bool OpenLink();

  std::wstring LinkTarget;
  COLORREF LinkColour = kUnvisited;
  CFont LinkFont;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PreSubclassWindow() override;

 private:
  bool IsTextStatic() const;
  void MakeLinkFont();
  WebPageOutcome Open(const std::wstring& target);
  void DrawFocus() const;

  const StringTable& strings_;
  DiagnosticLog& log_;
  WebPageSystem& pages_;
};

}  // namespace lantern
