#include "pe/authenticode.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "pe/der.h"
#include "pe/der_writer.h"
#include "pe/little_endian.h"

namespace lantern::pe {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPiece = 1 << 20;
constexpr std::uint16_t kCertificateRevision = 0x0200;
constexpr std::uint16_t kCertificateTypePkcsSignedData = 0x0002;
constexpr std::uint32_t kCertificateHeaderSize = 8;

constexpr char kSignedDataOid[] = "1.2.840.113549.1.7.2";
constexpr char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kPeImageDataOid[] = "1.3.6.1.4.1.311.2.1.15";
constexpr char kStatementTypeOid[] = "1.3.6.1.4.1.311.2.1.11";
constexpr char kIndividualCodeSigningOid[] = "1.3.6.1.4.1.311.2.1.21";
constexpr char kOpusInfoOid[] = "1.3.6.1.4.1.311.2.1.12";
constexpr char kContentTypeOid[] = "1.2.840.113549.1.9.3";
constexpr char kMessageDigestOid[] = "1.2.840.113549.1.9.4";
constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";

// Tags, as their first byte has them.
constexpr std::uint8_t Tag(std::uint32_t tag) { return static_cast<std::uint8_t>(tag); }
constexpr std::uint8_t kInteger = Tag(der::kInteger);
constexpr std::uint8_t kBitString = Tag(der::kBitString);
constexpr std::uint8_t kOctetString = Tag(der::kOctetString);
constexpr std::uint8_t kNull = Tag(der::kNull);
constexpr std::uint8_t kObjectId = Tag(der::kObjectId);
constexpr std::uint8_t kSequence = Tag(der::kSequence);
constexpr std::uint8_t kSet = Tag(der::kSet);
constexpr std::uint8_t Explicit(std::uint8_t number) { return Tag(der::ContextConstructed(number)); }
constexpr std::uint8_t Implicit(std::uint8_t number) { return Tag(der::ContextPrimitive(number)); }

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

Bytes Tlv(std::uint8_t tag, std::span<const std::uint8_t> content) { return der::Encode(tag, content); }

Bytes Join(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Sequence(std::initializer_list<std::span<const std::uint8_t>> parts) { return Tlv(kSequence, Join(parts)); }

// The identifiers here are constants of this file, each valid.
Bytes ObjectIdentifier(std::string_view dotted) { return Tlv(kObjectId, der::ObjectIdContent(dotted).value()); }

Bytes Sha256Algorithm() { return Sequence({ObjectIdentifier(kSha256Oid), Tlv(kNull, {})}); }

Bytes SmallInteger(std::uint8_t value) { return Tlv(kInteger, std::array{value}); }

Bytes BmpString(std::uint8_t tag, const std::u16string& text) {
  Bytes content;
  for (const char16_t unit : text) {
    content.push_back(static_cast<std::uint8_t>(unit >> 8));
    content.push_back(static_cast<std::uint8_t>(unit));
  }
  return Tlv(tag, content);
}

Bytes Ascii(std::uint8_t tag, const std::string& text) {
  return Tlv(tag, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// A SET OF in DER order: its elements sorted by their encodings.
Bytes SetOf(std::vector<Bytes> elements) {
  // Compared byte by byte, a shorter encoding before a longer one it begins.
  std::sort(elements.begin(), elements.end(), [](const Bytes& a, const Bytes& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
      if (a[i] != b[i]) return a[i] < b[i];
    }
    return a.size() < b.size();
  });
  Bytes content;
  for (const Bytes& element : elements) content.insert(content.end(), element.begin(), element.end());
  return Tlv(kSet, content);
}

// The output in order, with the checksum kept as it goes.
class Writer {
 public:
  Writer(ByteSink& sink, std::uint64_t checksum_offset) : sink_(sink), checksum_(checksum_offset) {}

  Status Write(std::span<const std::uint8_t> bytes) {
    if (!sink_.Write(bytes)) return Failure{"writing the signed image failed at " + Hex(written_)};
    checksum_.Add(bytes);
    written_ += bytes.size();
    return Done{};
  }
  std::uint32_t Checksum() const { return checksum_.Finish(); }

 private:
  ByteSink& sink_;
  ChecksumAccumulator checksum_;
  std::uint64_t written_ = 0;
};

// Reads `size` bytes of `file` from `offset` on, a piece at a time.
Status ForEachPiece(ByteSource& file, std::uint64_t offset, std::uint64_t size, Bytes& buffer,
                    const std::function<Status(std::span<std::uint8_t>)>& consume) {
  while (size != 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
    const std::span<std::uint8_t> bytes(buffer.data(), piece);
    if (!file.ReadAt(offset, bytes)) return Failure{"reading the image failed at " + Hex(offset)};
    Status status = consume(bytes);
    if (!status) return status;
    offset += piece;
    size -= piece;
  }
  return Done{};
}

}  // namespace

Result<SigningLayout> PlanSigning(ByteSource& file) {
  auto image = ReadImage(file);
  if (!image) return image.AsFailure();
  SigningLayout layout{std::move(image).Value()};
  if (layout.image.directories.size() <= kCertificateDirectory) {
    return Failure{"the image has no certificate directory to point at a signature"};
  }
  layout.content_end = layout.image.file_size;
  const DataDirectory table = layout.image.Directory(kCertificateDirectory);
  if (table.address != 0 || table.size != 0) {
    if (table.address < layout.image.EndOfSections() ||
        std::uint64_t{table.address} + table.size != layout.image.file_size) {
      return Failure{"the image's certificate table (" + Hex(table.address) + ", " + Hex(table.size) +
                     " bytes) is not at the end of the file, so its signature cannot be replaced"};
    }
    layout.content_end = table.address;
  }
  layout.table_offset = AlignUp(layout.content_end, 8);
  if (layout.table_offset > 0xFFFFFFFFu) return Failure{"the image is too large to carry a signature"};
  return layout;
}

Status ForEachDigestedPiece(ByteSource& file, const SigningLayout& layout,
                            const std::function<void(std::span<const std::uint8_t>)>& consume) {
  Bytes buffer(kPiece);
  const auto feed = [&consume](std::span<std::uint8_t> bytes) -> Status {
    consume(bytes);
    return Done{};
  };
  const std::uint64_t checksum = layout.image.ChecksumOffset();
  const std::uint64_t directory = layout.image.DirectoryOffset(kCertificateDirectory);
  Status status = ForEachPiece(file, 0, checksum, buffer, feed);
  if (status) status = ForEachPiece(file, checksum + 4, directory - checksum - 4, buffer, feed);
  if (status) status = ForEachPiece(file, directory + 8, layout.content_end - directory - 8, buffer, feed);
  if (status && layout.table_offset != layout.content_end) {
    const std::array<std::uint8_t, 8> zeros{};
    consume(std::span(zeros).first(static_cast<std::size_t>(layout.table_offset - layout.content_end)));
  }
  return status;
}

Status WriteSigned(ByteSource& file, const SigningLayout& layout, std::span<const std::uint8_t> signed_data,
                   ByteSink& out) {
  const std::uint64_t entry_size = AlignUp(kCertificateHeaderSize + signed_data.size(), 8);
  if (layout.table_offset + entry_size > 0xFFFFFFFFu) return Failure{"the signed image would be too large"};
  Bytes buffer(kPiece);
  Writer writer(out, layout.image.ChecksumOffset());
  const std::uint64_t directory = layout.image.DirectoryOffset(kCertificateDirectory);
  bool first = true;
  Status status = ForEachPiece(file, 0, layout.content_end, buffer, [&](std::span<std::uint8_t> bytes) {
    if (first) {
      // The headers come in the first piece: the directory entry points at the new table.
      first = false;
      PutU32(bytes.data() + directory, static_cast<std::uint32_t>(layout.table_offset));
      PutU32(bytes.data() + directory + 4, static_cast<std::uint32_t>(entry_size));
      PutU32(bytes.data() + layout.image.ChecksumOffset(), 0);
    }
    return writer.Write(bytes);
  });
  if (!status) return status;
  Bytes table(static_cast<std::size_t>(layout.table_offset - layout.content_end + entry_size), 0);
  std::uint8_t* header = table.data() + (layout.table_offset - layout.content_end);
  PutU32(header, static_cast<std::uint32_t>(entry_size));
  header[4] = static_cast<std::uint8_t>(kCertificateRevision);
  header[5] = static_cast<std::uint8_t>(kCertificateRevision >> 8);
  header[6] = static_cast<std::uint8_t>(kCertificateTypePkcsSignedData);
  header[7] = 0;
  std::copy(signed_data.begin(), signed_data.end(), header + kCertificateHeaderSize);
  status = writer.Write(table);
  if (!status) return status;
  std::array<std::uint8_t, 4> checksum{};
  PutU32(checksum.data(), writer.Checksum());
  if (!out.WriteAt(layout.image.ChecksumOffset(), checksum)) return Failure{"writing the image's checksum failed"};
  return Done{};
}

std::vector<std::uint8_t> IndirectDataContent(std::span<const std::uint8_t> image_digest) {
  // SpcPeImageData: no flags, and the file link every signing tool writes.
  const Bytes link = Tlv(Explicit(0), Tlv(Explicit(2), BmpString(Implicit(0), u"<<<Obsolete>>>")));
  const Bytes image_data = Sequence({Tlv(kBitString, std::array<std::uint8_t, 1>{0}), link});
  return Sequence({Sequence({ObjectIdentifier(kPeImageDataOid), image_data}),
                   Sequence({Sha256Algorithm(), Tlv(kOctetString, image_digest)})});
}

std::span<const std::uint8_t> DigestedContent(std::span<const std::uint8_t> indirect_data_content) {
  if (indirect_data_content.size() < 2) return {};
  const std::uint8_t first = indirect_data_content[1];
  const std::size_t header = first < 0x80 ? 2 : 2 + (first & 0x7F);
  return indirect_data_content.subspan(std::min(header, indirect_data_content.size()));
}

std::vector<std::uint8_t> Attribute(const std::string& oid, std::span<const std::uint8_t> value) {
  return Sequence({ObjectIdentifier(oid), Tlv(kSet, value)});
}

std::vector<std::uint8_t> SignedAttributes(std::span<const std::uint8_t> content_digest,
                                           const std::optional<std::u16string>& program_name,
                                           const std::optional<std::string>& more_info) {
  Bytes opus;
  if (program_name) opus = Join({opus, Tlv(Explicit(0), BmpString(Implicit(0), *program_name))});
  if (more_info) opus = Join({opus, Tlv(Explicit(1), Ascii(Implicit(0), *more_info))});
  std::vector<Bytes> attributes = {
      Attribute(kContentTypeOid, ObjectIdentifier(kIndirectDataOid)),
      Attribute(kStatementTypeOid, Sequence({ObjectIdentifier(kIndividualCodeSigningOid)})),
      Attribute(kMessageDigestOid, Tlv(kOctetString, content_digest)),
  };
  // Without a name or a link there is no opus information at all.
  if (program_name || more_info) attributes.push_back(Attribute(kOpusInfoOid, Tlv(kSequence, opus)));
  return SetOf(std::move(attributes));
}

std::vector<std::uint8_t> SignedData(std::span<const std::uint8_t> indirect_data_content, const SignerIdentity& signer,
                                     std::span<const std::uint8_t> signed_attributes,
                                     std::span<const std::uint8_t> signature,
                                     const std::vector<std::vector<std::uint8_t>>& unsigned_attributes) {
  Bytes certificates;
  for (const Bytes& certificate : signer.certificates) certificates = Join({certificates, certificate});
  const Bytes algorithm = signer.algorithm_has_null_parameters
                              ? Sequence({ObjectIdentifier(signer.signature_algorithm), Tlv(kNull, {})})
                              : Sequence({ObjectIdentifier(signer.signature_algorithm)});
  // The signed attributes go in as [0] IMPLICIT: the same content under another tag.
  Bytes implicit_attributes(signed_attributes.begin(), signed_attributes.end());
  if (!implicit_attributes.empty()) implicit_attributes[0] = Explicit(0);
  Bytes signer_info = Join({SmallInteger(1), Sequence({signer.issuer, signer.serial}), Sha256Algorithm(),
                            implicit_attributes, algorithm, Tlv(kOctetString, signature)});
  if (!unsigned_attributes.empty()) {
    Bytes attributes;
    for (const Bytes& attribute : unsigned_attributes) attributes = Join({attributes, attribute});
    signer_info = Join({signer_info, Tlv(Explicit(1), attributes)});
  }
  const Bytes content_info =
      Sequence({ObjectIdentifier(kIndirectDataOid), Tlv(Explicit(0), indirect_data_content)});
  const Bytes signed_data = Sequence({SmallInteger(1), Tlv(kSet, Sha256Algorithm()), content_info,
                                      Tlv(Explicit(0), certificates), Tlv(kSet, Tlv(kSequence, signer_info))});
  return Sequence({ObjectIdentifier(kSignedDataOid), Tlv(Explicit(0), signed_data)});
}

}  // namespace lantern::pe
