// Starts the extracted front end, tells the main thread when it shows its
// first visible window, waits for it and collects its exit code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/config_strings.h"
#include "core/result_codes.h"
#include "launch/processor_mode.h"
#include "log/log.h"

namespace lantern {

struct LaunchContext {
  std::wstring working_folder;    // the front end's current folder
  HANDLE front_end_shown;         // set at the front end's first visible window
  DiagnosticLog& log;             // closed while the front end runs
  Wow64& wow64;
  const StringTable& strings;     // for the build's processor mode
};

// Result: 0; E_ABORT when the processor mode is refused (nothing is started);
// the system's error as a result (HRESULT_FROM_WIN32, E_FAIL when there is
// none) when the process cannot be created; a raw Win32 error when its exit
// code cannot be read. `exit_code` gets the front end's exit code.
ResultCode RunProgram(const std::wstring& program_path, const std::wstring& arguments, std::int32_t& exit_code,
                      const LaunchContext& context);

}  // namespace lantern
