// Runs a program with its arguments, no shell between: what a signing
// command template becomes once its placeholders are filled in.
#pragma once

#include <string>
#include <vector>

#include "pe/result.h"

namespace lantern::sign {

// Runs `arguments` (the program first, found on PATH as a shell would) with
// this process's standard streams and waits for it. Fails, saying why, when it
// cannot be started or ends with another status than 0.
pe::Status RunCommand(const std::vector<std::string>& arguments);

}  // namespace lantern::sign
