// The dialogs and the splash window, driven from outside as a user would
// under Wine's display: the signature question, the failure notice with its
// download link, the splash window, the drive-letter prompt and the About
// box. Each saves a screenshot under tests/e2e/screenshots in the build tree.
#include <gtest/gtest.h>

#include <string>

#include "desktop_shell_win32.h"
#include "e2e_support.h"
#include "gui_driver.h"
#include "ui_paths.h"

namespace lantern::e2e {
namespace {

const std::wstring kUiHost = HostPath(LANTERN_UIHOST_EXE);
const std::wstring kUiSetup = HostPath(LANTERN_UI_EXE);
constexpr wchar_t kProduct[] = L"Vantrel Studio Download";
// The About box's line of the UI fixture: 46 characters with a "©" and an "&".
constexpr wchar_t kCopyright[] = L"\u00a9 2026 Vantrel \"Test\" Builds & Sons of Lantern";

// Control ids of the dialogs.
constexpr int kMessage = 1000, kLink = 1001, kHeading = 1003, kVersionLine = 1001, kCopyrightLine = 1002,
              kFolder = 1005;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The log file's text with its CR LF line ends made LF.
std::string LogText(const std::wstring& path) {
  std::string text = ReadText(path);
  std::string flat;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    flat += text[i];
  }
  return flat;
}

// The splash window: a captionless popup with a thin border.
bool IsSplash(HWND window) {
  const LONG style = WindowStyle(window);
  return IsDialogBox(window) && (style & WS_POPUP) && (style & WS_BORDER) &&
         (style & WS_CAPTION) != WS_CAPTION;
}

// A test event the scripted front end waits on.
class TestEvent {
 public:
  explicit TestEvent(const std::wstring& name) : event_(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
  ~TestEvent() { CloseHandle(event_); }
  TestEvent(const TestEvent&) = delete;
  TestEvent& operator=(const TestEvent&) = delete;
  void Set() const { SetEvent(event_); }

 private:
  HANDLE event_;
};

std::wstring UniqueName(const wchar_t* what) {
  return std::wstring(L"LanternUiTest.") + what + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(GetTickCount64());
}

// Checks the error form of the notice dialog and dismisses it with Cancel.
void ExpectErrorNotice(HWND notice, const std::wstring& message, const std::wstring& link) {
  ASSERT_NE(notice, nullptr) << "no failure notice appeared";
  EXPECT_EQ(ControlText(notice, kHeading), L"Error");
  EXPECT_EQ(ControlText(notice, kMessage), message);
  EXPECT_EQ(ControlText(notice, kLink), link);
  EXPECT_FALSE(ControlVisible(notice, IDOK));
  ASSERT_TRUE(ControlVisible(notice, IDCANCEL));
  EXPECT_EQ(ControlText(notice, IDCANCEL), L"Cancel");
  EXPECT_EQ(WindowStyle(GetDlgItem(notice, IDCANCEL)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST(Ui, SignatureQuestionYesGoesOnAndTheFrontEndRuns) {
  TempFolder temp;
  const std::wstring log = temp / L"run.log";
  GuiProgram program(Quoted(kUiHost) + L" log " + Quoted(log), L"signature=800B0100");

  const HWND question = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(ControlText(question, kHeading),
            L"Verification of Vantrel Studio Download failed. Do you wish to continue?");
  EXPECT_EQ(ControlText(question, kMessage), L"No signature was present in the subject.\n");
  EXPECT_EQ(ControlText(question, IDOK), L"Yes");
  EXPECT_EQ(ControlText(question, IDCANCEL), L"No");
  EXPECT_TRUE(ControlVisible(question, IDOK));
  EXPECT_EQ(WindowStyle(GetDlgItem(question, IDCANCEL)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_TRUE(GetWindowLongW(question, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(Screenshot("signature-question"));

  Click(question, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
  const std::string text = LogText(log);
  EXPECT_NE(text.find("Certificate error 800b0100\nNot signed correctly 800b0100\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Front end ran\n"), std::string::npos) << text;
}

// A user who said No still learns why the run ended: the notice stays until
// dismissed.
TEST(Ui, SignatureQuestionNoEndsTheRunAndItsNoticeStaysUntilDismissed) {
  TempFolder temp;
  const std::wstring log = temp / L"run.log";
  GuiProgram program(Quoted(kUiHost) + L" log " + Quoted(log), L"signature=800B0100");

  const HWND question = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(question, nullptr);
  Click(question, IDCANCEL);

  const HWND notice = WaitForWindow(program.pid(), [&](HWND window) {
    return window != question && IsDialogBox(window) && ControlText(window, kHeading) == L"Error";
  });
  ExpectErrorNotice(notice, L"Failed to run Vantrel Studio Download error 0x800b0100.", L"");
  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(IsWindowVisible(notice));
  EXPECT_TRUE(Screenshot("signature-refused-notice"));

  // An empty link still reacts like one over its whole area and takes
  // characters; a click with nothing to open only beeps.
  const HWND link = GetDlgItem(notice, kLink);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(link, WM_NCHITTEST, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(HTCLIENT));
  SendMessageTimeoutW(link, WM_GETDLGCODE, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(DLGC_WANTCHARS));
  SendMessageTimeoutW(link, WM_LBUTTONUP, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer);
  EXPECT_TRUE(IsWindowVisible(notice));

  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x800B0100u));
  const std::string text = LogText(log);
  EXPECT_NE(text.find("\nFailed to run Vantrel Studio Download error 0x800b0100.\nEnded "), std::string::npos)
      << text;
  EXPECT_EQ(text.find("Front end ran"), std::string::npos) << text;
}

TEST(Ui, MissingDotNetNoticeShowsMessage108AndTheDownloadPageOfDotNet35) {
  GuiProgram program(Quoted(kUiHost), L"dotnet=3,5,0,.NET Framework 3.5");
  const HWND notice = WaitForDialog(program.pid(), kProduct);
  ExpectErrorNotice(
      notice,
      L"Vantrel Studio Download requires .NET Framework 3.5. Please download from the Microsoft "
      L"Download Center and retry.",
      L"http://www.microsoft.com/en-us/download/details.aspx?id=21");
  EXPECT_TRUE(Screenshot("dotnet-missing-notice"));
  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80110409u));
}

TEST(Ui, SplashShowsDuringTheWorkAndGoesOnceTheFrontEndShowsItsWindow) {
  const std::wstring gate = UniqueName(L"splash");
  const TestEvent show(gate + L".show"), end(gate + L".end");
  GuiProgram program(Quoted(kUiHost), L"gated=" + gate);

  const HWND splash = WaitForWindow(program.pid(), IsSplash);
  ASSERT_NE(splash, nullptr) << "no splash window showed";
  RECT rect{};
  GetWindowRect(splash, &rect);
  // At least the picture (425 x 208); the dialog units' size depends on the font.
  EXPECT_GE(rect.right - rect.left, 425);
  EXPECT_GE(rect.bottom - rect.top, 208);
  EXPECT_TRUE(Screenshot("splash"));

  show.Set();
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(splash) || !IsWindowVisible(splash); }))
      << "the splash stayed";
  EXPECT_TRUE(program.Running()) << "the front end is still running while the splash goes";
  end.Set();
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
}

TEST(Ui, DriveLetterPromptHidesTheSplashAndOkWithANewRootGoesOn) {
  TempFolder temp;
  const std::wstring log = temp / L"run.log";
  const std::wstring gate = UniqueName(L"prompt");
  const TestEvent show(gate + L".show"), end(gate + L".end");
  GuiProgram program(Quoted(kUiHost) + L" temp C:\\unwritable log " + Quoted(log),
                     L"unwritable=unwritable;gated=" + gate);

  const HWND prompt = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(prompt, nullptr);
  EXPECT_NE(ControlText(prompt, kFolder).find(L"unwritable"), std::wstring::npos)
      << Narrow(ControlText(prompt, kFolder));
  EXPECT_EQ(ControlText(prompt, IDOK), L"OK");
  EXPECT_EQ(ControlText(prompt, IDCANCEL), L"Cancel");
  // The current root is selected whole, so that typing replaces it.
  DWORD from = 1, to = 0;
  SendMessageW(GetDlgItem(prompt, kFolder), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
               reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, ControlText(prompt, kFolder).size());
  const HWND hidden_splash = WaitForWindow(program.pid(), IsSplash, false);
  ASSERT_NE(hidden_splash, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(hidden_splash); }))
      << "the splash shows over the prompt";
  EXPECT_TRUE(Screenshot("drive-letter-prompt"));

