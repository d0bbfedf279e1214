// Which payload files a bootstrapper carries compressed. A build with at
// least one compressed file carries an RCDATA resource "LANTERN_COMPRESSED"
// whose bytes read "zstd" followed by "*<id>" for every compressed "TOOLKIT"
// resource, in ascending order, such as "zstd*102*105". A build without it
// carries every file as it is, exactly as a build made before compression
// existed. Each listed resource is zstd frames that decode to the file whose
// size the catalogue gives.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace lantern {

constexpr char16_t kCompressedPayloadName[] = u"LANTERN_COMPRESSED";
constexpr std::string_view kCompressionMethod = "zstd";

// The largest window a compressed file may use, as a power of two (4 MB):
// the packer never uses a larger one, and the bootstrapper refuses one, so
// that each file being decoded holds at most this much memory.
constexpr int kCompressionWindowLog = 22;
// The compression level the packer uses.
constexpr int kCompressionLevel = 19;

// The resource's text for these ids (given in any order).
std::string CompressionListText(const std::set<std::uint32_t>& ids);

// The ids the text lists; nothing when it is not such a list (another method,
// an empty field, an id that is not a number from 1 to 65535, trailing bytes).
std::optional<std::set<std::uint32_t>> ParseCompressionList(std::string_view text);

}  // namespace lantern
