#include "cmdline/string_map.h"

namespace lantern {

std::uint32_t HashStringKey(std::wstring_view key) {
  // Where wchar_t holds whole code points, split those beyond the basic plane
  // into the surrogate pairs a 16-bit wchar_t would hold.
  std::u16string units;
  units.reserve(key.size());
  for (const wchar_t c : key) {
    std::uint32_t code = static_cast<std::uint32_t>(c);
    if (code <= 0xFFFF) {
      units.push_back(static_cast<char16_t>(code));
    } else if (code <= 0x10FFFF) {
      code -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(u'\uFFFD');  // not a code point; cannot come from UTF-16 text
    }
  }

  const std::size_t n = units.size();
  const std::size_t step = n / 10 + 1;
  std::uint32_t hash = 0x811C9DC5u;
  for (std::size_t i = 0; i < n; i += step) {
    hash = (hash * 16777619u) ^ units[i];
  }
  return hash;
}

}  // namespace lantern
