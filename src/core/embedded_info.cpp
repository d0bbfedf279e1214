#include "core/embedded_info.h"

#include <algorithm>

namespace lantern {

std::optional<EmbeddedInformation> FindEmbeddedInformation(
    std::span<const unsigned char, kEmbeddedScanSize> tail) {
  // The buffer ends one byte before the file does, so the information (which
  // stops six bytes before the end of the file) ends at buffer position 4110.
  constexpr std::size_t kInformationEnd = kEmbeddedScanSize - 5;
  for (std::size_t p = kEmbeddedScanSize - 5; p >= 1; --p) {
    if (!std::equal(std::begin(kEmbeddedMarker), std::end(kEmbeddedMarker), tail.begin() + p)) continue;
    const std::size_t start = p + sizeof(kEmbeddedMarker);
    if (start >= kInformationEnd) return std::nullopt;
    return EmbeddedInformation{start, kInformationEnd - start};
  }
  return std::nullopt;
}

}  // namespace lantern
