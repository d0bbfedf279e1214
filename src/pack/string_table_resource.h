// The string table as resources: entries in blocks of sixteen (block n holds
// ids 16(n-1) to 16n-1), each entry a length and that many UTF-16 units, as
// the system's string loader reads them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/resources.h"
#include "pe/result.h"

namespace lantern::pack {

using StringEntries = std::map<std::uint16_t, std::u16string>;

// The longest entry, in UTF-16 units: its length is held in 16 bits.
constexpr std::size_t kMaxStringTableEntry = 0xFFFF;

// The entries of the string-table blocks of `language` among `entries`
// (read from `file`). An empty entry counts as absent, as for the loader.
pe::Result<StringEntries> ReadStringTable(pe::ByteSource& file, std::span<const pe::ResourceEntry> entries,
                                          std::uint16_t language);

// The blocks that hold `strings`, in `language`; no block for sixteen absent ids.
// The entries must have passed CheckStringTableEntries.
std::vector<pe::Resource> StringTableResources(const StringEntries& strings, std::uint16_t language);

// Fails for an entry longer than kMaxStringTableEntry, naming its id.
pe::Status CheckStringTableEntries(const StringEntries& strings);

}  // namespace lantern::pack
