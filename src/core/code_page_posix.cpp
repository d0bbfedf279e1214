// Where there is no Windows: code page 1252, the ANSI code page of the
// systems we test on, so that the bytes are those the Windows build makes.
#include <cstdint>
#include <iterator>

#include "core/code_page.h"

namespace lantern {

namespace {

// Bytes 0x80 to 0x9F hold typographic characters; the rest of the upper half
// is Latin-1.
constexpr char16_t kHighCharacters[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A character the code page cannot represent becomes its default character.
char ToCodePage(std::uint32_t code) {
  if (code <= 0x7F || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (std::size_t i = 0; i < std::size(kHighCharacters); ++i) {
    if (kHighCharacters[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::optional<std::string> ToAnsiCodePage(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const wchar_t c : text) bytes.push_back(ToCodePage(static_cast<std::uint32_t>(c)));
  return bytes;
}

std::wstring FromAnsiCodePage(std::string_view bytes) {
  std::wstring wide;
  wide.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    wide.push_back(byte >= 0x80 && byte <= 0x9F ? static_cast<wchar_t>(kHighCharacters[byte - 0x80])
                                                : static_cast<wchar_t>(byte));
  }
  return wide;
}

}  // namespace lantern
