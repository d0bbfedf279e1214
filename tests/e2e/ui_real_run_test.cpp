// The dialogs in real runs of real bootstrappers, as a user meets them: the
// signature question of an unsigned file, the notice of a missing .NET
// Framework, the splash window until the front end shows itself, and the
// drive-letter prompt for a root that takes no files.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "e2e_support.h"
#include "gui_driver.h"
#include "ui_dotnet_paths.h"
#include "ui_paths.h"

namespace lantern::e2e {
namespace {

const std::wstring kUiSetup = HostPath(LANTERN_UI_EXE);
const std::wstring kDotNet35Setup = HostPath(LANTERN_UI_DOTNET35_EXE);
constexpr wchar_t kProduct[] = L"Vantrel Studio Download";
constexpr int kMessage = 1000, kLink = 1001, kHeading = 1003, kFolder = 1005;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

HWND WaitForNotice(const GuiProgram& program, HWND other = nullptr) {
  return WaitForWindow(program.pid(), [&](HWND window) {
    return window != other && IsDialogBox(window) && ControlText(window, kHeading) == L"Error";
  });
}

bool IsSplash(HWND window) {
  const LONG style = WindowStyle(window);
  return IsDialogBox(window) && (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION;
}

// The static control of `dialog` that shows a picture.
HWND PictureControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((WindowStyle(child) & SS_TYPEMASK) == SS_BITMAP) return child;
  }
  return nullptr;
}

// The display shows the picture of `file` in `dialog`, pixel for pixel.
void ExpectShowsPicture(HWND dialog, const char* file) {
  const HWND control = PictureControl(dialog);
  ASSERT_NE(control, nullptr) << "no picture in the dialog";
  std::optional<long> difference;
  WaitUntil(
      [&] {
        difference = PictureDifference(control, HostPath(file));
        return difference == 0L;
      },
      5000);
  EXPECT_EQ(difference, std::optional<long>(0)) << "pixels that differ from " << file;
}

TEST(UiRealRun, UnsignedInteractiveRunAsksAndYesRunsTheFrontEnd) {
  TempFolder temp;
  const std::wstring record = temp / L"record.txt";
  GuiProgram program(Quoted(kUiSetup) + L" record=" + Quoted(record));
  const HWND question = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(ControlText(question, kHeading),
            L"Verification of Vantrel Studio Download failed. Do you wish to continue?");
  EXPECT_EQ(ControlText(question, IDOK), L"Yes");
  EXPECT_EQ(ControlText(question, IDCANCEL), L"No");
  // The product's banner, run-length encoded.
  ExpectShowsPicture(question, LANTERN_UI_BANNER_BMP);
  EXPECT_TRUE(Screenshot("real-signature-question"));
  Click(question, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(record))) << "the front end did not run";
}

TEST(UiRealRun, UnsignedInteractiveRunNoShowsMessage113UntilDismissed) {
  GuiProgram program(Quoted(kUiSetup));
  const HWND question = WaitForDialog(program.pid(), kProduct);
  ASSERT_NE(question, nullptr);
  Click(question, IDCANCEL);
  const HWND notice = WaitForNotice(program, question);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ControlText(notice, kMessage), L"Failed to run Vantrel Studio Download error 0x800b0100.");
  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(Screenshot("real-signature-refused-notice"));
  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x800B0100u));
}

TEST(UiRealRun, MissingDotNet35ShowsMessage108AndItsDownloadPage) {
  GuiProgram program(Quoted(kDotNet35Setup));
  if (const HWND question = WaitForWindow(
          program.pid(),
          [](HWND window) { return IsDialogBox(window) && ControlText(window, IDOK) == L"Yes"; }, true,
          5000)) {
    Click(question, IDOK);
  }
  const HWND notice = WaitForNotice(program);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ControlText(notice, kMessage).rfind(L"Vantrel Studio Download requires ", 0), 0u);
  EXPECT_EQ(ControlText(notice, kLink), L"http://www.microsoft.com/en-us/download/details.aspx?id=21");
  EXPECT_TRUE(Screenshot("real-dotnet35-notice"));
  Click(notice, IDCANCEL);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0x80110409u));
}

TEST(UiRealRun, SplashShowsUntilTheFrontEndShowsItsWindow) {
  GuiProgram program(Quoted(kUiSetup) + L" window=3000");
  if (const HWND question = WaitForWindow(
          program.pid(),
          [](HWND window) { return IsDialogBox(window) && ControlText(window, IDOK) == L"Yes"; }, true,
          5000)) {
    Click(question, IDOK);
  }
  const HWND splash = WaitForWindow(program.pid(), IsSplash);
  ASSERT_NE(splash, nullptr);
  // The product's splash, of 8 bits per pixel stored uncompressed.
  ExpectShowsPicture(splash, LANTERN_UI_SPLASH_BMP);
  EXPECT_TRUE(Screenshot("real-splash"));
  ASSERT_TRUE(WaitUntil([&] {
    const HWND front_end = FindWindowW(L"LanternStandInWindow", L"Lantern stand-in front end");
    return (front_end && IsWindowVisible(front_end)) || !program.Running();
  }));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(splash) || !IsWindowVisible(splash); }));
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
}

TEST(UiRealRun, DriveLetterPromptForARootThatTakesNoFiles) {
  TempFolder temp;
  // A folder that does not exist on a drive with room: the disk check passes
  // and the probe fails.
  GuiProgram program(Quoted(kUiSetup) + L" /dontrun temp " + Quoted(temp / L"missing\\deeper"));
  if (const HWND question = WaitForWindow(
          program.pid(),
          [](HWND window) { return IsDialogBox(window) && ControlText(window, IDOK) == L"Yes"; }, true,
          5000)) {
    Click(question, IDOK);
  }
  const HWND prompt = WaitForWindow(program.pid(), [](HWND window) {
    return IsDialogBox(window) && GetDlgItem(window, kFolder) != nullptr;
  });
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(WindowText(prompt), kProduct);
  EXPECT_TRUE(Screenshot("real-drive-letter-prompt"));
  SetControlText(prompt, kFolder, temp.path());
  Click(prompt, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<std::uint32_t>(0u));
}

}  // namespace
}  // namespace lantern::e2e
