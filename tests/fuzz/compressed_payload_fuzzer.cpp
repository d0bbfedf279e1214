// A compressed build's list of compressed files, its stored dictionary and
// the bytes of a compressed file, as a damaged or hostile build can hold
// them. The input is read as the list, as a stored dictionary, and as zstd
// frames decoded with a limit taken from its length, once on their own and
// once referring to a dictionary.
//
// Checked: a list that is understood reads back the same when written again;
// a dictionary loads only when it is within the size a bootstrapper takes;
// decoding never hands the writer more than the limit, stops at the first
// piece the writer refuses, and says Done only when the frames ended.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/payload_compression.h"
#include "fuzz_support.h"
#include "payload/decoder.h"

namespace lantern {
namespace {

class CountingWriter final : public DecodedBytesWriter {
 public:
  explicit CountingWriter(std::uint64_t refuse_after) : refuse_after_(refuse_after) {}
  bool Write(const void*, std::size_t size, std::uint32_t& error) override {
    FUZZ_CHECK(!refused_, std::string("a piece after the writer refused one"));
    if (taken_ + size > refuse_after_) {
      refused_ = true;
      error = 112;
      return false;
    }
    taken_ += size;
    return true;
  }
  std::uint64_t taken_ = 0;

 private:
  std::uint64_t refuse_after_;
  bool refused_ = false;
};

}  // namespace
}  // namespace lantern

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto ids = ParseCompressionList(text)) {
    FUZZ_CHECK(ParseCompressionList(CompressionListText(*ids)) == ids,
               "a list that does not read back: " + std::string(text));
  }
  // The limit and where the writer refuses come from the input, so that both
  // are met somewhere inside the output.
  const std::uint64_t limit = (size * 37) % (1 << 20);
  CountingWriter writer(size % 3 == 0 ? (size * 11) % (1 << 20) : UINT64_MAX);
  const DecodeResult result = DecodeToWriter(data, size, limit, writer);
  FUZZ_CHECK(result.written <= limit, "more than the limit written: " + std::to_string(result.written));
  FUZZ_CHECK(result.written == writer.taken_, std::string("the count differs from what the writer took"));
  if (result.status == DecodeStatus::Done) FUZZ_CHECK(size > 0, std::string("no data decoded as Done"));

  DecodingDictionary loaded;
  const DecodeResult load = loaded.Load(data, size);
  if (load.status == DecodeStatus::Done) {
    FUZZ_CHECK(loaded.Size() > 0 && loaded.Size() <= kMaxDictionaryBytes && loaded.Prepared(),
               "a dictionary of " + std::to_string(loaded.Size()) + " bytes loaded");
  } else {
    FUZZ_CHECK(!loaded.Prepared(), std::string("a dictionary that failed to load is used"));
  }

  // Frames that refer to a dictionary read what it holds, and no further.
  static const DecodingDictionary* const shared = [] {
    static DecodingDictionary dictionary;
    // One frame of "line of the dict!", stored in a raw block.
    static const std::uint8_t stored[] = {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x11, 0x89, 0x00, 0x00,
                                          0x6C, 0x69, 0x6E, 0x65, 0x20, 0x6F, 0x66, 0x20, 0x74,
                                          0x68, 0x65, 0x20, 0x64, 0x69, 0x63, 0x74, 0x21};
    dictionary.Load(stored, sizeof stored);
    return &dictionary;
  }();
  CountingWriter second(UINT64_MAX);
  const DecodeResult referring = DecodeToWriter(data, size, limit, second, shared);
  FUZZ_CHECK(referring.written <= limit, "more than the limit written: " + std::to_string(referring.written));
  return 0;
}
