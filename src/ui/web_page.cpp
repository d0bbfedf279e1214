#include "ui/web_page.h"

namespace lantern {

WebPageOutcome OpenWebPage(const WebPage& page, bool silent, WebPageSystem& system, DiagnosticLog& log) {
  if (page.address.empty()) return WebPageOutcome::NotOpened;
  if (!system.IsElevated()) {
    return system.OpenInThisProcess(page) ? WebPageOutcome::Opened : WebPageOutcome::NotOpened;
  }

  const std::int32_t shell = system.OpenThroughDesktopShell(page);
  if (shell == 0) {
    log.LogFormat(L"Opened '%s' through the desktop shell\n", page.address);
    return WebPageOutcome::Opened;
  }
  if (shell > 0) {
    log.LogFormat(L"The desktop shell could not open '%s'\n", page.address);
    return WebPageOutcome::NotOpened;
  }
  // Opening it here would start the browser as administrator.
  if (silent) {
    log.LogFormat(L"Cannot open '%s' unelevated %0x; silent, so not shown\n", page.address, shell);
    return WebPageOutcome::NotOpened;
  }
  log.LogFormat(L"Cannot open '%s' unelevated %0x; showing the address\n", page.address, shell);
  system.ShowAddress(page.address);
  return WebPageOutcome::AddressShown;
}

}  // namespace lantern
