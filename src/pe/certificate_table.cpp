#include "pe/certificate_table.h"

#include <algorithm>
#include <string>

#include "pe/der.h"
#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

constexpr std::uint32_t kEntryHeaderSize = 8;
constexpr std::uint32_t kEntryAlignment = 8;
constexpr std::uint16_t kRevision1 = 0x0100;
constexpr std::uint16_t kRevision2 = 0x0200;
constexpr std::uint16_t kTypePkcsSignedData = 0x0002;
constexpr std::size_t kPiece = 4u << 20;
constexpr std::uint32_t kModulus = 0xFFFF;

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

std::uint32_t ChecksumWords(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  // A word's low byte lies at an even offset; 2^16 leaves 1 when divided by
  // 65535, so the sum with end-around carry is the sum's remainder.
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    sum += ((offset + i) & 1) == 0 ? bytes[i] : std::uint32_t{bytes[i]} << 8;
    if ((i & 0xFFFFF) == 0xFFFFF) sum %= kModulus;
  }
  return static_cast<std::uint32_t>(sum % kModulus);
}

Result<SignatureEntry> ReadSignatureEntry(ByteSource& file, const Image& image) {
  const DataDirectory table = image.Directory(kCertificateDirectory);
  if (table.address == 0 || table.size == 0) return Failure{"it is not signed (it has no certificate table)"};
  const std::uint64_t start = table.address;
  const std::uint64_t end = start + table.size;
  if (start < image.EndOfSections()) {
    return Failure{"its certificate table (at " + Hex(start) +
                   ") lies inside the image's headers or sections"};
  }
  if (end > file.Size()) {
    return Failure{"its certificate table runs past the end of the file (" + Hex(table.size) + " bytes at " +
                   Hex(start) + ", the file has " + Hex(file.Size()) + ")"};
  }
  if (end != file.Size()) {
    return Failure{"its certificate table is not at the end of the file (" +
                   std::to_string(file.Size() - end) + " bytes follow it)"};
  }
  if (start % kEntryAlignment != 0) {
    return Failure{"its certificate table (at " + Hex(start) + ") does not start on an 8-byte boundary"};
  }
  if (table.size > kMaxCertificateTableSize) {
    return Failure{"its certificate table is larger than " +
                   std::to_string(kMaxCertificateTableSize / (1024 * 1024)) + " MB"};
  }
  std::vector<std::uint8_t> bytes(table.size);
  if (!file.ReadAt(start, bytes)) return Failure{"its certificate table cannot be read"};
  if (bytes.size() < kEntryHeaderSize) return Failure{"its certificate table is too short for an entry"};
  const std::uint32_t length = ReadU32(bytes.data());
  const std::uint16_t revision = ReadU16(bytes.data() + 4);
  const std::uint16_t type = ReadU16(bytes.data() + 6);
  if (length < kEntryHeaderSize || length > bytes.size()) {
    return Failure{"its certificate table's entry has a length of " + std::to_string(length) +
                   " in a table of " + std::to_string(bytes.size()) + " bytes"};
  }
  if (AlignUp(length, kEntryAlignment) < bytes.size()) {
    return Failure{
        "its certificate table holds more than one entry; only a table with one signature can be changed"};
  }
  if (type != kTypePkcsSignedData) {
    return Failure{"its certificate table's entry is not a PKCS #7 signature (type " + Hex(type) + ")"};
  }
  if (revision != kRevision2 && revision != kRevision1) {
    return Failure{"its signature's entry in the certificate table has revision " + Hex(revision) +
                   ", not 0x200"};
  }
  der::Fault fault;
  der::Reader reader(
      std::span<const std::uint8_t>(bytes).subspan(kEntryHeaderSize, length - kEntryHeaderSize), fault);
  const der::Element signature = reader.Take(der::kSequence, "the signature");
  if (fault.Any()) return Failure{"its signature cannot be read: " + fault.Message()};
  SignatureEntry entry;
  entry.table_offset = start;
  entry.table_size = table.size;
  entry.revision = revision;
  entry.pkcs7.assign(signature.encoding.begin(), signature.encoding.end());
  return entry;
}

