// What an image's Authenticode signature says, read from its certificate
// table for people to see: the signer, the program name and more-info link
// the signature carries, and when it was signed or timestamped. Nothing here
// verifies anything: the system's trust provider does that on the machine
// that runs the program.
#pragma once

#include <optional>
#include <string>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/result.h"

namespace lantern::pe {

struct SignatureSummary {
  std::string digest_algorithm;              // "sha256", "sha1", or the algorithm's dotted id
  std::string signer_subject;                // the signer certificate's subject, "CN=..., O=..., C=..."
  std::string signer_issuer;                 // its issuer, the same way
  std::string serial_number;                 // hexadecimal, most significant byte first
  std::optional<std::string> program_name;   // UTF-8
  std::optional<std::string> more_info;      // the more-info link
  std::optional<std::string> signing_time;   // "YYYY-MM-DDThh:mm:ssZ": the signer's own signing-time attribute
  std::optional<std::string> timestamp;      // the same form: the time a timestamp authority countersigned
  std::optional<std::string> timestamp_authority;  // the countersigner's subject
};

// The signature of `image`, or nothing when it has no certificate table.
// Fails when the table or its signature cannot be read.
Result<std::optional<SignatureSummary>> ReadSignature(ByteSource& file, const Image& image);

}  // namespace lantern::pe