  SetControlText(prompt, kFolder, L"D:\\");
  Click(prompt, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(hidden_splash) != FALSE; }))
      << "the splash did not come back";
  show.Set();
  end.Set();
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
  const std::string text = LogText(log);
  const size_t first_probe = text.find("Probe 'C:\\unwritable");
  EXPECT_NE(first_probe, std::string::npos) << text;
  EXPECT_NE(text.find("\nProbe 'D:\\'\n", first_probe), std::string::npos) << text;
  EXPECT_NE(text.find("Front end ran\n"), std::string::npos) << text;
}

TEST(Ui, DriveLetterPromptCancelEndsWithEFailAndMessage104) {
  GuiProgram program(Quoted(kUiHost) + L" temp C:\\unwritable", L"unwritable=unwritable");
  const HWND prompt = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(prompt, nullptr);
  Click(prompt, IDCANCEL);

  const HWND notice = WaitForWindow(program.pid(), [&](HWND window) {
    return window != prompt && IsDialogBox(window) && ControlText(window, kHeading) == L"Error";
  });
  ExpectErrorNotice(
      notice,
      L"Contact Technical Support. Incorrect Vantrel Studio Download build. (Try setting the temp "
      L"folder from the command line.)",
      L"");
  EXPECT_TRUE(Screenshot("drive-letter-cancelled-notice"));
  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80004005u));
}

