// DecodeToWriter for the stub built without the decoder: a bootstrapper
// packed without compression never calls it, and one whose catalogue says
// otherwise fails the file here rather than writing its compressed bytes.
#include "payload/decoder.h"

namespace lantern {

DecodingDictionary::~DecodingDictionary() = default;

// Nothing is decoded, so nothing is held: the files that would need the
// dictionary fail one by one, as every compressed file does here.
DecodeResult DecodingDictionary::Load(const void*, std::size_t) {
  DecodeResult result;
  result.status = DecodeStatus::NoDecoder;
  return result;
}

DecodeResult DecodeToWriter(const void*, std::size_t, std::uint64_t, DecodedBytesWriter&,
                            const DecodingDictionary*) {
  DecodeResult result;
  result.status = DecodeStatus::NoDecoder;
  return result;
}

}  // namespace lantern
