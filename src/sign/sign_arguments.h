// The command line of `lantern sign`.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "pe/result.h"
#include "sign/sign.h"

namespace lantern::sign {

struct SignRequest {
  std::filesystem::path input;
  std::filesystem::path output;  // the input itself unless -o names another
  SignOptions options;
  bool quiet = false;
};

extern const char kSignUsage[];

// Fails, saying what is wrong, for an unknown option, a missing value or file
// name, or a set of key-store options that does not hang together.
pe::Result<SignRequest> ParseSignArguments(const std::vector<std::string>& arguments);

}  // namespace lantern::sign