// A silent run shows no window at all: had it shown one, nobody would close
// it and the run would not end by itself. The message is logged as a line of
// its own, the run's last before "Ended".
TEST(Ui, SilentFailuresShowNothingAndLogTheMessageAsALine) {
  struct Case {
    const wchar_t* script;
    const wchar_t* arguments;
    const char* logged;
    std::uint32_t exit_code;
  };
  const Case cases[] = {
      {L"signature=800B0100", L"",
       "Not signed correctly so failing now!\nFailed to run Vantrel Studio Download error "
       "0x800b0100.\nEnded ",
       0x800B0100u},
      {L"dotnet=4,0,0,.NET Framework 4.0 Full", L"",
       "Vantrel Studio Download requires .NET Framework 4.0 Full. Please download from the Microsoft "
       "Download Center "
       "and retry.\nEnded ",
       0x80110409u},
      {L"unwritable=unwritable", L" temp C:\\unwritable",
       "Not Prompting the user as silent installation\nContact Technical Support. Incorrect Vantrel Studio "
       "Download "
       "build. (Try setting the temp folder from the command line.)\nEnded ",
       0x80004005u},
      {L"exit=80131700", L"",
       // The message's own CR LF: the log's text mode writes its LF as CR LF too.
       "Vantrel Studio Download requires Unknown .NET Version. Please download from the Microsoft Download "
       "Center and "
       "retry.\r\n(.NET 4 was detected.)\nEnded ",
       0x80131700u},
      {L"exit=80004005", L"",
       "Remove folder 'Yes'\nVantrel Studio Download failed with exit code 0x80004005.\nEnded ", 0x80004005u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.script));
    TempFolder temp;
    const std::wstring log = temp / L"silent.log";
    GuiProgram program(Quoted(kUiHost) + L" /IAgreeToTheEULA" + c.arguments + L" log " + Quoted(log),
                       c.script);
    const auto exit_code = program.WaitForExit();
    ASSERT_TRUE(exit_code.has_value()) << "the silent run did not end by itself: a window waits";
    EXPECT_EQ(*exit_code, c.exit_code);
    const std::string text = LogText(log);
    EXPECT_NE(text.find(c.logged), std::string::npos) << text;
  }
}

