// Opening web pages on the real system: the desktop shell starts what it opens
// in its own process, never in the one that asked; an address that cannot be
// opened is shown selected, ready to copy.
#include "ui/web_page_win32.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "app/config_strings_win32.h"
#include "desktop_shell_win32.h"
#include "standin_support_win32.h"
#include "unit_paths.h"

namespace lantern {
namespace {

namespace fs = std::filesystem;
using testing_support::HostPath;
using testing_support::ReadStandInRecord;

struct ProcessInfo {
  DWORD parent = 0;
  std::wstring parent_name;
};

// The parent of a running process and that parent's program name.
std::optional<ProcessInfo> ParentOf(DWORD pid) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<ProcessInfo> found;
  std::map<DWORD, std::wstring> names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    names[entry.th32ProcessID] = entry.szExeFile;
    if (entry.th32ProcessID == pid) found = ProcessInfo{entry.th32ParentProcessID, L""};
  }
  CloseHandle(snapshot);
  if (found) found->parent_name = names[found->parent];
  return found;
}

TEST(Win32WebPages, TheDesktopShellStartsWhatItOpensInItsOwnProcess) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const fs::path root = fs::path(temp) / ("lantern-webpage-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(root);
  // The stand-in records its process id, then waits, so that its parent can
  // be looked up while it runs.
  fs::copy_file(HostPath(LANTERN_STANDIN_EXE), root / "standin.exe", fs::copy_options::overwrite_existing);
  const fs::path record = root / "record.txt";
  std::ofstream(root / "standin.cfg") << "record=" << record.string() << "\nsleep=20000\n";

  ASSERT_TRUE(testing_support::WaitForDesktopShell()) << "no desktop shell came up";
  const ResourceStringTable strings(GetModuleHandleW(nullptr));
  Win32WebPageSystem pages(strings);
  ASSERT_EQ(pages.OpenThroughDesktopShell({(root / "standin.exe").wstring(), L"", SW_SHOWNORMAL}), 0);

  std::map<std::string, std::string> recorded;
  for (int tries = 0; tries < 300 && recorded["pid"].empty(); ++tries) {
    Sleep(100);
    recorded = ReadStandInRecord(record);
  }
  ASSERT_FALSE(recorded["pid"].empty()) << "the shell started nothing";
  const DWORD pid = std::stoul(recorded["pid"]);
  const auto parent = ParentOf(pid);
  if (const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);

  ASSERT_TRUE(parent.has_value());
  EXPECT_NE(parent->parent, GetCurrentProcessId());
  EXPECT_EQ(_wcsicmp(parent->parent_name.c_str(), L"explorer.exe"), 0)
      << std::string(parent->parent_name.begin(), parent->parent_name.end());
}

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (!IsWindowVisible(window) || std::wstring(name) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

std::wstring ClipboardText() {
  std::wstring text;
  for (int tries = 0; tries < 50 && !OpenClipboard(nullptr); ++tries) Sleep(100);
  if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(Win32WebPages, AnAddressIsShownSelectedAndCopyCopiesIt) {
  const std::wstring address = L"https://www.vantrel.example/Installer/Help";
  const DWORD this_thread = GetCurrentThreadId();
  std::wstring caption, shown, copied;
  DWORD from = 1, to = 0;
  std::thread user([&] {
    HWND dialog = nullptr;
    for (int tries = 0; tries < 600 && !dialog; ++tries) {
      Sleep(50);
      EnumThreadWindows(this_thread, &TakeVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
    }
    if (!dialog) return;
    wchar_t text[256] = {};
    SendMessageW(dialog, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    caption = text;
    const HWND box = GetDlgItem(dialog, 1010);
    SendMessageW(box, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    shown = text;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1011)));
    copied = ClipboardText();
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  });
  const ResourceStringTable strings(GetModuleHandleW(nullptr));
  Win32WebPageSystem(strings).ShowAddress(address);
  user.join();
  EXPECT_EQ(caption, L"Vantrel Studio Download");  // the product's name from the string table
  EXPECT_EQ(shown, address);
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, address.size());
  EXPECT_EQ(copied, address);
}

}  // namespace
}  // namespace lantern
