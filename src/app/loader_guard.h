// A run on a system that cannot keep DLL loading to the system folder. There
// the program's own folder stays first in the search for every DLL that a
// system DLL loads by name, and a bootstrapper usually starts from a downloads
// folder where anyone may have left such a DLL; run elevated, it would run
// that DLL as administrator. So the run does not start at all.
#pragma once

#include <functional>
#include <string>

#include "app/run_sequence.h"
#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

// What the user is told, and how a script sees it: the system is too old.
extern const wchar_t kUnsafeDllSearchMessage[];
constexpr ResultCode kUnsafeDllSearchResult = rc::OldWindowsVersion;

// Shows a message and waits until the user has read it.
using ShowMessage = std::function<void(const std::wstring& message)>;

// Reads the options (for the log file and for a silent run; a command line
// that does not parse changes nothing), logs the refusal, shows the message
// unless the run is silent, and ends the run with kUnsafeDllSearchResult.
// Nothing else runs: no signature check, no help page, no extraction.
ResultCode RefuseUnsafeDllSearch(RunState& run, const std::function<ResultCode()>& parse_options,
                                 DiagnosticLog& log, const ShowMessage& show);

}  // namespace lantern
