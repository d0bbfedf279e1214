// Where the information block is taken from in a hostile file: its headers'
// certificate table, a block at its end, one where its signed bytes end. The
// input is the whole file. Every read must stay inside the file, and the
// information taken must be bytes of the file that hold no marker, no more
// than a block can carry, ending six bytes (and, stamped, up to seven zero
// bytes more) before the end of the file or of the signed bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "core/embedded_info.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const ReadFileBytes read = [&](std::uint64_t offset, std::span<unsigned char> out) {
    FUZZ_CHECK(offset <= size && out.size() <= size - offset,
               "read of " + std::to_string(out.size()) + " bytes at " + std::to_string(offset));
    std::memcpy(out.data(), data + offset, out.size());
    return true;
  };
  const std::optional<CertificateTable> table =
      FindCertificateTable(std::span(data, std::min<std::size_t>(size, kHeadersReadSize)), size);
  if (table) FUZZ_CHECK(table->offset + table->size <= size, "a table past the end of the file");

  for (const InformationMode mode : {InformationMode::Stamped, InformationMode::Sealed}) {
    const LocatedInformation located = LocateEmbeddedInformation(size, mode, read);
    if (located.information.empty()) continue;
    const std::size_t length = located.information.size();
    FUZZ_CHECK(length <= kMaxEmbeddedInformation, "information of " + std::to_string(length) + " bytes");
    FUZZ_CHECK(located.offset >= sizeof kEmbeddedMarker && located.offset + length + 6 <= size,
               "information outside the file");
    FUZZ_CHECK(std::memcmp(data + located.offset - sizeof kEmbeddedMarker, kEmbeddedMarker, 4) == 0,
               "information not after a marker");
    FUZZ_CHECK(std::memcmp(data + located.offset, located.information.data(), length) == 0,
               "information that is not the file's bytes");
    const std::string text(located.information.begin(), located.information.end());
    FUZZ_CHECK(text.find("MRDC") == std::string::npos, "a marker inside the information");
    const std::uint64_t end = located.offset + length + 6;
    const std::uint64_t signed_end = table ? table->offset : size;
    if (mode == InformationMode::Sealed) {
      FUZZ_CHECK(end == signed_end, "a sealed block that does not end where the signed bytes end");
    } else {
      FUZZ_CHECK(end == size || (end <= signed_end && end + 7 >= signed_end), "a block that ends nowhere");
    }
  }
  return 0;
}
