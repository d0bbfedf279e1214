// DecodeToWriter for the stub built without the decoder: a bootstrapper
// packed without compression never calls it, and one whose catalogue says
// otherwise fails the file here rather than writing its compressed bytes.
#include "payload/decoder.h"

namespace lantern {

DecodeResult DecodeToWriter(const void*, std::size_t, std::uint64_t, DecodedBytesWriter&) {
  DecodeResult result;
  result.status = DecodeStatus::NoDecoder;
  return result;
}

}  // namespace lantern
