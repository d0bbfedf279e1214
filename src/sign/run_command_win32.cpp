#include <windows.h>

#include "core/utf8.h"
#include "sign/run_command.h"

namespace lantern::sign {
namespace {

// One argument as the C runtime's parser reads it back: quoted when it has a
// space, a tab or a quote, or is empty; backslashes doubled before a quote.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

std::wstring Wide(const std::string& text) {
  const auto wide = Utf16FromUtf8(text);
  return wide ? std::wstring(wide->begin(), wide->end()) : std::wstring();
}

}  // namespace

pe::Status RunCommand(const std::vector<std::string>& arguments) {
  std::wstring line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += L' ';
    AppendQuoted(line, Wide(argument));
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
