#include "pack/information_block.h"

#include <algorithm>
#include <system_error>

#include "core/embedded_info.h"
#include "pack/text.h"
#include "pe/byte_io.h"

namespace lantern::pack {

pe::Result<std::vector<std::uint8_t>> InformationBlock(std::span<const std::uint8_t> information,
                                                       const std::string& named) {
  if (information.empty() || information.size() > kMaxEmbeddedInformation) {
    return pe::Failure{named + " holds " + std::to_string(information.size()) +
                       " bytes; the information block takes 1 to " + std::to_string(kMaxEmbeddedInformation)};
  }
  // The bootstrapper takes the marker nearest the end: one inside the
  // information would cut it short. The bytes around the information (the
  // marker before it, zeros after it) cannot complete one across its ends.
  if (std::search(information.begin(), information.end(), std::begin(kEmbeddedMarker),
                  std::end(kEmbeddedMarker)) != information.end()) {
    return pe::Failure{named + " holds the marker \"MRDC\", which would cut the information short"};
  }
  std::vector<std::uint8_t> block(kEmbeddedMarker, kEmbeddedMarker + sizeof kEmbeddedMarker);
  block.insert(block.end(), information.begin(), information.end());
  block.resize(block.size() + kEmbeddedTrailerSize, 0);
  return block;
}

pe::Result<std::vector<std::uint8_t>> InformationBlockFromFile(const std::filesystem::path& path,
                                                               const std::string& kind) {
  const std::string named = kind + " '" + ShowPath(path) + "'";
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return pe::Failure{named + " does not exist"};
  auto file = pe::FileSource::Open(path);
  if (!file) return file.AsFailure();
  const std::uint64_t size = file.Value()->Size();
  // Too large to be read whole: refused by its size alone.
  if (size > kMaxEmbeddedInformation) {
    return pe::Failure{named + " holds " + std::to_string(size) +
                       " bytes; the information block takes 1 to " + std::to_string(kMaxEmbeddedInformation)};
  }
  std::vector<std::uint8_t> information(static_cast<std::size_t>(size));
  if (!file.Value()->ReadAt(0, information)) return pe::Failure{named + " cannot be read"};
  return InformationBlock(information, named);
}

}  // namespace lantern::pack
