// The cryptographic side of signing, with OpenSSL. Keys on PKCS#11 tokens are
// reached through OpenSSL's pkcs11 engine, which hands out a key that signs on
// the token: the key itself never leaves it.
#define OPENSSL_SUPPRESS_DEPRECATED  // the engine interface is how tokens are reached in OpenSSL 3.0

#include <openssl/bio.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/http.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "pack/text.h"
#include "sign/crypto.h"

namespace lantern::sign {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pe::Failure;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* pointer) const { Free(pointer); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using OwnedBio = Owned<BIO, BIO_free_all>;
using OwnedKey = Owned<EVP_PKEY, EVP_PKEY_free>;
using OwnedCertificate = Owned<X509, X509_free>;
using OwnedDigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using OwnedRequest = Owned<TS_REQ, TS_REQ_free>;
using OwnedResponse = Owned<TS_RESP, TS_RESP_free>;
using OwnedImprint = Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>;
using OwnedAlgorithm = Owned<X509_ALGOR, X509_ALGOR_free>;
using OwnedInteger = Owned<ASN1_INTEGER, ASN1_INTEGER_free>;
using OwnedVerifyContext = Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free>;

// An engine held, and once initialised, in use.
struct EngineHold {
  Owned<ENGINE, [](ENGINE* e) { ENGINE_free(e); }> engine;
  bool initialised = false;
  ~EngineHold() {
    if (initialised) ENGINE_finish(engine.get());
  }
};
using OwnedEngine = std::unique_ptr<EngineHold>;

// OpenSSL's own reasons for the last failure, for the end of a message.
std::string Reasons() {
  std::string reasons;
  while (const unsigned long code = ERR_get_error()) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    reasons += reasons.empty() ? ": " : "; ";
    reasons += text;
  }
  return reasons;
}

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

const char* EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

template <typename T, int (*Encode)(const T*, unsigned char**)>
Bytes Der(const T* object) {
  const int size = Encode(object, nullptr);
  if (size <= 0) return {};
  Bytes out(static_cast<std::size_t>(size));
  unsigned char* at = out.data();
  Encode(object, &at);
  return out;
}

// Every certificate in a PEM file (a chain), or the one of a DER file.
pe::Result<std::vector<OwnedCertificate>> ReadCertificates(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return Failure{"the certificate '" + pack::ShowPath(path) + "' cannot be read"};
  std::vector<OwnedCertificate> certificates;
  OwnedBio pem(BIO_new_mem_buf(bytes->data(), static_cast<int>(bytes->size())));
  while (X509* certificate = PEM_read_bio_X509(pem.get(), nullptr, nullptr, nullptr)) {
    certificates.emplace_back(certificate);
  }
  ERR_clear_error();
  if (certificates.empty()) {
    const unsigned char* at = bytes->data();
    if (X509* certificate = d2i_X509(nullptr, &at, static_cast<long>(bytes->size()))) {
      certificates.emplace_back(certificate);
    }
  }
  if (certificates.empty()) {
    return Failure{"the certificate '" + pack::ShowPath(path) + "' holds no certificate (PEM or DER)" + Reasons()};
  }
  return certificates;
}

pe::Result<OwnedKey> ReadKeyFile(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return Failure{"the key '" + pack::ShowPath(path) + "' cannot be read"};
  OwnedBio pem(BIO_new_mem_buf(bytes->data(), static_cast<int>(bytes->size())));
  const std::string password = EnvironmentText(kPasswordVariable);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(pem.get(), nullptr, nullptr, const_cast<char*>(password.c_str()));
  if (key == nullptr) {
    ERR_clear_error();
    const unsigned char* at = bytes->data();
    key = d2i_AutoPrivateKey(nullptr, &at, static_cast<long>(bytes->size()));
  }
  if (key == nullptr) {
    return Failure{"the key '" + pack::ShowPath(path) + "' cannot be read as a private key (PEM or DER; a pass " +
                   "phrase comes from " + kPasswordVariable + ")" + Reasons()};
  }
  return OwnedKey(key);
}

class OpenSslKeyStore final : public KeyStore {
 public:
  OpenSslKeyStore(OwnedKey key, std::vector<OwnedCertificate> certificates, OwnedEngine engine)
      : engine_(std::move(engine)), key_(std::move(key)), certificates_(std::move(certificates)) {}

  // Puts the certificate that belongs to the key first and fills in who signs.
  pe::Status Prepare() {
    auto match = std::find_if(certificates_.begin(), certificates_.end(), [this](const OwnedCertificate& c) {
      return X509_check_private_key(c.get(), key_.get()) == 1;
    });
    ERR_clear_error();
    if (match == certificates_.end()) return Failure{"no certificate given belongs to the signing key"};
    std::rotate(certificates_.begin(), match, match + 1);
    X509* signer = certificates_.front().get();
    for (const OwnedCertificate& certificate : certificates_) {
      identity_.certificates.push_back(Der<X509, i2d_X509>(certificate.get()));
    }
    identity_.issuer = Der<X509_NAME, i2d_X509_NAME>(X509_get_issuer_name(signer));
    identity_.serial = Der<ASN1_INTEGER, i2d_ASN1_INTEGER>(X509_get0_serialNumber(signer));
    switch (EVP_PKEY_get_base_id(key_.get())) {
      case EVP_PKEY_RSA:
        identity_.signature_algorithm = "1.2.840.113549.1.1.1";
        identity_.algorithm_has_null_parameters = true;
        break;
      case EVP_PKEY_EC:
        identity_.signature_algorithm = "1.2.840.10045.4.3.2";
        identity_.algorithm_has_null_parameters = false;
        break;
      default:
        return Failure{"the signing key is neither RSA nor EC"};
    }
    return pe::Done{};
  }

