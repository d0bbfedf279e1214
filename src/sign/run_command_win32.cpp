#include <windows.h>

#include "core/quote_argument.h"
#include "core/utf8.h"
#include "sign/run_command.h"

namespace lantern::sign {
namespace {

std::wstring Wide(const std::string& text) {
  const auto wide = Utf16FromUtf8(text);
  return wide ? std::wstring(wide->begin(), wide->end()) : std::wstring();
}

}  // namespace

pe::Status RunCommand(const std::vector<std::string>& arguments) {
  std::wstring line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += L' ';
    line += QuoteArgument(Wide(argument));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return pe::Failure{"the signing command '" + arguments[0] + "' cannot be started (error " +
                       std::to_string(GetLastError()) + ")"};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (code != 0) {
    return pe::Failure{"the signing command '" + arguments[0] + "' failed with exit status " + std::to_string(code)};
  }
  return pe::Done{};
}

}  // namespace lantern::sign
