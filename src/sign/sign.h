// Signing a program with Authenticode: with a key in a file, in a PKCS#12
// bundle or on a PKCS#11 token, or through a command of the user's own (a
// signing service's client, the system's signing tool), and timestamping the
// signature with an RFC 3161 authority so that it outlives its certificate.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pe/result.h"

namespace lantern::sign {

struct SignOptions {
  // One key store: certificate + key (a file, or a PKCS#11 URI with
  // pkcs11_module), a PKCS#12 file, or a command.
  std::filesystem::path certificate;
  std::string key;
  std::filesystem::path pkcs12;
  std::filesystem::path pkcs11_module;
  // The command and its arguments, "{in}", "{out}", "{name}" and "{url}"
  // replaced in each; without "{out}" the command signs "{in}" in place. With
  // a timestamp server, the command's signature is timestamped afterwards.
  std::vector<std::string> command;

  std::optional<std::string> program_name;  // UTF-8
  std::optional<std::string> more_info;
  std::string timestamp_url;

  bool Any() const {
    return !certificate.empty() || !key.empty() || !pkcs12.empty() || !pkcs11_module.empty() || !command.empty();
  }
};

// The environment variables a pass phrase (of a key file or a PKCS#12 file)
// and a token's PIN are taken from, so that they never stand on a command line.
inline constexpr char kPasswordVariable[] = "LANTERN_SIGN_PASSWORD";
inline constexpr char kPinVariable[] = "LANTERN_SIGN_PIN";

// Whether the options name exactly one key store, completely; the message
// says what is missing or too much.
pe::Status CheckSignOptions(const SignOptions& options);

// Signs `input` into `output` (which may be the same file): a signature it
// carries already is replaced. `output` appears only when signing succeeded.
pe::Status SignFile(const std::filesystem::path& input, const std::filesystem::path& output,
                    const SignOptions& options);

// Whether this build signs with keys itself; without it, only a command signs.
bool SignsWithKeys();

}  // namespace lantern::sign
