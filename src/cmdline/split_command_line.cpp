// Splitting a command line into argument tokens as the C runtime's start-up
// does, so the parser sees the same tokens on every build.
#include <cstddef>

#include "cmdline/run_options.h"

namespace lantern {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view command_line) {
  // The system hands the command line over as a C string.
  const std::size_t terminator = command_line.find(L'\0');
  if (terminator != std::wstring_view::npos) {
    command_line = command_line.substr(0, terminator);
  }
  const std::size_t end = command_line.size();
  std::size_t p = 0;

  // Argument 0 is a file name, so it follows simpler rules: double quotes
  // only switch grouping on and off, backslashes are plain, and it ends at the
  // first blank outside quotes. A path quoted in part, as a shell passes on
  // "C:\a b"\Setup.exe, is therefore all argument 0.
  bool in_quotes = false;
  while (p < end && (in_quotes || !IsBlank(command_line[p]))) {
    if (command_line[p] == L'"') {
      in_quotes = !in_quotes;
    }
    ++p;
  }

  std::vector<std::wstring> tokens;
  for (;;) {
    while (p < end && IsBlank(command_line[p])) {
      ++p;
    }
    if (p == end) {
      break;
    }
    std::wstring token;
    in_quotes = false;
    while (p < end) {
      std::size_t backslashes = 0;
      while (p < end && command_line[p] == L'\\') {
        ++backslashes;
        ++p;
      }
      if (p < end && command_line[p] == L'"') {
        token.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          token += L'"';
        } else if (in_quotes && p + 1 < end && command_line[p + 1] == L'"') {
          // Inside quotes two quotes stand for one literal quote, and the
          // quoted part goes on.
          token += L'"';
          ++p;
        } else {
          in_quotes = !in_quotes;
        }
        ++p;
        continue;
      }
      token.append(backslashes, L'\\');
      if (p == end || (!in_quotes && IsBlank(command_line[p]))) {
        break;
      }
      token += command_line[p];
      ++p;
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

}  // namespace lantern