// A real bootstrapper built with the product team's About-box values.
TEST(Ui, AboutBoxFromTheNoticeSystemMenuShowsTheBuildsVersionAndCopyright) {
  GuiProgram program(Quoted(kUiSetup) + L" /log x");
  const HWND notice = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ControlText(notice, kMessage).rfind(L"Command line '/log x' incorrect.\n", 0), 0u);

  PostMessageW(notice, WM_SYSCOMMAND, 0x10, 0);
  const HWND about = WaitForDialog(program.pid(), L"About Vantrel Studio Download");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(GetWindow(about, GW_OWNER), notice);
  EXPECT_EQ(ControlText(about, kVersionLine), L"Vantrel Studio Download Version 3.1.4.15");
  EXPECT_EQ(ControlText(about, kCopyrightLine), kCopyright);
  EXPECT_TRUE(Screenshot("about-box"));

  Click(about, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  // Any number of times while the notice is up.
  PostMessageW(notice, WM_SYSCOMMAND, 0x10, 0);
  const HWND again = WaitForDialog(program.pid(), L"About Vantrel Studio Download");
  ASSERT_NE(again, nullptr);
  PostMessageW(again, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(again); }));
  EXPECT_TRUE(IsWindowVisible(notice));

  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80030057u));
}

TEST(Ui, TheVersionRecordCarriesTheVersionTheAboutBoxShows) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(kUiSetup.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(kUiSetup.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 1u);
  EXPECT_EQ(fixed->dwFileVersionLS, (4u << 16) | 15u);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  wchar_t* copyright = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\080904B0\\LegalCopyright",
                             reinterpret_cast<void**>(&copyright), &length));
  EXPECT_EQ(std::wstring(copyright), kCopyright);
}

// Web pages from an elevated run: the bootstrapper never opens one itself. The
// scripted host's web pages log what they were asked to do instead of
// starting anything; an address shown to the user is the real dialog.
constexpr wchar_t kHelpPage[] = L"https://www.vantrel.example/Installer/Help";
constexpr char kOwnProcess[] = "from the bootstrapper's own process";
constexpr int kAddressBox = 1010;

// The address dialog of `pid` (not the notice it may sit on).
HWND WaitForAddressDialog(DWORD pid) {
  return WaitForWindow(pid,
                       [](HWND window) { return IsDialogBox(window) && GetDlgItem(window, kAddressBox); });
}

TEST(Ui, HelpOpensThroughTheDesktopShellOrNotAtAllWhenElevated) {
  ASSERT_TRUE(testing_support::WaitForDesktopShell()) << "no desktop shell came up";
  struct Case {
    const wchar_t* script;
    const wchar_t* arguments;
    std::string logged;
  };
  const std::string help = Narrow(kHelpPage);
  const Case cases[] = {
      {L"elevated=1;shell=fake", L" ?",
       "Desktop shell asked to open '" + help + "'\nOpened '" + help + "' through the desktop shell\nEnded "},
      {L"elevated=1;shell=none", L" /IAgreeToTheEULA ?",
       "Cannot open '" + help + "' unelevated 80004005; silent, so not shown\nEnded "},
      // Not elevated: the one case in which the bootstrapper opens it itself.
      {L"elevated=0;shell=fake", L" ?", "Opened '" + help + "' " + kOwnProcess + "\nEnded "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.script));
    TempFolder temp;
    const std::wstring log = temp / L"help.log";
    GuiProgram program(Quoted(kUiHost) + c.arguments + L" log " + Quoted(log), c.script);
    EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u)) << "a window waits";
    const std::string text = LogText(log);
    EXPECT_NE(text.find(c.logged), std::string::npos) << text;
    if (std::wstring(c.script).find(L"elevated=1") != std::wstring::npos) {
      EXPECT_EQ(text.find(kOwnProcess), std::string::npos) << text;
    }
  }
}

