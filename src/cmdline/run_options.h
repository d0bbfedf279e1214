// The run's options from the command line: the run flags, the working-folder
// root, the log file, the help request and the front end's argument text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result_codes.h"
#include "log/log.h"

namespace lantern {

// What the options need from the system to find folders and expand paths.
class PathEnvironment {
 public:
  virtual ~PathEnvironment() = default;
  // The temporary folder (GetTempPathW); empty when it cannot be read.
  virtual std::wstring TempPath() = 0;
  // The user's application-data folder (CSIDL_APPDATA), if known.
  virtual std::optional<std::wstring> UserAppDataPath() = 0;
  // The all-users application-data folder (CSIDL_COMMON_APPDATA), if known.
  virtual std::optional<std::wstring> CommonAppDataPath() = 0;
  // The environment variable SystemDrive, if set.
  virtual std::optional<std::wstring> SystemDrive() = 0;
  // The drive of the Windows folder, such as "C:", for when SystemDrive is not set.
  virtual std::wstring WindowsDrive() = 0;
  // The full path of `path` under the Windows path rules, relative to the
  // current folder, at any length; nothing when it cannot be expanded.
  virtual std::optional<std::wstring> FullPath(const std::wstring& path) = 0;
};

// The settings one parse produces (the application object's fields of the same names).
struct RunOptions {
  bool ZeroGuid = false;
  bool RemoveFolder = true;
  bool RunFrontEnd = true;
  bool Silent = false;
  bool HelpRequested = false;
  std::wstring WorkingFolderRoot;
  std::wstring FrontEndCommandLine;
};

// Longest full path a path word may expand to, in characters.
constexpr std::size_t kMaxFullPath = 260;

// Turns the argument tokens (argument 0 already left out) into `options`,
// opens the log file named by "log" on `log`, and writes the four option
// lines. Result: 0 to go on, 1 when help was asked for (replacing any error),
// STG_E_INVALIDPARAMETER for a path word given as a switch or a path that
// cannot be expanded within kMaxFullPath characters, E_OUTOFMEMORY when memory
// runs out.
ResultCode ParseOptions(const std::vector<std::wstring>& tokens, std::wstring_view installer_name,
                        PathEnvironment& environment, DiagnosticLog& log, RunOptions& options);

// The argument tokens of a command line under the C runtime's rules, without
// argument 0 (the program).
std::vector<std::wstring> SplitCommandLine(std::wstring_view command_line);

}  // namespace lantern
