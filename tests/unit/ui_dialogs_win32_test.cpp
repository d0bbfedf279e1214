// The dialogs and controls from inside: what a driver in another process
// cannot read (system menu, icons, fonts, colours) is checked here, on the
// dialog's own process, while a second thread looks at the modal dialog and
// then closes it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/config_strings_win32.h"
#include "desktop_shell_win32.h"
#include "memory_log.h"
#include "ui/about_dialog_win32.h"
#include "ui/notice_dialog_win32.h"
#include "ui/temp_folder_dialog_win32.h"
#include "ui/web_page_win32.h"

namespace lantern {
namespace {

// What the dialogs are given: this program's own string table (the
// bootstrapper's), a log, and the system's way of opening pages.
struct Services {
  ResourceStringTable strings{GetModuleHandleW(nullptr)};
  testing_fakes::MemoryLog log;
  Win32WebPageSystem pages{strings};
};

struct ThreadWindowSearch {
  HWND found = nullptr;
};

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM data) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && std::wstring(name) == L"#32770") {
    reinterpret_cast<ThreadWindowSearch*>(data)->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialogOf(DWORD thread) {
  for (int tries = 0; tries < 600; ++tries) {
    ThreadWindowSearch search;
    EnumThreadWindows(thread, &TakeVisibleDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  }
  return nullptr;
}

// Runs `dialog` modally on this thread; `look` runs on another thread with
// the dialog's window and ends it (or the dialog is cancelled if it cannot be
// found). Returns the modal result.
INT_PTR RunModal(CDialog& dialog, const std::function<void(HWND)>& look) {
  const DWORD this_thread = GetCurrentThreadId();
  std::thread watcher([&] {
    const HWND window = WaitForDialogOf(this_thread);
    if (window) look(window);
  });
  const INT_PTR result = dialog.DoModal();
  watcher.join();
  return result;
}

LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, 10000, &answer);
  return static_cast<LRESULT>(answer);
}

std::wstring Text(HWND window) {
  wchar_t text[1024] = {};
  Send(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(Send(control, WM_GETFONT)), sizeof(font), &font);
  return font;
}