Result<SignatureRewrite> WriteWithSignature(ByteSource& input, const Image& image,
                                            const SignatureEntry& entry, std::span<const std::uint8_t> pkcs7,
                                            ByteSink& output) {
  if (input.Size() != image.file_size || entry.table_offset + entry.table_size != image.file_size) {
    return Failure{"the image's file changed after its headers were read"};
  }
  const std::uint64_t padded = AlignUp(pkcs7.size(), kEntryAlignment);
  const std::uint64_t new_table_size = kEntryHeaderSize + padded;
  if (new_table_size > kMaxCertificateTableSize) {
    return Failure{"the new certificate table would be larger than " +
                   std::to_string(kMaxCertificateTableSize / (1024 * 1024)) + " MB"};
  }
  const std::uint64_t directory_size_at = image.DirectoryOffset(kCertificateDirectory) + 4;
  const std::uint64_t headers_end = std::max(directory_size_at + 4, image.ChecksumOffset() + 4);
  if (headers_end > entry.table_offset) return Failure{"the certificate table overlaps the image's headers"};

  // The new table, and the headers with its size set.
  std::vector<std::uint8_t> table(static_cast<std::size_t>(new_table_size), 0);
  PutU32(table.data(), static_cast<std::uint32_t>(new_table_size));
  PutU16(table.data() + 4, entry.revision);
  PutU16(table.data() + 6, kTypePkcsSignedData);
  std::copy(pkcs7.begin(), pkcs7.end(), table.begin() + kEntryHeaderSize);
  std::vector<std::uint8_t> headers(static_cast<std::size_t>(headers_end));
  if (!input.ReadAt(0, headers)) return Failure{"the image's headers cannot be read"};
  std::uint8_t* size_field = headers.data() + directory_size_at;
  std::uint8_t old_size[4];
  std::copy(size_field, size_field + 4, old_size);
  PutU32(size_field, static_cast<std::uint32_t>(new_table_size));

  // The checksum is the sum of the file's words, the checksum field left out,
  // plus the file's length: the old one's sum, less the words that go, plus
  // those that come.
  SignatureRewrite rewrite;
  rewrite.output_size = entry.table_offset + new_table_size;
  if (image.checksum != 0) {
    std::vector<std::uint8_t> old_table(entry.table_size);
    if (!input.ReadAt(entry.table_offset, old_table)) return Failure{"the certificate table cannot be read"};
    std::uint64_t sum = (image.checksum - static_cast<std::uint32_t>(image.file_size)) & 0xFFFF;
    sum += 2ull * kModulus - ChecksumWords(old_size, directory_size_at);
    sum += 2ull * kModulus - ChecksumWords(old_table, entry.table_offset);
    sum += ChecksumWords(std::span(size_field, 4), directory_size_at);
    sum += ChecksumWords(table, entry.table_offset);
    sum %= kModulus;
    // Words that are not all zero never add up to 0 with end-around carry.
    const std::uint32_t folded = sum == 0 ? kModulus : static_cast<std::uint32_t>(sum);
    rewrite.checksum = folded + static_cast<std::uint32_t>(rewrite.output_size);
    PutU32(headers.data() + image.ChecksumOffset(), rewrite.checksum);
  }

  if (!output.Write(headers)) return Failure{"writing the image failed at its start"};
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
      std::min<std::uint64_t>(kPiece, std::max<std::uint64_t>(entry.table_offset - headers_end, 1))));
  for (std::uint64_t at = headers_end; at < entry.table_offset;) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), entry.table_offset - at));
    const std::span<std::uint8_t> bytes(buffer.data(), piece);
    if (!input.ReadAt(at, bytes)) return Failure{"reading the image failed at " + Hex(at)};
    if (!output.Write(bytes)) return Failure{"writing the image failed at " + Hex(at)};
    at += piece;
  }
  if (!output.Write(table)) return Failure{"writing the certificate table failed"};
  return rewrite;
}

}  // namespace lantern::pe
