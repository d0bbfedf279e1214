// This system's way of opening web pages: the token's elevation, the desktop
// shell's own ShellExecute (reached through the shell's window on the
// desktop), ShellExecuteW, and a dialog that shows an address.
#pragma once

#include <windows.h>

#include "core/config_strings.h"
#include "ui/web_page.h"

namespace lantern {

class Win32WebPageSystem final : public WebPageSystem {
 public:
  // The address dialog's caption comes from `strings`.
  explicit Win32WebPageSystem(const StringTable& strings) : strings_(strings) {}

  bool IsElevated() override;
  std::int32_t OpenThroughDesktopShell(const WebPage& page) override;
  bool OpenInThisProcess(const WebPage& page) override;
  // A modal dialog, owned by this thread's active window.
  void ShowAddress(const std::wstring& address) override;

 private:
  const StringTable& strings_;
};

// Whether the desktop shell answers now: found on the desktop, in another
// process, with its ShellExecute reachable.
bool DesktopShellAnswers();

}  // namespace lantern
