// Case folding over the ASCII letters only: the words and names the program
// compares without regard to case (switches, processor modes, ".exe") are
// ASCII, and other letters must not change with the machine's locale.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace lantern {

constexpr wchar_t FoldAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

constexpr char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return std::ranges::equal(a, b, [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

inline std::wstring LowerAscii(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = FoldAscii(c);
  return lower;
}

inline std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = FoldAscii(c);
  return lower;
}

}  // namespace lantern
