#include "launch/processor_mode.h"

#include <string>

#include "core/ascii_case.h"

namespace lantern {

ProcessorMode SelectProcessorMode(std::wstring_view program_type) {
  if (EqualsNoCase(program_type, L"x86")) return ProcessorMode::x86;
  if (EqualsNoCase(program_type, L"x64")) return ProcessorMode::x64;
  if (EqualsNoCase(program_type, L"x32Only")) return ProcessorMode::x32Only;
  return ProcessorMode::Any;
}

ModeDecision DecideProcessorMode(ProcessorMode mode, bool wow64) {
  switch (mode) {
    case ProcessorMode::Any: return wow64 ? ModeDecision::SwitchOff : ModeDecision::GoOn;
    case ProcessorMode::x86: return ModeDecision::GoOn;
    case ProcessorMode::x64: return wow64 ? ModeDecision::SwitchOff : ModeDecision::Refuse;
    case ProcessorMode::x32Only: return wow64 ? ModeDecision::Refuse : ModeDecision::GoOn;
  }
  return ModeDecision::Refuse;
}

ProcessorMode ReadProgramType(const StringTable& strings, DiagnosticLog& log) {
  const std::wstring text = LoadConfigString(strings, cfg::ProgramType);
  log.LogFormat(L"ProgramType '%s'\n", text);
  const ProcessorMode mode = SelectProcessorMode(text);
  switch (mode) {
    case ProcessorMode::Any: log.LogText(L"Staying on Any\n"); break;
    case ProcessorMode::x86: log.LogText(L"Swapping to x86\n"); break;
    case ProcessorMode::x64: log.LogText(L"Swapping to x64\n"); break;
    case ProcessorMode::x32Only: log.LogText(L"Swapping to 32Bit only\n"); break;
  }
  return mode;
}

bool EnterProcessorMode(bool& redirection_disabled, Wow64& wow64, const StringTable& strings, DiagnosticLog& log) {
  const ProcessorMode mode = ReadProgramType(strings, log);
  switch (DecideProcessorMode(mode, wow64.IsWow64())) {
    case ModeDecision::GoOn:
      return true;
    case ModeDecision::SwitchOff:
      log.LogText(L"Enabling 64Bit spawned processes\n");
      wow64.DisableFsRedirection();
      redirection_disabled = true;
      return true;
    case ModeDecision::Refuse:
      break;
  }
  log.LogText(L"Incorrect processor mode with installation type\n");
  return false;
}

void RestoreProcessorMode(bool& redirection_disabled, Wow64& wow64, DiagnosticLog& log) {
  if (!redirection_disabled) return;
  log.LogText(L"Restoring 32Bit spawned processes\n");
  wow64.RevertFsRedirection();
  redirection_disabled = false;
}

}  // namespace lantern
