#include "cmdline/front_end_command_line.h"

#include <cstddef>

namespace lantern {

std::wstring QuoteArgument(std::wstring_view argument, bool always_quote) {
  if (!always_quote && !argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos) {
    return std::wstring(argument);  // backslashes are plain when no quote follows
  }
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there 2n+1 give n and a literal quote.
    text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  // Before the closing quote 2n backslashes give n and leave the quote closing.
  text.append(backslashes * 2, L'\\');
  text += L'"';
  return text;
}

void BuildFrontEndCommandLine(const CCommandLineInfoEx& parser, std::wstring_view installer_name,
                              std::wstring& out) {
  std::wstring text;
  parser.Values.ForEach([&parser, &text](const std::wstring& key, const std::wstring& value) {
    if (value.empty()) {
      text += QuoteArgument(key);
    } else if (EqualsNoCase(value, L"TRUE") && parser.Switches.Contains(key)) {
      // Only a switch is passed bare: a path that reads "true" is still a path.
      text += QuoteArgument(L"/" + key);
    } else {
      text += QuoteArgument(L"/" + key);
      text += L' ';
      text += QuoteArgument(value, true);
    }
    text += L' ';
  });
  // The name comes from the signature, so it is quoted like any other text:
  // whatever it holds, it stays one argument.
  text += L"VT_I=";
  text += QuoteArgument(installer_name, true);
  text += L' ';
  out = std::move(text);
}

}  // namespace lantern
