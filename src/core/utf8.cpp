#include "core/utf8.h"

#include <cstdint>

namespace lantern {

std::optional<std::u32string> DecodeUtf8(std::string_view bytes) {
  std::u32string text;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<std::uint8_t>(bytes[at]);
    std::size_t length = 1;
    char32_t point = lead;
    if (lead >= 0x80) {
      if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1Fu;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0Fu;
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07u;
      } else {
        return std::nullopt;
      }
      if (bytes.size() - at < length) return std::nullopt;
      for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(bytes[at + i]);
        if ((next & 0xC0u) != 0x80u) return std::nullopt;
        point = (point << 6) | (next & 0x3Fu);
      }
      constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
      if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
        return std::nullopt;
    }
    text.push_back(point);
    at += length;
  }
  return text;
}

void AppendUtf8(std::string& out, char32_t point) {
  if ((point >= 0xD800 && point < 0xE000) || point > 0x10FFFF) point = 0xFFFD;
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

std::optional<std::u16string> Utf16FromUtf8(std::string_view text) {
  const auto points = DecodeUtf8(text);
  if (!points) return std::nullopt;
  std::u16string out;
  for (const char32_t point : *points) {
    if (point >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    char32_t point = text[at];
    if (point >= 0xD800 && point <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[at + 1] - 0xDC00);
      ++at;
    }
    AppendUtf8(out, point);
  }
  return out;
}

}  // namespace lantern
