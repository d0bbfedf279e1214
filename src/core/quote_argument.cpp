#include "core/quote_argument.h"

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

}  // namespace lantern
