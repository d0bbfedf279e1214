#include "pe/rewrite.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

constexpr std::size_t kPiece = 1 << 20;
constexpr std::uint64_t kFourGigabytes = 0x100000000ull;
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
// The page size of every system that runs these images. A section whose bytes
// start on a page boundary in the file, as they do in memory, can be mapped
// from the file by the loader; one that does not is read into the process's
// private memory as a whole, which for a payload of hundreds of megabytes
// costs as much memory again.
constexpr std::uint32_t kPageSize = 0x1000;
constexpr char kResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// The output in order, with the checksum kept as it goes.
class Writer {
 public:
  Writer(ByteSink& sink, std::uint64_t checksum_offset)
      : sink_(sink), checksum_(checksum_offset), buffer_(kPiece) {}

  Status Write(std::span<const std::uint8_t> bytes) {
    if (!sink_.Write(bytes)) return Failure{"writing the new image failed at " + Hex(written_)};
    checksum_.Add(bytes);
    written_ += bytes.size();
    return Done{};
  }

  Status Zeros(std::uint64_t count) {
    std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
    while (count != 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size()));
      Status status = Write({buffer_.data(), piece});
      if (!status) return status;
      count -= piece;
    }
    return Done{};
  }

  // `size` bytes of `source` from `offset` on; `what` names them in a failure.
  Status Copy(ByteSource& source, std::uint64_t offset, std::uint64_t size, const std::string& what) {
    while (size != 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer_.size()));
      const std::span<std::uint8_t> bytes(buffer_.data(), piece);
      if (!source.ReadAt(offset, bytes)) return Failure{"reading " + what + " failed at " + Hex(offset)};
      Status status = Write(bytes);
      if (!status) return status;
      offset += piece;
      size -= piece;
    }
    return Done{};
  }

  std::uint64_t Written() const { return written_; }
  std::uint32_t Checksum() const { return checksum_.Finish(); }

 private:
  ByteSink& sink_;
  ChecksumAccumulator checksum_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
};

// The overlay without the certificate table: the ranges of the input kept
// after the last section, in order.
std::vector<std::pair<std::uint64_t, std::uint64_t>> OverlayPieces(const Image& image) {
  const std::uint64_t start = image.EndOfSections();
  const std::uint64_t end = image.file_size;
  const DataDirectory certificate = image.Directory(kCertificateDirectory);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> pieces;
  if (certificate.address == 0 || certificate.size == 0) {
    if (start < end) pieces.emplace_back(start, end);
    return pieces;
  }
  const std::uint64_t cut_start = std::clamp<std::uint64_t>(certificate.address, start, end);
  const std::uint64_t cut_end =
      std::clamp<std::uint64_t>(std::uint64_t{certificate.address} + certificate.size, start, end);
  if (start < cut_start) pieces.emplace_back(start, cut_start);
  if (cut_end < end) pieces.emplace_back(cut_end, end);
  return pieces;
}

}  // namespace

