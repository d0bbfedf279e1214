#include "pack/default_strings.h"

#include <string>

namespace lantern::pack {
namespace {

struct DefaultEntry {
  unsigned id;
  const wchar_t* text;
};

constexpr DefaultEntry kDefaults[] = {
#include "default_strings.inc"
};

std::u16string ToUtf16(const wchar_t* text) {
  std::u16string out;
  for (; *text; ++text) {
    const auto unit = static_cast<std::uint32_t>(*text);
    if (unit > 0xFFFF) {  // a wide character of 32 bits beyond the basic plane
      out.push_back(static_cast<char16_t>(0xD800 + ((unit - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((unit - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(unit));
    }
  }
  return out;
}

}  // namespace

const StringEntries& DefaultStrings() {
  static const StringEntries strings = [] {
    StringEntries entries;
    for (const auto& entry : kDefaults) entries[static_cast<std::uint16_t>(entry.id)] = ToUtf16(entry.text);
    return entries;
  }();
  return strings;
}

}  // namespace lantern::pack
