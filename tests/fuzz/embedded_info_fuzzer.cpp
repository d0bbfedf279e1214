// The information block scan over the tail of a hostile file. The input is
// the file's end: its last kEmbeddedScanSize + 1 bytes, with zeros before a
// shorter input. The scan reads the tail from a buffer of exactly its size,
// so a read past it shows, and its answer must be the marker that begins
// nearest the end and the information between it and the trailing bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "core/embedded_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;

  // The file's last bytes: the scan buffer, then the one byte it leaves out.
  constexpr std::size_t kFileTail = kEmbeddedScanSize + 1;
  std::uint8_t file_tail[kFileTail] = {};
  const std::size_t taken = std::min(size, kFileTail);
  std::memcpy(file_tail + (kFileTail - taken), data + (size - taken), taken);

  const auto tail = std::make_unique<unsigned char[]>(kEmbeddedScanSize);
  std::memcpy(tail.get(), file_tail, kEmbeddedScanSize);
  const std::optional<EmbeddedInformation> found = FindEmbeddedInformation(
      std::span<const unsigned char, kEmbeddedScanSize>(tail.get(), kEmbeddedScanSize));

  // The same question asked of the file's tail position by position: the
  // marker may begin at positions 1 to 4111 of the buffer; the information
  // runs from after it to six bytes before the end of the file.
  constexpr std::size_t kInformationEnd = kFileTail - 6;
  std::optional<std::size_t> marker;
  for (std::size_t p = kEmbeddedScanSize - 5; p >= 1 && !marker; --p) {
    if (std::memcmp(file_tail + p, kEmbeddedMarker, sizeof kEmbeddedMarker) == 0) marker = p;
  }
  if (!marker || *marker + sizeof kEmbeddedMarker >= kInformationEnd) {
    FUZZ_CHECK(!found, "information found at " + std::to_string(found->offset) + " where none is");
    return 0;
  }
  FUZZ_CHECK(found.has_value(), "marker at " + std::to_string(*marker) + " missed");
  FUZZ_CHECK(found->offset == *marker + sizeof kEmbeddedMarker,
             "information at " + std::to_string(found->offset) + ", marker at " + std::to_string(*marker));
  FUZZ_CHECK(found->size >= 1 && found->offset + found->size == kInformationEnd,
             "information of " + std::to_string(found->size) + " bytes at " + std::to_string(found->offset));

  // The copy the run writes to info.xml comes from inside the buffer, and
  // holds no marker: one there would begin nearer the end.
  const std::string information(reinterpret_cast<const char*>(tail.get()) + found->offset, found->size);
  FUZZ_CHECK(information.find("MRDC") == std::string::npos, "a later marker was passed over");
  return 0;
}
