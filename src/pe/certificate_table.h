// A signed image's certificate table as one entry that holds its PKCS #7
// signature, read and written again with a new signature. The table lies
// outside what the signature's digest covers, so a signature changed only in
// its unsigned parts still verifies. The image's bytes before the table are
// copied straight through, a piece at a time, and its checksum is worked out
// from the old one and the bytes that change, so nothing is read twice and
// the output is written in order (a pipe will do).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/result.h"

namespace lantern::pe {

// Far more than a signature with its chain, timestamps and nested signatures
// takes; a larger table is refused rather than read into memory.
constexpr std::uint32_t kMaxCertificateTableSize = 4u * 1024 * 1024;

struct SignatureEntry {
  std::uint64_t table_offset = 0;  // where the table starts in the file, on an 8-byte boundary
  std::uint32_t table_size = 0;    // to the end of the file
  std::uint16_t revision = 0;
  std::vector<std::uint8_t> pkcs7;  // the signature's DER, without the padding after it
};

// The signature of `image`. Fails, with what is wrong, when the image has no
// certificate table, when the table is not the last thing in the file, does
// not start on an 8-byte boundary, is larger than the limit, holds more than
// one entry or an entry that is not a PKCS #7 signature.
Result<SignatureEntry> ReadSignatureEntry(ByteSource& file, const Image& image);

struct SignatureRewrite {
  std::uint64_t output_size = 0;
  std::uint32_t checksum = 0;
};

// Writes `input` (whose headers `image` holds) to `output` with its
// certificate table (`entry`, as read) replaced by one entry holding
// `pkcs7`, padded with zeros to a multiple of 8 bytes; the certificate
// table's directory entry and the checksum are set to match (a checksum of 0
// stays 0). Only Write is called on `output`.
Result<SignatureRewrite> WriteWithSignature(ByteSource& input, const Image& image,
                                            const SignatureEntry& entry, std::span<const std::uint8_t> pkcs7,
                                            ByteSink& output);

// How the PE checksum's 16-bit words of `bytes`, lying at `offset` in a file,
// count in its sum: their sum with end-around carry, as a remainder of 65535.
std::uint32_t ChecksumWords(std::span<const std::uint8_t> bytes, std::uint64_t offset);

}  // namespace lantern::pe
