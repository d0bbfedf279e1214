#include "core/embedded_info.h"

#include <algorithm>
#include <array>

namespace lantern {

std::optional<EmbeddedInformation> FindEmbeddedInformation(
    std::span<const unsigned char, kEmbeddedScanSize> tail) {
  // The buffer ends one byte before the file does, so the information (which
  // stops six bytes before the end of the file) ends at buffer position 4110.
  constexpr std::size_t kInformationEnd = kEmbeddedScanSize - 5;
  for (std::size_t p = kEmbeddedScanSize - 5; p >= 1; --p) {
    if (!std::equal(std::begin(kEmbeddedMarker), std::end(kEmbeddedMarker), tail.begin() + p)) continue;
    const std::size_t start = p + sizeof(kEmbeddedMarker);
    if (start >= kInformationEnd) return std::nullopt;
    return EmbeddedInformation{start, kInformationEnd - start};
  }
  return std::nullopt;
}

namespace {

std::uint32_t U16(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t U32(std::span<const unsigned char> bytes, std::size_t at) {
  return U16(bytes, at) | U16(bytes, at + 2) << 16;
}

// A block found in the window that ends at some offset of the file.
struct FoundBlock {
  std::uint64_t marker = 0;  // the marker's offset in the file
  std::uint64_t information = 0;
  std::vector<unsigned char> bytes;
};

// The block that ends six bytes before `end`, read as the bootstrapper reads
// the end of its file: the 4,116 bytes from 4,117 before `end`.
std::optional<FoundBlock> BlockEndingAt(std::uint64_t end, const ReadFileBytes& read) {
  if (end <= kEmbeddedScanSize) return std::nullopt;
  std::array<unsigned char, kEmbeddedScanSize> window{};
  const std::uint64_t start = end - kEmbeddedSeekBack;
  if (!read(start, window)) return std::nullopt;
  const std::optional<EmbeddedInformation> found = FindEmbeddedInformation(window);
  if (!found) return std::nullopt;
  const auto first = window.begin() + static_cast<std::ptrdiff_t>(found->offset);
  return FoundBlock{start + found->offset - sizeof kEmbeddedMarker, start + found->offset,
                    std::vector<unsigned char>(first, first + static_cast<std::ptrdiff_t>(found->size))};
}

LocatedInformation Taken(std::optional<FoundBlock> block) {
  LocatedInformation located;
  if (block) {
    located.information = std::move(block->bytes);
    located.offset = block->information;
  }
  return located;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(std::span<const unsigned char> head,
                                                     std::uint64_t file_size) {
  constexpr std::size_t kCertificateDirectory = 4;
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
  const std::uint64_t nt = U32(head, 0x3C);
  // The signature "PE\0\0", the file header, then the optional header.
  const std::uint64_t optional = nt + 24;
  if (optional + 2 > head.size() || U32(head, nt) != 0x00004550) return std::nullopt;
  const std::uint32_t optional_size = U16(head, nt + 20);
  const std::uint32_t magic = U16(head, optional);
  std::uint64_t count_at = 0;
  if (magic == 0x10B) {
    count_at = 92;  // PE32
  } else if (magic == 0x20B) {
    count_at = 108;  // PE32+
  } else {
    return std::nullopt;
  }
  const std::uint64_t entry = count_at + 4 + 8 * kCertificateDirectory;
  if (entry + 8 > optional_size || optional + entry + 8 > head.size()) return std::nullopt;
  if (U32(head, optional + count_at) <= kCertificateDirectory) return std::nullopt;
  const std::uint64_t offset = U32(head, optional + entry);
  const std::uint64_t size = U32(head, optional + entry + 4);
  if (offset == 0 || size == 0 || offset + size > file_size) return std::nullopt;
  return CertificateTable{offset, size};
}

LocatedInformation LocateEmbeddedInformation(std::uint64_t file_size, InformationMode mode,
                                             const ReadFileBytes& read) {
  if (file_size <= kEmbeddedScanSize) return {};
  std::vector<unsigned char> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(file_size, kHeadersReadSize)));
  const std::optional<CertificateTable> table =
      read(0, head) ? FindCertificateTable(head, file_size) : std::nullopt;
  std::optional<FoundBlock> at_end = BlockEndingAt(file_size, read);
  // Unsigned: the signed bytes, had it any, would end with the file.
  if (!table) return Taken(std::move(at_end));
  const CertificateTable signed_table = *table;

  // A marker at or after the table's start was put there after signing; one
  // before it is the block at the end of the signed bytes, seen through a
  // small table.
  const bool added_after_signing = at_end && at_end->marker >= signed_table.offset;
  if (mode == InformationMode::Stamped && added_after_signing &&
      at_end->marker < signed_table.offset + signed_table.size) {
    return Taken(std::move(at_end));
  }
  LocatedInformation located = Taken(BlockEndingAt(signed_table.offset, read));
  located.ignored_later_block = mode == InformationMode::Sealed && added_after_signing;
  if (mode == InformationMode::Stamped) {
    // A block packed in and then signed by a tool that knew nothing of it:
    // the tool padded the file with zero bytes to the table's 8-byte
    // alignment, after the block's own six. A sealed block needs no padding.
    for (std::size_t padding = 0; padding + 1 < kSealedInformationAlignment &&
                                  located.information.size() > 1 && located.information.back() == 0;
         ++padding) {
      located.information.pop_back();
    }
  }
  return located;
}

}  // namespace lantern
