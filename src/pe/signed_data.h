// Changing a PKCS #7 signature without signing again: the unsigned attributes
// of a signer information (timestamps, nested signatures, information stamped
// on a signed program) are outside what the signer signed, so one can be set
// while every other byte of the signature stays as it was.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "pe/result.h"

namespace lantern::pe {

// Which signer information of a signature is meant: the first is the one
// the system verifies; the last is the one whose unsigned attributes end the
// signature's bytes.
enum class SignerChoice { kFirst, kLast };

// `pkcs7` (a ContentInfo holding SignedData; bytes after it are left out)
// with unsigned attribute `id` (dotted) of the chosen signer information set
// to the single value `value` (one whole DER element). An attribute of that
// type already there is taken out; the new one comes last, after every other
// attribute, which stays as it was, so that the value's bytes end the
// signature when the last signer is chosen. Fails, with what is wrong, when
// `pkcs7` is not signed data or cannot be read.
Result<std::vector<std::uint8_t>> SetUnsignedAttribute(std::span<const std::uint8_t> pkcs7,
                                                       std::string_view id,
                                                       std::span<const std::uint8_t> value,
                                                       SignerChoice which = SignerChoice::kLast);

// The signature value of the chosen signer information: what an RFC 3161
// timestamp of the signature is taken over.
Result<std::vector<std::uint8_t>> SignerSignature(std::span<const std::uint8_t> pkcs7,
                                                  SignerChoice which = SignerChoice::kFirst);

}  // namespace lantern::pe