  const pe::SignerIdentity& Identity() const override { return identity_; }

  pe::Result<Bytes> Sign(std::span<const std::uint8_t> data) override {
    OwnedDigestContext context(EVP_MD_CTX_new());
    std::size_t size = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, data.data(), data.size()) != 1) {
      return Failure{"the key cannot sign" + Reasons()};
    }
    Bytes signature(size);
    if (EVP_DigestSign(context.get(), signature.data(), &size, data.data(), data.size()) != 1) {
      return Failure{"signing with the key failed" + Reasons()};
    }
    signature.resize(size);
    return signature;
  }

 private:
  OwnedEngine engine_;  // first in, last out: the key may live in it
  OwnedKey key_;
  std::vector<OwnedCertificate> certificates_;
  pe::SignerIdentity identity_;
};

pe::Result<std::unique_ptr<KeyStore>> Finish(OwnedKey key, std::vector<OwnedCertificate> certificates,
                                             OwnedEngine engine = {}) {
  auto store = std::make_unique<OpenSslKeyStore>(std::move(key), std::move(certificates), std::move(engine));
  pe::Status prepared = store->Prepare();
  if (!prepared) return prepared.AsFailure();
  return std::unique_ptr<KeyStore>(std::move(store));
}

pe::Result<std::unique_ptr<KeyStore>> OpenPkcs12(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return Failure{"the PKCS#12 file '" + pack::ShowPath(path) + "' cannot be read"};
  const unsigned char* at = bytes->data();
  Owned<PKCS12, PKCS12_free> bundle(d2i_PKCS12(nullptr, &at, static_cast<long>(bytes->size())));
  if (!bundle) return Failure{"the file '" + pack::ShowPath(path) + "' is not a PKCS#12 file" + Reasons()};
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  STACK_OF(X509)* others = nullptr;
  const std::string password = EnvironmentText(kPasswordVariable);
  if (PKCS12_parse(bundle.get(), password.c_str(), &key, &certificate, &others) != 1) {
    return Failure{"the PKCS#12 file '" + pack::ShowPath(path) + "' cannot be opened (its pass phrase comes from " +
                   kPasswordVariable + ")" + Reasons()};
  }
  OwnedKey owned_key(key);
  std::vector<OwnedCertificate> certificates;
  if (certificate != nullptr) certificates.emplace_back(certificate);
  for (int i = 0; others != nullptr && i < sk_X509_num(others); ++i) certificates.emplace_back(sk_X509_value(others, i));
  sk_X509_free(others);
  if (!owned_key) return Failure{"the PKCS#12 file '" + pack::ShowPath(path) + "' holds no private key"};
  return Finish(std::move(owned_key), std::move(certificates));
}

pe::Result<std::unique_ptr<KeyStore>> OpenToken(const SignOptions& options) {
  auto certificates = ReadCertificates(options.certificate);
  if (!certificates) return certificates.AsFailure();
  ENGINE_load_builtin_engines();
  auto hold = std::make_unique<EngineHold>();
  hold->engine.reset(ENGINE_by_id("pkcs11"));
  ENGINE* engine = hold->engine.get();
  const std::string module = pack::ShowPath(options.pkcs11_module);
  if (engine == nullptr) return Failure{"OpenSSL's pkcs11 engine is not installed" + Reasons()};
  if (ENGINE_ctrl_cmd_string(engine, "MODULE_PATH", module.c_str(), 0) != 1) {
    return Failure{"the PKCS#11 module '" + module + "' is not taken" + Reasons()};
  }
  const std::string pin = EnvironmentText(kPinVariable);
  if (!pin.empty() && ENGINE_ctrl_cmd_string(engine, "PIN", pin.c_str(), 0) != 1) {
    return Failure{"the token's PIN is not taken" + Reasons()};
  }
  if (ENGINE_init(engine) != 1) return Failure{"the PKCS#11 module '" + module + "' cannot be loaded" + Reasons()};
  hold->initialised = true;
  EVP_PKEY* key = ENGINE_load_private_key(engine, options.key.c_str(), nullptr, nullptr);
  if (key == nullptr) {
    return Failure{"the token holds no key '" + options.key + "' (a PIN comes from " + kPinVariable +
                   " or the URI's pin-value)" + Reasons()};
  }
  return Finish(OwnedKey(key), std::move(certificates).Value(), std::move(hold));
}

}  // namespace

