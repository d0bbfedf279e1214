// Web pages (the help page, a notice's download link) open for the user in the
// user's own, unelevated context. An elevated bootstrapper never starts a
// browser itself: that browser would run as administrator, and the program
// that opens an address is looked up in registry classes the user can change.
#pragma once

#include <cstdint>
#include <string>

#include "log/log.h"

namespace lantern {

struct WebPage {
  std::wstring address;
  std::wstring verb;  // empty: the address's default verb
  int show = 1;       // how the opened program's window shows (SW_ value)
};

// What opening a page needs from the system.
class WebPageSystem {
 public:
  virtual ~WebPageSystem() = default;
  // True when this process runs with an administrator's full token, or when
  // it cannot tell.
  virtual bool IsElevated() = 0;
  // Asks the desktop shell, a process of the logged-on user, to open the page
  // itself. 0 when it opened it; 1 when the shell was reached but could not
  // open it; a negative result code when no such shell could be reached.
  virtual std::int32_t OpenThroughDesktopShell(const WebPage& page) = 0;
  // Opens the page from this process. True when it opened.
  virtual bool OpenInThisProcess(const WebPage& page) = 0;
  // Shows the address to the user, to read and copy into a browser.
  virtual void ShowAddress(const std::wstring& address) = 0;
};

enum class WebPageOutcome {
  Opened,
  NotOpened,     // nothing opened it; the caller may try another address
  AddressShown,  // it could not be opened safely; the user was shown the address
};

// Opens `page` in the user's unelevated context. An elevated process hands it
// to the desktop shell; when no shell can take it, the address is shown
// instead (nothing in a silent run). Only a process that is not elevated
// opens a page itself.
WebPageOutcome OpenWebPage(const WebPage& page, bool silent, WebPageSystem& system, DiagnosticLog& log);

}  // namespace lantern
