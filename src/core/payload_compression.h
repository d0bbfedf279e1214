// Which payload files a bootstrapper carries compressed. A build with at
// least one compressed file carries an RCDATA resource "LANTERN_COMPRESSED"
// whose bytes read a method word followed by "*<id>" for every compressed
// "TOOLKIT" resource, in ascending order:
//
//   "zstd*102*105"       each listed resource is zstd frames that decode on
//                        their own to the file whose size the catalogue gives;
//   "zstd-dict*102*105"  the same, but the frames may refer to a dictionary
//                        of raw content shared by every file: RCDATA
//                        "LANTERN_DICTIONARY", itself one zstd frame (made
//                        without a dictionary, its content size in its
//                        header) of at most kMaxDictionaryBytes bytes. A
//                        listed file may also be a frame that needs none.
//
// A build without the list carries every file as it is, exactly as a build
// made before compression existed. A program that knows only "zstd" refuses
// "zstd-dict" as a list it does not understand rather than decoding wrongly.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace lantern {

constexpr char16_t kCompressedPayloadName[] = u"LANTERN_COMPRESSED";
constexpr char16_t kCompressionDictionaryName[] = u"LANTERN_DICTIONARY";
constexpr std::string_view kCompressionMethod = "zstd";
constexpr std::string_view kDictionaryCompressionMethod = "zstd-dict";

// The largest window a compressed file may use, as a power of two (4 MB):
// the packer never uses a larger one, and the bootstrapper refuses one, so
// that each file being decoded holds at most this much memory.
constexpr int kCompressionWindowLog = 22;
// The compression level the packer uses.
constexpr int kCompressionLevel = 19;
// The largest dictionary a bootstrapper decodes: it is held once, for the
// whole extraction, next to every decoder's window.
constexpr std::uint32_t kMaxDictionaryBytes = 4u << 20;

struct CompressionList {
  std::set<std::uint32_t> ids;  // the compressed "TOOLKIT" resources
  bool dictionary = false;      // they need RCDATA "LANTERN_DICTIONARY"

  bool operator==(const CompressionList&) const = default;
};

// The resource's text for these ids (given in any order).
std::string CompressionListText(const CompressionList& list);

// The list the text gives; nothing when it is not such a list (another
// method, an empty field, an id that is not a number from 1 to 65535,
// trailing bytes).
std::optional<CompressionList> ParseCompressionList(std::string_view text);

}  // namespace lantern
