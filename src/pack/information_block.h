// The information block a bootstrapper carries at the very end of its file
// (core/embedded_info.h), made from a file of information and checked
// against what the bootstrapper can find again: packed into an unsigned build
// and stamped into a signed one by the same rules and messages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "pe/result.h"

namespace lantern::pack {

// "MRDC", the information and the six bytes after it (zeros). `named` names
// the information in a message ("INFO file 'info.xml'"). Fails when there is
// no byte of information or more than the block can carry, or when the
// marker appears inside the information (the bootstrapper takes the marker
// nearest the end, and would cut the information short).
pe::Result<std::vector<std::uint8_t>> InformationBlock(std::span<const std::uint8_t> information,
                                                       const std::string& named);

// The same with the information read from `path`, which `kind` names
// ("INFO file": "INFO file 'info.xml' does not exist").
pe::Result<std::vector<std::uint8_t>> InformationBlockFromFile(const std::filesystem::path& path,
                                                               const std::string& kind);

}  // namespace lantern::pack
