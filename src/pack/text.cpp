#include "pack/text.h"

#include <cstdint>

namespace lantern::pack {

std::optional<std::u16string> Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::uint32_t point = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
      point = lead;
      length = 1;
    } else if ((lead & 0xE0) == 0xC0) {
      point = lead & 0x1F;
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      point = lead & 0x0F;
      length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      point = lead & 0x07;
      length = 4;
    } else {
      return std::nullopt;
    }
    if (at + length > text.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points beyond Unicode are no UTF-8.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
      return std::nullopt;
    if (point >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
    at += length;
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::uint32_t point = text[at];
    if (point >= 0xD800 && point <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[at + 1] - 0xDC00);
      ++at;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    if (point < 0x80) {
      out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (point >> 6)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (point >> 12)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (point >> 18)));
      out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
  return out;
}

}  // namespace lantern::pack
