#include "core/payload_compression.h"

#include <algorithm>
#include <charconv>

namespace lantern {

std::string CompressionListText(const std::set<std::uint32_t>& ids) {
  std::string text(kCompressionMethod);
  for (const std::uint32_t id : ids) text += '*' + std::to_string(id);
  return text;
}

std::optional<std::set<std::uint32_t>> ParseCompressionList(std::string_view text) {
  if (!text.starts_with(kCompressionMethod)) return std::nullopt;
  text.remove_prefix(kCompressionMethod.size());
  std::set<std::uint32_t> ids;
  while (!text.empty()) {
    if (text.front() != '*') return std::nullopt;
    text.remove_prefix(1);
    const std::size_t end = std::min(text.find('*'), text.size());
    const std::string_view field = text.substr(0, end);
    std::uint32_t id = 0;
    const auto [stop, error] = std::from_chars(field.data(), field.data() + field.size(), id);
    // Digits only: no sign, no space, no leading zero that would make two spellings of one id.
    if (field.empty() || error != std::errc{} || stop != field.data() + field.size() ||
        field.front() == '0' || id > 0xFFFF) {
      return std::nullopt;
    }
    ids.insert(id);
    text.remove_prefix(end);
  }
  return ids;
}

}  // namespace lantern
