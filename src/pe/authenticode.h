// The parts of an Authenticode signature that are plain data: which bytes of
// an image its digest covers, the DER structures that are signed and the
// SignedData that carries them, and an image with its certificate table in
// place. The digest and the signature itself come from the caller, whose key
// may sit in a file, a token or a signing service.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/result.h"

namespace lantern::pe {

// The counter-signature a timestamp authority gives (an RFC 3161 token), as an
// unsigned attribute of the signer.
inline constexpr char kTimestampAttributeOid[] = "1.3.6.1.4.1.311.3.3.1";

// Where an image stands for signing: the bytes it keeps (all of it, or up to a
// signature it carries already, which a new one replaces) and where the new
// certificate table starts, 8-aligned after zero bytes that the digest covers.
struct SigningLayout {
  Image image;
  std::uint64_t content_end = 0;
  std::uint64_t table_offset = 0;
};

// Fails for what cannot be signed: not an image, a certificate table that is
// not at the end of the file, an image without a certificate directory.
Result<SigningLayout> PlanSigning(ByteSource& file);

// Hands the bytes the image's digest covers to `consume`, a piece at a time:
// everything kept but the checksum and the certificate directory entry, then
// the padding up to the table.
Status ForEachDigestedPiece(ByteSource& file, const SigningLayout& layout,
                            const std::function<void(std::span<const std::uint8_t>)>& consume);

// Writes the signed image: its bytes, the padding, one certificate entry that
// holds `signed_data` (padded to 8 bytes), the directory pointing at it and
// the checksum made again.
Status WriteSigned(ByteSource& file, const SigningLayout& layout, std::span<const std::uint8_t> signed_data,
                   ByteSink& out);

// SpcIndirectDataContent for a PE image whose SHA-256 digest is `image_digest`.
std::vector<std::uint8_t> IndirectDataContent(std::span<const std::uint8_t> image_digest);

// What the signer's message digest covers: the content of that SEQUENCE
// without its tag and length.
std::span<const std::uint8_t> DigestedContent(std::span<const std::uint8_t> indirect_data_content);

// The signed attributes, as the SET whose DER encoding is signed: the content
// type, the opus information (program name written as a BMPString, as Windows'
// own tools write it, and the more-info link; left out when neither is
// given), the statement type and the
// message digest (SHA-256 of DigestedContent()), in DER order.
std::vector<std::uint8_t> SignedAttributes(std::span<const std::uint8_t> content_digest,
                                           const std::optional<std::u16string>& program_name,
                                           const std::optional<std::string>& more_info);

// Who signs: the signer's certificate first, then any others to carry; the
// issuer's Name and the serial number's INTEGER of the first, as DER; and the
// signature algorithm's identifier (rsaEncryption or ecdsa-with-SHA256).
struct SignerIdentity {
  std::vector<std::vector<std::uint8_t>> certificates;
  std::vector<std::uint8_t> issuer;
  std::vector<std::uint8_t> serial;
  std::string signature_algorithm;
  bool algorithm_has_null_parameters = true;
};

// One attribute: SEQUENCE { type, SET { value } }.
std::vector<std::uint8_t> Attribute(const std::string& oid, std::span<const std::uint8_t> value);

// The ContentInfo of the SignedData that goes into the certificate table.
std::vector<std::uint8_t> SignedData(std::span<const std::uint8_t> indirect_data_content, const SignerIdentity& signer,
                                     std::span<const std::uint8_t> signed_attributes,
                                     std::span<const std::uint8_t> signature,
                                     const std::vector<std::vector<std::uint8_t>>& unsigned_attributes);

}  // namespace lantern::pe
