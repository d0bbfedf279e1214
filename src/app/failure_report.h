// The failure report: which message, with which texts, and which download
// link a failed run shows; logged always, shown unless the run is silent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "checks/disk_space_check.h"
#include "checks/dotnet_check.h"
#include "core/config_strings.h"
#include "log/log.h"
#include "ui/failure_notice.h"

namespace lantern {

// What the messages tell of a run: the front end's exit code and what the
// gates found (their defaults when a gate did not run).
struct FailureFacts {
  std::int32_t FrontEndExitCode = 0;
  RequiredDotNet dot_net;
  DiskSpaceResult disk;
};

// The free-space amount as message 102 shows it: above 1000 MB in GB.
struct DiskAmount {
  double amount = 0.0;
  const wchar_t* unit = L"MB";
};
DiskAmount DiskAmountFor(std::int64_t required_mb);

// The download page for the .NET Framework version the run asked for; empty
// when none fits.
std::wstring GetDotNetDownloadLink(std::int32_t major, std::int32_t minor);

// Chooses and fills the message for a run's result. `code` is 0 when only the
// front end's exit code failed. `raw_arguments` is the command line without
// the program's name.
FailureNotice ComposeFailureNotice(const StringTable& table, ResultCode code, const FailureFacts& run,
                                   std::wstring_view raw_arguments);

// Logs the notice's message and an empty line, then shows it through `show`
// unless the run is silent.
using FailureNoticeView = std::function<void(const FailureNotice&)>;
void ReportFailure(const StringTable& table, ResultCode code, const FailureFacts& run, bool silent,
                   std::wstring_view raw_arguments, DiagnosticLog& log, const FailureNoticeView& show);

}  // namespace lantern
