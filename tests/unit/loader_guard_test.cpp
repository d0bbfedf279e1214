// A system that cannot keep DLL loading to the system folder: the run does not
// start, says why (in a window unless silent, and in the log) and ends with a
// result a script can see.
#include "app/loader_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_log.h"

namespace lantern {
namespace {

TEST(LoaderGuard, RefusesWithAMessageALogLineAndAResultCode) {
  struct Case {
    const char* name;
    bool silent;
    ResultCode parsed;
    bool shown;
  };
  const Case cases[] = {
      {"interactive", false, rc::Ok, true},
      {"silent", true, rc::Ok, false},
      {"help asked for", false, rc::HelpRequested, true},
      {"malformed command line", false, rc::InvalidParameter, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunState run;
    testing_fakes::MemoryLog log;
    int parses = 0;
    std::vector<std::wstring> shown;
    const ResultCode result = RefuseUnsafeDllSearch(
        run,
        [&] {
          ++parses;
          run.options.Silent = c.silent;
          run.HelpRequested = c.parsed == rc::HelpRequested;
          log.log.LogText(L"Command line params \n");
          return c.parsed;
        },
        log.log, [&](const std::wstring& message) { shown.push_back(message); });

    EXPECT_EQ(result, Hr(0x8007047E));
    EXPECT_EQ(parses, 1);
    // After the options' own lines, so that it reaches the log file they name.
    EXPECT_EQ(
        log.Lines(),
        L"Command line params \nDLL search cannot be limited to the system folder; not running 8007047e\n");
    EXPECT_EQ(shown,
              c.shown ? std::vector<std::wstring>{kUnsafeDllSearchMessage} : std::vector<std::wstring>{});
    EXPECT_EQ(SettleExitCode(run), Hr(0x8007047E));
  }
}

}  // namespace
}  // namespace lantern
