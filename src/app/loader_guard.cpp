#include "app/loader_guard.h"

namespace lantern {

const wchar_t kUnsafeDllSearchMessage[] =
    L"This installer cannot run safely on this computer: Windows lacks the update that lets a program load "
    L"system libraries from the system folder only (KB2533623). Install the latest Windows updates, then "
    L"run the installer again.";

ResultCode RefuseUnsafeDllSearch(RunState& run, const std::function<ResultCode()>& parse_options,
                                 DiagnosticLog& log, const ShowMessage& show) {
  parse_options();
  log.LogFormat(L"DLL search cannot be limited to the system folder; not running %0x\n",
                kUnsafeDllSearchResult);
  if (!run.options.Silent) show(kUnsafeDllSearchMessage);
  run.RunResult = kUnsafeDllSearchResult;
  return kUnsafeDllSearchResult;
}

}  // namespace lantern
