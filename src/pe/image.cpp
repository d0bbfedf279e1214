#include "pe/image.h"

#include <algorithm>
#include <vector>

#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
// The system loads no image with more sections than this.
constexpr std::uint16_t kMaxSections = 96;

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string SectionName(const std::uint8_t* field) {
  std::string name;
  for (int i = 0; i < 8 && field[i] != 0; ++i) {
    const char c = static_cast<char>(field[i]);
    name.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  }
  return name;
}

}  // namespace

const Section* Image::SectionAt(std::uint32_t rva) const {
  for (const Section& section : sections) {
    if (rva >= section.virtual_address && rva - section.virtual_address < section.VirtualExtent()) {
      return &section;
    }
  }
  return nullptr;
}

std::optional<std::uint64_t> Image::FileOffset(std::uint32_t rva, std::uint32_t size) const {
  const Section* section = SectionAt(rva);
  if (section == nullptr) return std::nullopt;
  const std::uint32_t within = rva - section->virtual_address;
  if (within > section->raw_size || size > section->raw_size - within) return std::nullopt;
  return std::uint64_t{section->raw_offset} + within;
}

std::uint64_t Image::EndOfSections() const {
  std::uint64_t end = size_of_headers;
  for (const Section& section : sections) {
    if (section.raw_size != 0) end = std::max(end, std::uint64_t{section.raw_offset} + section.raw_size);
  }
  return end;
}

Result<Image> ReadImage(ByteSource& file) {
  Image image;
  image.file_size = file.Size();
  if (image.file_size < kDosHeaderSize) {
    return Failure{"not a Windows program: the file is too short for a DOS header (" +
                   std::to_string(image.file_size) + " bytes)"};
  }
  std::uint8_t dos[kDosHeaderSize];
  if (!file.ReadAt(0, dos)) return Failure{"the DOS header cannot be read"};
  if (dos[0] != 'M' || dos[1] != 'Z') return Failure{"not a Windows program: no 'MZ' signature"};
  image.nt_headers_offset = ReadU32(dos + 0x3C);
  const std::uint64_t nt = image.nt_headers_offset;
  if (nt + 4 + kFileHeaderSize > image.file_size) {
    return Failure{"the PE header offset (e_lfanew " + Hex(nt) + ") lies outside the file of " +
                   Hex(image.file_size) + " bytes"};
  }
  std::uint8_t signature_and_file_header[4 + kFileHeaderSize];
  if (!file.ReadAt(nt, signature_and_file_header)) return Failure{"the PE header cannot be read"};
  const std::uint8_t* header = signature_and_file_header;
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) {
    return Failure{"not a Windows program: no PE signature at e_lfanew " + Hex(nt)};
  }
  image.machine = ReadU16(header + 4);
  const std::uint16_t section_count = ReadU16(header + 6);
  image.pointer_to_symbol_table = ReadU32(header + 12);
  image.optional_header_size = ReadU16(header + 20);
  image.optional_header_offset = static_cast<std::uint32_t>(nt + 4 + kFileHeaderSize);
  if (section_count > kMaxSections) {
    return Failure{"the image lists " + std::to_string(section_count) + " sections; at most " +
                   std::to_string(kMaxSections) + " can be loaded"};
  }

  const std::uint64_t optional_end = std::uint64_t{image.optional_header_offset} + image.optional_header_size;
  if (image.optional_header_size < 2 || optional_end > image.file_size) {
    return Failure{"the optional header (" + std::to_string(image.optional_header_size) +
                   " bytes) runs past the end of the file"};
  }
  std::vector<std::uint8_t> optional(image.optional_header_size);
  if (!file.ReadAt(image.optional_header_offset, optional))
    return Failure{"the optional header cannot be read"};
  const std::uint16_t magic = ReadU16(optional.data());
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
    return Failure{"unknown optional header magic " + Hex(magic) + " (expected 0x10B or 0x20B)"};
  }
  image.pe32_plus = magic == kMagicPe32Plus;
  const std::uint32_t directories_at = image.pe32_plus ? 112 : 96;
  if (image.optional_header_size < directories_at) {
    return Failure{"the optional header is too short (" + std::to_string(image.optional_header_size) +
                   " bytes, at least " + std::to_string(directories_at) + " needed)"};
  }
  const std::uint8_t* fields = optional.data();
  image.size_of_initialized_data = ReadU32(fields + 8);
  image.section_alignment = ReadU32(fields + 32);
  image.file_alignment = ReadU32(fields + 36);
  image.size_of_image = ReadU32(fields + 56);
  image.size_of_headers = ReadU32(fields + 60);
  image.checksum = ReadU32(fields + 64);
  image.subsystem = ReadU16(fields + 68);
  const std::uint32_t listed = ReadU32(fields + directories_at - 4);
  const std::uint32_t room = (image.optional_header_size - directories_at) / 8;
  if (listed > room) {
    return Failure{"the optional header lists " + std::to_string(listed) +
                   " data directories but has room for " + std::to_string(room)};
  }
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(listed, kMaxDirectories); ++i) {
    const std::uint8_t* entry = fields + directories_at + 8 * i;
    image.directories.push_back({ReadU32(entry), ReadU32(entry + 4)});
  }

  if (!IsPowerOfTwo(image.file_alignment) || !IsPowerOfTwo(image.section_alignment) ||
      image.section_alignment < image.file_alignment) {
    return Failure{"impossible alignments: file " + Hex(image.file_alignment) + ", section " +
                   Hex(image.section_alignment)};
  }
  if (image.size_of_headers > image.file_size) {
    return Failure{"the headers (SizeOfHeaders " + Hex(image.size_of_headers) +
                   ") run past the end of the file"};
  }

  image.section_table_offset = static_cast<std::uint32_t>(optional_end);
  const std::uint64_t table_size = std::uint64_t{section_count} * kSectionHeaderSize;
  if (optional_end + table_size > image.file_size) {
    return Failure{"the section table (" + std::to_string(section_count) +
                   " sections) runs past the end of the file"};
  }
  std::vector<std::uint8_t> table(table_size);
  if (!file.ReadAt(optional_end, table)) return Failure{"the section table cannot be read"};
  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::uint8_t* entry = table.data() + i * kSectionHeaderSize;
    Section section;
    section.name = SectionName(entry);
    section.virtual_size = ReadU32(entry + 8);
    section.virtual_address = ReadU32(entry + 12);
    section.raw_size = ReadU32(entry + 16);
    section.raw_offset = ReadU32(entry + 20);
    section.characteristics = ReadU32(entry + 36);
    if (section.raw_size != 0 && std::uint64_t{section.raw_offset} + section.raw_size > image.file_size) {
      return Failure{"section '" + section.name + "' runs past the end of the file (its bytes are at " +
                     Hex(section.raw_offset) + ", " + Hex(section.raw_size) + " long, in a file of " +
                     Hex(image.file_size) + " bytes)"};
    }
    if (std::uint64_t{section.virtual_address} + section.VirtualExtent() > 0xFFFFFFFFull) {
      return Failure{"section '" + section.name + "' reaches past 4 GB of addresses"};
    }
    image.sections.push_back(std::move(section));
  }
  return image;
}

