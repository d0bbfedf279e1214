// A build without a cryptographic library (the Windows tool): signing goes
// through a command, such as the system's own signing tool, which timestamps
// too.
#include "sign/crypto.h"

namespace lantern::sign {
namespace {

pe::Failure NotHere(const std::string& what) {
  return pe::Failure{"this build of lantern does not " + what +
                     " itself; sign through a command instead (--command signtool sign ... {in})"};
}

}  // namespace

bool SignsWithKeys() { return false; }

pe::Result<std::unique_ptr<KeyStore>> OpenKeyStore(const SignOptions&) { return NotHere("sign with keys"); }

struct Sha256::State {};
Sha256::Sha256() = default;
Sha256::~Sha256() = default;
void Sha256::Add(std::span<const std::uint8_t>) {}
std::vector<std::uint8_t> Sha256::Finish() { return {}; }
std::vector<std::uint8_t> Sha256Of(std::span<const std::uint8_t>) { return {}; }

pe::Result<std::vector<std::uint8_t>> RequestTimestamp(const std::string&, std::span<const std::uint8_t>) {
  return NotHere("timestamp");
}

}  // namespace lantern::sign
