// A compressed build's list of compressed files and the bytes of a compressed
// file, as a damaged or hostile build can hold them. The input is read as the
// list, and as zstd frames decoded with a limit taken from its length.
//
// Checked: a list that is understood reads back the same when written again; decoding
// never hands the writer more than the limit, stops at the first piece the
// writer refuses, and says Done only when the frames ended.
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
  return 0;
}
