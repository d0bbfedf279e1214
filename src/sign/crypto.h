// What signing needs of a cryptographic library: a key that signs, the
// certificates that go with it, SHA-256, and a timestamp authority's token.
// A build without the library has none of it, and says so.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pe/authenticode.h"
#include "pe/result.h"
#include "sign/sign.h"

namespace lantern::sign {

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  virtual const pe::SignerIdentity& Identity() const = 0;
  // The signature of `data` (its SHA-256 digest signed with the key).
  virtual pe::Result<std::vector<std::uint8_t>> Sign(std::span<const std::uint8_t> data) = 0;
};

// The key and certificates the options name: a key file and its certificate,
// a PKCS#12 file, or a key on a PKCS#11 token (its certificate from a file).
pe::Result<std::unique_ptr<KeyStore>> OpenKeyStore(const SignOptions& options);

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Add(std::span<const std::uint8_t> bytes);
  std::vector<std::uint8_t> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::vector<std::uint8_t> Sha256Of(std::span<const std::uint8_t> bytes);

// An RFC 3161 token over `signature` (the signer's signature value, as
// Authenticode timestamps it) from the authority at the http `url`; the
// token's imprint and nonce are checked against the request.
pe::Result<std::vector<std::uint8_t>> RequestTimestamp(const std::string& url, std::span<const std::uint8_t> signature);

}  // namespace lantern::sign
