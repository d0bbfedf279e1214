// How a web page opens: never from an elevated process, and an address the
// user can still use when no desktop shell can open it for them.
#include "ui/web_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_log.h"

namespace lantern {
namespace {

// Records what was asked of the system, answering as scripted.
class FakeWebPages final : public WebPageSystem {
 public:
  bool elevated = true;
  std::int32_t shell = 0;
  bool direct = true;
  std::vector<std::wstring> calls;
  WebPage shell_page;

  bool IsElevated() override { return elevated; }
  std::int32_t OpenThroughDesktopShell(const WebPage& page) override {
    calls.push_back(L"shell " + page.address);
    shell_page = page;
    return shell;
  }
  bool OpenInThisProcess(const WebPage& page) override {
    calls.push_back(L"process " + page.address);
    return direct;
  }
  void ShowAddress(const std::wstring& address) override { calls.push_back(L"show " + address); }
};

constexpr wchar_t kPage[] = L"https://www.vantrel.example/Installer/Help";
const std::wstring kAddress = kPage;

TEST(WebPage, OpensInTheUsersContextAndNeverFromAnElevatedProcess) {
  struct Case {
    const char* name;
    bool elevated;
    std::int32_t shell;
    bool direct;
    bool silent;
    WebPageOutcome outcome;
    std::vector<std::wstring> calls;
    std::wstring log;
  };
  const Case cases[] = {
      {"unelevated: opened here",
       false,
       0,
       true,
       false,
       WebPageOutcome::Opened,
       {L"process " + kAddress},
       L""},
      {"unelevated: nothing opens it",
       false,
       0,
       false,
       false,
       WebPageOutcome::NotOpened,
       {L"process " + kAddress},
       L""},
      {"elevated: the shell opens it",
       true,
       0,
       true,
       false,
       WebPageOutcome::Opened,
       {L"shell " + kAddress},
       L"Opened '" + kAddress + L"' through the desktop shell\n"},
      {"elevated, silent: the shell opens it",
       true,
       0,
       true,
       true,
       WebPageOutcome::Opened,
       {L"shell " + kAddress},
       L"Opened '" + kAddress + L"' through the desktop shell\n"},
      {"elevated: the shell cannot open it",
       true,
       1,
       true,
       false,
       WebPageOutcome::NotOpened,
       {L"shell " + kAddress},
       L"The desktop shell could not open '" + kAddress + L"'\n"},
      {"elevated: no shell, the address is shown",
       true,
       static_cast<std::int32_t>(0x80004005u),
       true,
       false,
       WebPageOutcome::AddressShown,
       {L"shell " + kAddress, L"show " + kAddress},
       L"Cannot open '" + kAddress + L"' unelevated 80004005; showing the address\n"},
      {"elevated, silent: no shell, nothing shown",
       true,
       static_cast<std::int32_t>(0x80070005u),
       true,
       true,
       WebPageOutcome::NotOpened,
       {L"shell " + kAddress},
       L"Cannot open '" + kAddress + L"' unelevated 80070005; silent, so not shown\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWebPages pages;
    pages.elevated = c.elevated;
    pages.shell = c.shell;
    pages.direct = c.direct;
    testing_fakes::MemoryLog log;
    EXPECT_EQ(OpenWebPage({kAddress, L"open", 1}, c.silent, pages, log.log), c.outcome);
    EXPECT_EQ(pages.calls, c.calls);
    EXPECT_EQ(log.Lines(), c.log);
  }
}

TEST(WebPage, TheShellGetsTheVerbAndHowToShow) {
  FakeWebPages pages;
  testing_fakes::MemoryLog log;
  OpenWebPage({kAddress, L"", 5}, false, pages, log.log);
  EXPECT_EQ(pages.shell_page.address, kAddress);
  EXPECT_EQ(pages.shell_page.verb, L"");
  EXPECT_EQ(pages.shell_page.show, 5);
}

TEST(WebPage, AnEmptyAddressAsksNothing) {
  for (const bool elevated : {false, true}) {
    FakeWebPages pages;
    pages.elevated = elevated;
    testing_fakes::MemoryLog log;
    EXPECT_EQ(OpenWebPage({L"", L"open", 1}, false, pages, log.log), WebPageOutcome::NotOpened);
    EXPECT_TRUE(pages.calls.empty());
    EXPECT_EQ(log.Lines(), L"");
  }
}

}  // namespace
}  // namespace lantern