bool SignsWithKeys() { return true; }

pe::Result<std::unique_ptr<KeyStore>> OpenKeyStore(const SignOptions& options) {
  if (!options.pkcs12.empty()) return OpenPkcs12(options.pkcs12);
  if (!options.pkcs11_module.empty()) return OpenToken(options);
  auto certificates = ReadCertificates(options.certificate);
  if (!certificates) return certificates.AsFailure();
  auto key = ReadKeyFile(std::filesystem::path(pack::PathFromUtf8(options.key)));
  if (!key) return key.AsFailure();
  return Finish(std::move(key).Value(), std::move(certificates).Value());
}

struct Sha256::State {
  OwnedDigestContext context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) { EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr); }
Sha256::~Sha256() = default;

void Sha256::Add(std::span<const std::uint8_t> bytes) {
  EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Sha256::Finish() {
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned int size = 0;
  EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size);
  digest.resize(size);
  return digest;
}

std::vector<std::uint8_t> Sha256Of(std::span<const std::uint8_t> bytes) {
  Sha256 digest;
  digest.Add(bytes);
  return digest.Finish();
}

pe::Result<std::vector<std::uint8_t>> RequestTimestamp(const std::string& url,
                                                       std::span<const std::uint8_t> signature) {
  int tls = 0;
  char* host = nullptr;
  char* port = nullptr;
  char* path = nullptr;
  if (OSSL_HTTP_parse_url(url.c_str(), &tls, nullptr, &host, &port, nullptr, &path, nullptr, nullptr) != 1) {
    return Failure{"the timestamp server '" + url + "' is not a URL" + Reasons()};
  }
  const std::unique_ptr<char, void (*)(void*)> own_host(host, [](void* p) { OPENSSL_free(p); });
  const std::unique_ptr<char, void (*)(void*)> own_port(port, [](void* p) { OPENSSL_free(p); });
  const std::unique_ptr<char, void (*)(void*)> own_path(path, [](void* p) { OPENSSL_free(p); });
  if (tls != 0) {
    return Failure{"the timestamp server '" + url + "' is reached over https, which this tool does not speak; " +
                   "timestamp authorities answer over http (their answer is signed)"};
  }

  // The request: SHA-256 of the signature value, a nonce, and the authority's certificate wanted.
  const Bytes digest = Sha256Of(signature);
  OwnedRequest request(TS_REQ_new());
  OwnedImprint imprint(TS_MSG_IMPRINT_new());
  OwnedAlgorithm algorithm(X509_ALGOR_new());
  std::array<unsigned char, 8> nonce_bytes{};
  RAND_bytes(nonce_bytes.data(), static_cast<int>(nonce_bytes.size()));
  nonce_bytes[0] &= 0x7F;
  OwnedInteger nonce(BN_to_ASN1_INTEGER(
      Owned<BIGNUM, BN_free>(BN_bin2bn(nonce_bytes.data(), static_cast<int>(nonce_bytes.size()), nullptr)).get(),
      nullptr));
  if (!request || !imprint || !algorithm || !nonce ||
      X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr) != 1 ||
      TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get()) != 1 ||
      TS_MSG_IMPRINT_set_msg(imprint.get(), const_cast<unsigned char*>(digest.data()),
                             static_cast<int>(digest.size())) != 1 ||
      TS_REQ_set_version(request.get(), 1) != 1 || TS_REQ_set_msg_imprint(request.get(), imprint.get()) != 1 ||
      TS_REQ_set_nonce(request.get(), nonce.get()) != 1 || TS_REQ_set_cert_req(request.get(), 1) != 1) {
    return Failure{"making the timestamp request failed" + Reasons()};
  }
  const Bytes query = Der<TS_REQ, i2d_TS_REQ>(request.get());
  OwnedBio body(BIO_new_mem_buf(query.data(), static_cast<int>(query.size())));
  OwnedBio answer(OSSL_HTTP_transfer(nullptr, host, port, path, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, 0, nullptr, "application/timestamp-query", body.get(),
                                     "application/timestamp-reply", 1, 0, 60, 0));
  if (!answer) return Failure{"the timestamp server '" + url + "' gave no answer" + Reasons()};
  OwnedResponse response(d2i_TS_RESP_bio(answer.get(), nullptr));
  if (!response) return Failure{"the timestamp server '" + url + "' answered with no timestamp" + Reasons()};

  OwnedVerifyContext check(TS_REQ_to_TS_VERIFY_CTX(request.get(), nullptr));
  TS_VERIFY_CTX_set_flags(check.get(), TS_VFY_VERSION | TS_VFY_IMPRINT | TS_VFY_NONCE);
  if (!check || TS_RESP_verify_response(check.get(), response.get()) != 1) {
    return Failure{"the timestamp server '" + url + "' refused or gave a timestamp for something else" + Reasons()};
  }
  PKCS7* token = TS_RESP_get_token(response.get());
  if (token == nullptr) return Failure{"the timestamp server '" + url + "' answered with no token"};
  return Der<PKCS7, i2d_PKCS7>(token);
}

}  // namespace lantern::sign
