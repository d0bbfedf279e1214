// The headers of a Windows executable image (PE32 for i686, PE32+ for
// x86-64) as read from its file: the DOS header's pointer to the NT headers,
// the file header, the optional header's sizes and data directories, and the
// section table. Every offset and size is checked against the file, so that
// whatever reads further (the resources) only follows offsets that are in it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/result.h"

namespace lantern::pe {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Indexes into the data directories.
constexpr std::size_t kResourceDirectory = 2;
// The certificate table: its address is a file offset, not an RVA.
constexpr std::size_t kCertificateDirectory = 4;
constexpr std::size_t kDebugDirectory = 6;
constexpr std::size_t kMaxDirectories = 16;

// Section flags a resource section carries.
constexpr std::uint32_t kSectionInitializedData = 0x00000040;
constexpr std::uint32_t kSectionRead = 0x40000000;

// The size of one section header in the section table.
constexpr std::uint32_t kSectionHeaderSize = 40;

struct DataDirectory {
  std::uint32_t address = 0;  // an RVA; a file offset for the certificate table
  std::uint32_t size = 0;
  bool operator==(const DataDirectory&) const = default;
};

struct Section {
  std::string name;  // as stored, up to 8 characters
  std::uint32_t virtual_size = 0;
  std::uint32_t virtual_address = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t characteristics = 0;

  // The addresses the section takes in memory: its virtual size, or its raw
  // size where a linker left the virtual size 0.
  std::uint32_t VirtualExtent() const { return virtual_size != 0 ? virtual_size : raw_size; }
};

struct Image {
  std::uint64_t file_size = 0;
  std::uint32_t nt_headers_offset = 0;  // e_lfanew
  std::uint16_t machine = 0;
  bool pe32_plus = false;
  std::uint32_t pointer_to_symbol_table = 0;
  std::uint32_t optional_header_offset = 0;
  std::uint16_t optional_header_size = 0;
  std::uint32_t section_table_offset = 0;
  std::uint32_t size_of_initialized_data = 0;
  std::uint32_t section_alignment = 0;
  std::uint32_t file_alignment = 0;
  std::uint32_t size_of_image = 0;
  std::uint32_t size_of_headers = 0;
  std::uint32_t checksum = 0;
  std::uint16_t subsystem = 0;
  // As many as the optional header lists (NumberOfRvaAndSizes, at most 16).
  std::vector<DataDirectory> directories;
  std::vector<Section> sections;

  // A directory the header lists, or an empty one.
  DataDirectory Directory(std::size_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  // Where fields the writer sets stand in the file.
  std::uint64_t ChecksumOffset() const { return optional_header_offset + 64u; }
  std::uint64_t DirectoryOffset(std::size_t index) const {
    return optional_header_offset + (pe32_plus ? 112u : 96u) + 8u * index;
  }
  // The section whose memory holds `rva`, if any.
  const Section* SectionAt(std::uint32_t rva) const;
  // Where the `size` bytes at `rva` are in the file: nothing unless they all
  // lie within one section's bytes in the file.
  std::optional<std::uint64_t> FileOffset(std::uint32_t rva, std::uint32_t size) const;
  // Where the headers and every section's bytes in the file have ended;
  // anything after this is the overlay (a certificate table, appended data).
  std::uint64_t EndOfSections() const;
};

// Reads and checks the headers. Fails, with what is wrong, for a file too
// short for its headers, one that is not a PE image, a bad e_lfanew, an
// unknown optional header, impossible alignments, or a section table or
// section bytes outside the file.
Result<Image> ReadImage(ByteSource& file);

// The PE checksum of `file` (the algorithm the system's image helper uses:
// 16-bit words added with end-around carry, the checksum field taken as 0,
// then the file's length added), fed a piece at a time.
class ChecksumAccumulator {
 public:
  // `checksum_offset` is where the checksum field stands in the file.
  explicit ChecksumAccumulator(std::uint64_t checksum_offset) : checksum_offset_(checksum_offset) {}
  void Add(std::span<const std::uint8_t> bytes);
  // The checksum of the bytes added so far, as a whole file.
  std::uint32_t Finish() const;

 private:
  void AddByte(std::uint8_t byte);

  std::uint64_t checksum_offset_;
  std::uint64_t length_ = 0;
  std::uint32_t sum_ = 0;
  std::uint8_t low_ = 0;  // the first byte of a word whose second is still to come
};

// The checksum a file's header should hold, reading the file through once.
Result<std::uint32_t> ComputeChecksum(ByteSource& file, const Image& image);

}  // namespace lantern::pe
