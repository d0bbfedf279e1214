#include "core/payload_compression.h"

#include <algorithm>
#include <charconv>

namespace lantern {

std::string CompressionListText(const CompressionList& list) {
  std::string text(list.dictionary ? kDictionaryCompressionMethod : kCompressionMethod);
  for (const std::uint32_t id : list.ids) text += '*' + std::to_string(id);
  return text;
}

std::optional<CompressionList> ParseCompressionList(std::string_view text) {
  CompressionList list;
  const std::string_view method = text.substr(0, std::min(text.find('*'), text.size()));
  if (method == kDictionaryCompressionMethod) {
    list.dictionary = true;
  } else if (method != kCompressionMethod) {
    return std::nullopt;
  }
  text.remove_prefix(method.size());
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
    list.ids.insert(id);
    text.remove_prefix(end);
  }
  return list;
}

}  // namespace lantern