void ChecksumAccumulator::AddByte(std::uint8_t byte) {
  if (length_ >= checksum_offset_ && length_ < checksum_offset_ + 4) byte = 0;
  if ((length_ & 1) == 0) {
    low_ = byte;
  } else {
    sum_ += static_cast<std::uint32_t>(low_) | (static_cast<std::uint32_t>(byte) << 8);
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
  }
  ++length_;
}

void ChecksumAccumulator::Add(std::span<const std::uint8_t> bytes) {
  std::size_t at = 0;
  // Byte by byte until a word starts and wherever the checksum field is near;
  // word by word elsewhere.
  while (at < bytes.size()) {
    const bool near_field = length_ + 8 > checksum_offset_ && length_ < checksum_offset_ + 4;
    if ((length_ & 1) != 0 || near_field || bytes.size() - at < 2) {
      AddByte(bytes[at++]);
      continue;
    }
    std::size_t words = (bytes.size() - at) / 2;
    if (length_ < checksum_offset_) {
      words = std::min<std::uint64_t>(words, (checksum_offset_ - length_) / 2 - 3);
    }
    std::uint64_t sum = sum_;
    // Four words at a time, as two 32-bit numbers: 65536 leaves 1 when
    // divided by 65535, so a 32-bit number counts as its two words do in a
    // sum folded back into 16 bits.
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4) {
      const std::uint8_t* b = bytes.data() + at;
      sum +=
          static_cast<std::uint64_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24) +
          static_cast<std::uint64_t>(b[4] | b[5] << 8 | b[6] << 16 | static_cast<std::uint32_t>(b[7]) << 24);
      at += 8;
      // Folding now and then gives the same result as after every word.
      if ((i & 0xFFFFF) == 0) sum = (sum & 0xFFFF) + (sum >> 16);
    }
    for (; i < words; ++i) {
      sum += static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8);
      at += 2;
    }
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    sum_ = static_cast<std::uint32_t>(sum);
    length_ += 2 * words;
  }
}

std::uint32_t ChecksumAccumulator::Finish() const {
  std::uint32_t sum = sum_;
  if ((length_ & 1) != 0) {
    sum += low_;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + length_);
}

Result<std::uint32_t> ComputeChecksum(ByteSource& file, const Image& image) {
  ChecksumAccumulator checksum(image.ChecksumOffset());
  std::vector<std::uint8_t> buffer(1 << 20);
  const std::uint64_t size = file.Size();
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
    const std::span<std::uint8_t> bytes(buffer.data(), piece);
    if (!file.ReadAt(at, bytes)) return Failure{"the file cannot be read at " + Hex(at)};
    checksum.Add(bytes);
    at += piece;
  }
  return checksum.Finish();
}

}  // namespace lantern::pe
