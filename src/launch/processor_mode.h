// Processor mode: whether the build's front end may start on this machine,
// and whether file-system redirection is switched off around its start.
#pragma once

#include <string_view>

#include "core/config_strings.h"
#include "log/log.h"

namespace lantern {

enum class ProcessorMode { Any = 0, x86 = 1, x64 = 2, x32Only = 3 };

// The mode a ProgramType text selects, without regard to case; any other text
// (also an empty one) means any mode.
ProcessorMode SelectProcessorMode(std::wstring_view program_type);

// What the launch does for a mode on a kind of system.
enum class ModeDecision { GoOn, SwitchOff, Refuse };
ModeDecision DecideProcessorMode(ProcessorMode mode, bool wow64);

// The system's WOW64 services, as the launch needs them.
class Wow64 {
 public:
  virtual ~Wow64() = default;
  // The process runs under WOW64 (a 32-bit program on 64-bit Windows).
  virtual bool IsWow64() = 0;
  // Switch this thread's file-system redirection off, and back on.
  virtual void DisableFsRedirection() = 0;
  virtual void RevertFsRedirection() = 0;
};

// Reads ProgramType (entry 0) and logs it and the mode it selects.
ProcessorMode ReadProgramType(const StringTable& strings, DiagnosticLog& log);

// True when the launch may go on. Sets `redirection_disabled` when it has
// switched the redirection off.
bool EnterProcessorMode(bool& redirection_disabled, Wow64& wow64, const StringTable& strings,
                        DiagnosticLog& log);

// Switches the redirection back on when EnterProcessorMode switched it off.
void RestoreProcessorMode(bool& redirection_disabled, Wow64& wow64, DiagnosticLog& log);

}  // namespace lantern
