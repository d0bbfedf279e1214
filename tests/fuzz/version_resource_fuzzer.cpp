// The version record reader over any bytes, as it reads a program's own
// record at run time. Whatever it reads must be what the writer writes back
// for the same values: the version from the fixed part, and a copyright
// line that holds no terminator.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/version_resource.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::optional<VersionRecord> read = ReadVersionResource(std::span(data, size));
  if (!read) return 0;
  FUZZ_CHECK(read->copyright.find(u'\0') == std::u16string::npos, "a terminator inside the copyright line");
  const std::optional<VersionRecord> again = ReadVersionResource(BuildVersionResource(*read));
  FUZZ_CHECK(again.has_value(), "the writer's record for what was read does not read back");
  FUZZ_CHECK(again->version == read->version, "the version changed on the way back");
  FUZZ_CHECK(again->copyright == read->copyright, "the copyright line changed on the way back");
  return 0;
}