TEST(Ui, HelpWithoutADesktopShellShowsTheAddressAndStartsNothing) {
  TempFolder temp;
  const std::wstring log = temp / L"help.log";
  GuiProgram program(Quoted(kUiHost) + L" ? log " + Quoted(log), L"elevated=1;shell=none");
  const HWND dialog = WaitForAddressDialog(program.pid());
  ASSERT_NE(dialog, nullptr) << "no address was shown";
  EXPECT_EQ(ControlText(dialog, kAddressBox), kHelpPage);
  EXPECT_TRUE(Screenshot("help-address"));
  Click(dialog, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
  const std::string text = LogText(log);
  EXPECT_NE(text.find("Cannot open '" + Narrow(kHelpPage) + "' unelevated 80004005; showing the address\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find(kOwnProcess), std::string::npos) << text;
}

TEST(Ui, TheDownloadLinkWithoutADesktopShellShowsItsAddressAndStartsNothing) {
  const std::wstring link = L"http://www.microsoft.com/en-us/download/details.aspx?id=21";
  TempFolder temp;
  const std::wstring log = temp / L"link.log";
  GuiProgram program(Quoted(kUiHost) + L" log " + Quoted(log),
                     L"dotnet=3,5,0,.NET Framework 3.5;elevated=1;shell=none");
  const HWND notice = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(notice, nullptr);
  // A click on the link, as the mouse button comes up.
  PostMessageW(GetDlgItem(notice, kLink), WM_LBUTTONUP, 0, 0);
  const HWND dialog = WaitForAddressDialog(program.pid());
  ASSERT_NE(dialog, nullptr) << "no address was shown";
  EXPECT_EQ(ControlText(dialog, kAddressBox), link);
  Click(dialog, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }));
  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80110409u));
  const std::string text = LogText(log);
  EXPECT_NE(text.find("Cannot open '" + Narrow(link) + "' unelevated 80004005; showing the address\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find(kOwnProcess), std::string::npos) << text;
}

// Where DLL loading cannot be kept to the system folder, nothing runs.
TEST(Ui, WithoutARestrictedDllSearchTheRunRefusesToStart) {
  const char* logged = "DLL search cannot be limited to the system folder; not running 8007047e\nEnded ";
  {
    TempFolder temp;
    const std::wstring log = temp / L"silent.log";
    GuiProgram program(Quoted(kUiHost) + L" /IAgreeToTheEULA log " + Quoted(log), L"dllsearch=unrestricted");
    EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x8007047Eu)) << "a window waits";
    const std::string text = LogText(log);
    EXPECT_NE(text.find(logged), std::string::npos) << text;
    EXPECT_EQ(text.find("Started"), std::string::npos) << text;
  }
  TempFolder temp;
  const std::wstring log = temp / L"interactive.log";
  GuiProgram program(Quoted(kUiHost) + L" log " + Quoted(log), L"dllsearch=unrestricted");
  const HWND message = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(message, nullptr) << "no message was shown";
  // The message box's text is its static control 0xFFFF.
  EXPECT_NE(ControlText(message, 0xFFFF).find(L"KB2533623"), std::wstring::npos);
  EXPECT_TRUE(Screenshot("unsafe-dll-search"));
  Click(message, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x8007047Eu));
  EXPECT_NE(LogText(log).find(logged), std::string::npos);
}

}  // namespace
}  // namespace lantern::e2e
