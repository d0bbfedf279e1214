// Registry values as the probes take them: a number only from a number, a
// text only from a text.
#include "checks/registry.h"

namespace lantern {

std::optional<std::uint32_t> DwordFromValue(std::uint32_t type, std::span<const std::uint8_t> bytes) {
  if (type != registry_type::Dword || bytes.size() > 4) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return value;
}

std::optional<std::wstring> TextFromValue(std::uint32_t type, std::span<const std::uint8_t> bytes) {
  if (type != registry_type::Text) return std::nullopt;
  std::wstring text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto c = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    if (c == L'\0') break;
    text += c;
  }
  return text;
}

}  // namespace lantern