Result<RewriteSummary> WriteWithResources(ByteSource& input, const Image& image,
                                          std::span<const Resource> resources, ByteSink& output,
                                          std::span<const std::uint8_t> trailer,
                                          std::uint32_t trailer_end_alignment) {
  if (input.Size() != image.file_size) return Failure{"the image's file changed after its headers were read"};
  if (image.directories.size() <= kResourceDirectory) {
    return Failure{"the optional header has no entry for a resource directory"};
  }
  // The system loads no image aligned more coarsely in its file; a larger
  // alignment would pad the output by as much.
  if (image.file_alignment > kMaxFileAlignment) {
    return Failure{"the file alignment " + Hex(image.file_alignment) + " is beyond 64 KB"};
  }
  RewriteSummary summary;
  const std::uint64_t old_end = image.EndOfSections();
  // The new resource section starts on a page in the file wherever its
  // address is on a page; the file alignment still holds, as a page is a
  // multiple of it.
  const std::uint64_t resource_alignment = image.section_alignment % kPageSize == 0
                                               ? std::max(image.file_alignment, kPageSize)
                                               : image.file_alignment;

  // The old resource section is replaced when nothing follows it, in memory
  // or in the file.
  const DataDirectory old_directory = image.Directory(kResourceDirectory);
  const Section* old_section = old_directory.address != 0 ? image.SectionAt(old_directory.address) : nullptr;
  const auto last = std::max_element(
      image.sections.begin(), image.sections.end(),
      [](const Section& a, const Section& b) { return a.virtual_address < b.virtual_address; });
  const bool replace = old_section != nullptr && &*last == old_section && old_section->raw_size != 0 &&
                       std::uint64_t{old_section->raw_offset} + old_section->raw_size == old_end &&
                       old_section->raw_offset >= image.size_of_headers;
  summary.appended_section = !replace;
  const std::size_t section_index =
      replace ? static_cast<std::size_t>(old_section - image.sections.data()) : image.sections.size();
  const std::uint64_t table_end = image.section_table_offset + kSectionHeaderSize * (section_index + 1);

  std::uint64_t new_rva = 0;
  std::uint64_t new_offset = 0;
  std::uint64_t copy_end = 0;  // the input's bytes copied as they are, headers patched
  std::uint64_t image_end = AlignUp(image.size_of_headers, image.section_alignment);
  for (const Section& section : image.sections) {
    if (replace && &section == old_section) continue;
    image_end = std::max(image_end, AlignUp(std::uint64_t{section.virtual_address} + section.VirtualExtent(),
                                            image.section_alignment));
  }
  if (replace) {
    new_rva = old_section->virtual_address;
    copy_end = old_section->raw_offset;
    new_offset = AlignUp(copy_end, resource_alignment);
  } else {
    std::uint64_t first_bytes = old_end;
    for (const Section& section : image.sections) {
      if (section.raw_size != 0) first_bytes = std::min<std::uint64_t>(first_bytes, section.raw_offset);
    }
    if (table_end > image.size_of_headers || table_end > first_bytes) {
      return Failure{"the headers have no room for another section header (" +
                     std::to_string(image.sections.size()) + " sections, SizeOfHeaders " +
                     Hex(image.size_of_headers) + ")"};
    }
    new_rva = image_end;
    new_offset = AlignUp(old_end, resource_alignment);
    copy_end = old_end;
  }
  const std::uint64_t headers_end = std::max<std::uint64_t>(image.size_of_headers, table_end);
  if (headers_end > copy_end) return Failure{"the section table overlaps the bytes of a section"};

  // A resource section that another section follows stays where it is in
  // memory, but its bytes leave the file: the new section holds every
  // resource, and the sections after it move down in the file (their
  // addresses do not change). Only where nothing else points into the file
  // by offset: no debug directory, no symbol table among the sections.
  std::uint64_t drop_start = 0;
  std::uint64_t drop_size = 0;
  if (!replace && old_section != nullptr && old_section->raw_size != 0 && old_section->virtual_size != 0 &&
      old_section->raw_offset >= headers_end && old_section->raw_offset % image.file_alignment == 0 &&
      old_section->raw_size % image.file_alignment == 0 && image.Directory(kDebugDirectory).size == 0 &&
      (image.pointer_to_symbol_table == 0 || image.pointer_to_symbol_table >= old_end)) {
    const std::uint64_t start = old_section->raw_offset;
    const std::uint64_t end = start + old_section->raw_size;
    const bool alone = end <= old_end &&
                       std::none_of(image.sections.begin(), image.sections.end(), [&](const Section& other) {
                         return &other != old_section && other.raw_size != 0 && other.raw_offset < end &&
                                std::uint64_t{other.raw_offset} + other.raw_size > start;
                       });
    if (alone) {
      drop_start = start;
      drop_size = old_section->raw_size;
      new_offset = AlignUp(old_end - drop_size, resource_alignment);
      summary.dropped_bytes = old_section->raw_size;
    }
  }
  if (new_rva >= kFourGigabytes) return Failure{"the image has no addresses left for another section"};

  Result<ResourceSectionLayout> layout =
      LayOutResourceSection(resources, static_cast<std::uint32_t>(new_rva));
  if (!layout) return layout.AsFailure();
  const std::uint64_t raw_size = AlignUp(layout->size, image.file_alignment);
  const std::uint64_t size_of_image = AlignUp(new_rva + layout->size, image.section_alignment);
  if (new_offset + raw_size >= kFourGigabytes || size_of_image >= kFourGigabytes) {
    return Failure{"the image with these resources would exceed 4 GB"};
  }

  // The headers with every changed field set, the checksum left 0 for now.
  std::vector<std::uint8_t> headers(static_cast<std::size_t>(headers_end));
  if (!input.ReadAt(0, headers)) return Failure{"the image's headers cannot be read"};
  std::uint8_t* nt = headers.data() + image.nt_headers_offset;
  std::uint8_t* optional = headers.data() + image.optional_header_offset;
  std::uint8_t* section = headers.data() + image.section_table_offset + kSectionHeaderSize * section_index;
  if (!replace) {
    PutU16(nt + 6, static_cast<std::uint16_t>(image.sections.size() + 1));
    std::copy(std::begin(kResourceSectionName), std::end(kResourceSectionName), section);
  }
  PutU32(section + 8, layout->size);
  PutU32(section + 12, static_cast<std::uint32_t>(new_rva));
  PutU32(section + 16, static_cast<std::uint32_t>(raw_size));
  PutU32(section + 20, static_cast<std::uint32_t>(new_offset));
  std::fill(section + 24, section + 36, std::uint8_t{0});  // no relocations or line numbers
  PutU32(section + 36, kSectionInitializedData | kSectionRead);

  if (drop_size != 0) {
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
      std::uint8_t* header = headers.data() + image.section_table_offset + kSectionHeaderSize * i;
      const Section& other = image.sections[i];
      if (&other == old_section) {
        PutU32(header + 16, 0);
        PutU32(header + 20, 0);
      } else if (other.raw_size != 0 && other.raw_offset >= drop_start + drop_size) {
        PutU32(header + 20, static_cast<std::uint32_t>(other.raw_offset - drop_size));
      }
    }
  }
  const std::uint64_t initialized = std::uint64_t{image.size_of_initialized_data} + raw_size -
                                    (replace ? old_section->raw_size : 0) -
                                    std::min<std::uint64_t>(drop_size, image.size_of_initialized_data);
  PutU32(optional + 8, static_cast<std::uint32_t>(std::min<std::uint64_t>(initialized, 0xFFFFFFFFu)));
  PutU32(optional + 56, static_cast<std::uint32_t>(std::max(image_end, size_of_image)));
  PutU32(optional + 64, 0);
  std::uint8_t* resource_entry = headers.data() + image.DirectoryOffset(kResourceDirectory);
  PutU32(resource_entry, static_cast<std::uint32_t>(new_rva));
  PutU32(resource_entry + 4, layout->size);
  const DataDirectory certificate = image.Directory(kCertificateDirectory);
  summary.dropped_certificate = certificate.address != 0 && certificate.size != 0;
  if (image.directories.size() > kCertificateDirectory) {
    std::fill_n(headers.data() + image.DirectoryOffset(kCertificateDirectory), 8, std::uint8_t{0});
  }

  // The overlay moves to after the new section; a symbol table in it moves too.
  const auto pieces = OverlayPieces(image);
  const std::uint64_t overlay_start = new_offset + raw_size;
  if (image.pointer_to_symbol_table >= old_end) {
    std::uint64_t moved_to = 0;
    std::uint64_t at = overlay_start;
    for (const auto& [start, end] : pieces) {
      if (image.pointer_to_symbol_table >= start && image.pointer_to_symbol_table < end) {
        moved_to = at + (image.pointer_to_symbol_table - start);
      }
      at += end - start;
    }
    PutU32(nt + 12, moved_to < kFourGigabytes ? static_cast<std::uint32_t>(moved_to) : 0);
  }

  Writer writer(output, image.ChecksumOffset());
  Status status = writer.Write(headers);
  if (drop_size == 0) {
    if (status) status = writer.Copy(input, headers_end, copy_end - headers_end, "the image");
  } else {
    if (status) status = writer.Copy(input, headers_end, drop_start - headers_end, "the image");
    if (status)
      status = writer.Copy(input, drop_start + drop_size, copy_end - drop_start - drop_size, "the image");
  }
  if (status) status = writer.Zeros(new_offset - writer.Written());
  if (status) status = writer.Write(layout->head);
  for (const ResourceSectionLayout::Placement& placement : layout->data) {
    if (!status) break;
    status = writer.Zeros(new_offset + placement.offset - writer.Written());
    const Resource& resource = resources[placement.resource];
    if (status)
      status = writer.Copy(*resource.data, 0, placement.size, "resource " + resource.key.ToString());
  }
  if (status) status = writer.Zeros(overlay_start - writer.Written());
  for (const auto& [start, end] : pieces) {
    if (status) status = writer.Copy(input, start, end - start, "the data after the image's last section");
  }
  if (status && trailer_end_alignment > 1) {
    const std::uint64_t end = writer.Written() + trailer.size();
    status = writer.Zeros(AlignUp(end, trailer_end_alignment) - end);
  }
  if (status && !trailer.empty()) status = writer.Write(trailer);
  if (!status) return status.AsFailure();

  summary.resource_rva = static_cast<std::uint32_t>(new_rva);
  summary.resource_size = layout->size;
  summary.output_size = writer.Written();
  summary.checksum = writer.Checksum();
  std::uint8_t checksum[4];
  PutU32(checksum, summary.checksum);
  if (!output.WriteAt(image.ChecksumOffset(), checksum))
    return Failure{"writing the new image's checksum failed"};
  return summary;
}

}  // namespace lantern::pe
