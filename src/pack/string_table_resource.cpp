#include "pack/string_table_resource.h"

#include <algorithm>
#include <memory>

#include "pe/little_endian.h"

namespace lantern::pack {
namespace {

constexpr std::size_t kBlockEntries = 16;
// The longest block: sixteen entries of the longest length.
constexpr std::uint64_t kMaxBlockSize = kBlockEntries * 2 * (1 + std::uint64_t{kMaxStringTableEntry});
// Block n holds ids 16(n-1) to 16n-1, so the last id, 65535, is in block 4096.
constexpr std::uint16_t kLastBlock = 0xFFFF / kBlockEntries + 1;

std::string BlockName(std::uint16_t block) {
  const unsigned first = (block - 1u) * kBlockEntries;
  return "the string-table block #" + std::to_string(block) + " (ids " + std::to_string(first) + " to " +
         std::to_string(first + kBlockEntries - 1) + ")";
}

}  // namespace

pe::Result<StringEntries> ReadStringTable(pe::ByteSource& file, std::span<const pe::ResourceEntry> entries,
                                          std::uint16_t language) {
  StringEntries strings;
  for (const pe::ResourceEntry& entry : entries) {
    const pe::ResourceKey& key = entry.key;
    // The loader finds a block by its id; a named block, or one beyond the
    // last id, is never read.
    if (key.type != pe::ResourceId(pe::kTypeString) || key.name.IsName() || key.language != language)
      continue;
    const std::uint16_t block = key.name.Id();
    if (block == 0 || block > kLastBlock) continue;

    // Bytes after the sixteenth entry are never read: read no more than a
    // block can use.
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, kMaxBlockSize)));
    if (!file.ReadAt(entry.file_offset, bytes)) {
      return pe::Failure{"the data of " + BlockName(block) + " cannot be read"};
    }
    std::size_t at = 0;
    for (std::size_t index = 0; index < kBlockEntries; ++index) {
      if (at + 2 > bytes.size()) {
        return pe::Failure{BlockName(block) + " runs past its end at entry " + std::to_string(index)};
      }
      const std::size_t length = pe::ReadU16(&bytes[at]);
      at += 2;
      if (length * 2 > bytes.size() - at) {
        return pe::Failure{BlockName(block) + " runs past its end at entry " + std::to_string(index)};
      }
      if (length > 0) {
        std::u16string text(length, u'\0');
        for (std::size_t i = 0; i < length; ++i)
          text[i] = static_cast<char16_t>(pe::ReadU16(&bytes[at + 2 * i]));
        strings[static_cast<std::uint16_t>((block - 1u) * kBlockEntries + index)] = std::move(text);
      }
      at += length * 2;
    }
  }
  return strings;
}

std::vector<pe::Resource> StringTableResources(const StringEntries& strings, std::uint16_t language) {
  std::vector<pe::Resource> resources;
  auto it = strings.begin();
  while (it != strings.end()) {
    const unsigned block_index = it->first / kBlockEntries;
    const unsigned first = block_index * kBlockEntries;
    std::vector<std::uint8_t> bytes;
    bool any = false;
    for (unsigned id = first; id < first + kBlockEntries; ++id) {
      std::u16string_view text;
      if (it != strings.end() && it->first == id) {
        text = it->second;
        ++it;
      }
      text = text.substr(0, kMaxStringTableEntry);
      any = any || !text.empty();
      const std::size_t at = bytes.size();
      bytes.resize(at + 2 + 2 * text.size());
      pe::PutU16(&bytes[at], static_cast<std::uint16_t>(text.size()));
      for (std::size_t i = 0; i < text.size(); ++i) pe::PutU16(&bytes[at + 2 + 2 * i], text[i]);
    }
    if (!any) continue;
    resources.push_back(
        pe::Resource{pe::ResourceKey{pe::kTypeString, static_cast<std::uint16_t>(block_index + 1), language},
                     std::make_shared<pe::MemorySource>(std::move(bytes)), 0});
  }
  return resources;
}

pe::Status CheckStringTableEntries(const StringEntries& strings) {
  for (const auto& [id, text] : strings) {
    if (text.size() > kMaxStringTableEntry) {
      return pe::Failure{"string-table entry " + std::to_string(id) + " is " + std::to_string(text.size()) +
                         " characters long, more than the " + std::to_string(kMaxStringTableEntry) +
                         " an entry holds"};
    }
  }
  return pe::Done{};
}

}  // namespace lantern::pack