// The text colour a static is drawn with, as its parent answers the colour message.
COLORREF ColourOf(HWND dialog, HWND control) {
  const HDC dc = CreateCompatibleDC(nullptr);
  Send(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  const COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

void Press(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Which of the controls `ids` show an "&" as it is rather than as a mnemonic.
std::vector<bool> WithoutPrefix(HWND dialog, std::initializer_list<int> ids) {
  std::vector<bool> plain;
  for (const int id : ids)
    plain.push_back((GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & SS_NOPREFIX) != 0);
  return plain;
}

TEST(NoticeDialog, ErrorFormCarriesTheAboutEntryIconsBoldHeadingAndBlueLink) {
  Services services;
  CLanternInstallerDlg dialog(false, services.strings, services.log.log, services.pages);
  dialog.MessageText = L"Something failed in C:\\R&D\\.";
  std::wstring caption, heading, message, about_entry, ok_state;
  std::vector<bool> plain;
  UINT about_id = 0, separator_type = 0;
  bool icons_set = false, drag_icon = false, ok_hidden = false;
  LOGFONTW heading_font{}, link_font{};
  COLORREF link_colour = 0;
  LRESULT link_brush = 0;
  const INT_PTR result = RunModal(dialog, [&](HWND window) {
    caption = Text(window);
    heading = Text(GetDlgItem(window, 1003));
    message = Text(GetDlgItem(window, 1000));
    plain = WithoutPrefix(window, {1003, 1000, 1001});
    const HMENU menu = GetSystemMenu(window, FALSE);
    const int count = GetMenuItemCount(menu);
    wchar_t text[128] = {};
    GetMenuStringW(menu, count - 1, text, 128, MF_BYPOSITION);
    about_entry = text;
    about_id = GetMenuItemID(menu, count - 1);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, count - 2, TRUE, &info);
    separator_type = info.fType;
    icons_set = Send(window, WM_GETICON, ICON_BIG) == reinterpret_cast<LRESULT>(dialog.AppIcon) &&
                Send(window, WM_GETICON, ICON_SMALL) == reinterpret_cast<LRESULT>(dialog.AppIcon) &&
                dialog.AppIcon != nullptr;
    drag_icon = Send(window, WM_QUERYDRAGICON) == reinterpret_cast<LRESULT>(dialog.AppIcon);
    ok_hidden = !IsWindowVisible(GetDlgItem(window, IDOK));
    heading_font = FontOf(GetDlgItem(window, 1003));
    link_font = FontOf(GetDlgItem(window, 1001));
    link_colour = ColourOf(window, GetDlgItem(window, 1001));
    const HDC dc = CreateCompatibleDC(nullptr);
    link_brush = Send(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                      reinterpret_cast<LPARAM>(GetDlgItem(window, 1001)));
    DeleteDC(dc);
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(caption, L"Vantrel Studio Download");
  EXPECT_EQ(heading, L"Error");
  EXPECT_EQ(message, L"Something failed in C:\\R&D\\.");
  // Heading, message and link: paths, product names and links hold "&".
  EXPECT_EQ(plain, std::vector<bool>({true, true, true}));
  EXPECT_EQ(about_entry, L"&About Vantrel Studio Download...");
  EXPECT_EQ(about_id, 0x10u);
  EXPECT_TRUE(separator_type & MFT_SEPARATOR);
  EXPECT_TRUE(icons_set);
  EXPECT_TRUE(drag_icon);
  EXPECT_TRUE(ok_hidden);
  EXPECT_EQ(heading_font.lfHeight, 14);
  EXPECT_EQ(heading_font.lfWeight, FW_BOLD);
  EXPECT_EQ(std::wstring(heading_font.lfFaceName), L"Tahoma");
  EXPECT_TRUE(link_font.lfUnderline);
  EXPECT_EQ(link_colour, RGB(0, 0, 255));
  EXPECT_EQ(link_brush, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
}

TEST(NoticeDialog, QuestionFormAnswersYesWithOkAndNoWithEscapeOrClose) {
  struct Answer {
    const char* how;
    std::function<void(HWND)> act;
    INT_PTR result;
  };
  const Answer answers[] = {
      {"Yes", [](HWND window) { Press(window, IDOK); }, IDOK},
      {"No", [](HWND window) { Press(window, IDCANCEL); }, IDCANCEL},
      {"Escape", [](HWND window) { PostMessageW(window, WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
      {"close box", [](HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
  };
  for (const Answer& answer : answers) {
    SCOPED_TRACE(answer.how);
    Services services;
    CLanternInstallerDlg dialog(true, services.strings, services.log.log, services.pages);
    dialog.HeadingText = L"Verification failed. Do you wish to continue?";
    dialog.MessageText = L"verdict\n";
    std::wstring yes, no, heading;
    const INT_PTR result = RunModal(dialog, [&](HWND window) {
      yes = Text(GetDlgItem(window, IDOK));
      no = Text(GetDlgItem(window, IDCANCEL));
      heading = Text(GetDlgItem(window, 1003));
      answer.act(window);
    });
    EXPECT_EQ(result, answer.result);
    EXPECT_EQ(yes, L"Yes");
    EXPECT_EQ(no, L"No");
    EXPECT_EQ(heading, L"Verification failed. Do you wish to continue?");
  }
}

TEST(NoticeDialog, AClickOpensTheLinkAndTurnsItPurpleOrOnlyBeepsWhenNothingOpens) {
  ASSERT_TRUE(testing_support::WaitForDesktopShell()) << "no desktop shell came up";
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  struct Link {
    std::wstring text;
    COLORREF after;
  };
  const Link links[] = {
      {std::wstring(system) + L"\\hostname.exe", RGB(128, 0, 128)},
      {L"", RGB(0, 0, 255)},
  };
  for (const Link& link : links) {
    SCOPED_TRACE(std::string(link.text.begin(), link.text.end()));
    Services services;
    CLanternInstallerDlg dialog(false, services.strings, services.log.log, services.pages);
    dialog.LinkText = link.text;
    COLORREF before = 0, after = 0;
    LRESULT hit = 0, code = 0;
    RunModal(dialog, [&](HWND window) {
      const HWND control = GetDlgItem(window, 1001);
      hit = Send(control, WM_NCHITTEST);
      code = Send(control, WM_GETDLGCODE);
      before = ColourOf(window, control);
      Send(control, WM_LBUTTONUP);
      after = ColourOf(window, control);
      Press(window, IDCANCEL);
    });
    EXPECT_EQ(hit, HTCLIENT);
    EXPECT_EQ(code, DLGC_WANTCHARS);
    EXPECT_EQ(before, RGB(0, 0, 255));
    EXPECT_EQ(after, link.after);
  }
}

TEST(AboutBox, ShowsTheProductVersionAndCopyright) {
  const ResourceStringTable strings(GetModuleHandleW(nullptr));
  CAboutDlg about(strings);
  std::wstring caption, version, copyright;
  std::vector<bool> plain;
  const INT_PTR result = RunModal(about, [&](HWND window) {
    caption = Text(window);
    version = Text(GetDlgItem(window, 1001));
    copyright = Text(GetDlgItem(window, 1002));
    plain = WithoutPrefix(window, {1001, 1002});
    Press(window, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(caption, L"About Vantrel Studio Download");
  EXPECT_EQ(version, L"Vantrel Studio Download Version 9.8.7.6");
  EXPECT_EQ(copyright, L"Copyright (C) Unit Tests");
  EXPECT_EQ(plain, std::vector<bool>({true, true}));  // "Smith & Sons" is a name, not a mnemonic
}

TEST(TempFolderDialog, PreselectsTheCurrentRootAndReturnsWhatWasTyped) {
  CTempFolderDialog prompt(L"Product");
  prompt.FolderText = L"Q:\\nowhere";
  std::wstring caption, shown;
  DWORD from = 1, to = 0;
  bool focused = false;
  const INT_PTR result = RunModal(prompt, [&](HWND window) {
    // Programs started by earlier tests may hold the foreground; the dialog's
    // focus only shows once it is the active window.
    SetForegroundWindow(window);
    caption = Text(window);
    const HWND edit = GetDlgItem(window, 1005);
    shown = Text(edit);
    Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    focused = GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus == edit;
    Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D:"));
    Press(window, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(caption, L"Product");
  EXPECT_EQ(shown, L"Q:\\nowhere");
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, 10u);
  EXPECT_TRUE(focused);
  EXPECT_EQ(prompt.FolderText, L"D:");
}

}  // namespace
}  // namespace lantern
