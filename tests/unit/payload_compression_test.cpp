// The list of compressed payload files as the packing tool writes it and the
// bootstrapper reads it, and the decoder on input the packing tool never
// makes but a damaged file can hold.
#include "core/payload_compression.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "payload/decoder.h"
#include "zstd_frames.h"

namespace lantern {
namespace {

TEST(CompressionListTest, ReadsWhatIsWrittenAndRefusesAnythingElse) {
  EXPECT_EQ(CompressionListText({105, 102, 65535}), "zstd*102*105*65535");
  EXPECT_EQ(ParseCompressionList("zstd*102*105*65535"), (std::set<std::uint32_t>{102, 105, 65535}));
  EXPECT_EQ(ParseCompressionList("zstd"), std::set<std::uint32_t>{});
  for (const char* text : {"", "zst", "lz4*102", "zstd*", "zstd**102", "zstd*102*", "zstd*0102", "zstd*+102",
                           "zstd* 102", "zstd*102x", "zstd*65536", "zstd*0", "zstd102", "ZSTD*102"}) {
    EXPECT_EQ(ParseCompressionList(text), std::nullopt) << text;
  }
}

class StringWriter final : public DecodedBytesWriter {
 public:
  bool Write(const void* data, std::size_t size, std::uint32_t&) override {
    bytes.append(static_cast<const char*>(data), size);
    ++pieces;
    return true;
  }
  std::string bytes;
  int pieces = 0;
};

TEST(DecoderTest, FramesOneAfterAnotherMakeOneFileWrittenInPieces) {
  const std::string first = testing_fakes::Compressible(kDecodedPieceSize + 1);
  const std::string second = "and a short tail";
  const std::string frames = testing_fakes::ZstdFrame(first) + testing_fakes::ZstdFrame(second);
  StringWriter writer;
  const DecodeResult result =
      DecodeToWriter(frames.data(), frames.size(), first.size() + second.size(), writer);
  EXPECT_EQ(result.status, DecodeStatus::Done);
  EXPECT_EQ(result.written, first.size() + second.size());
  EXPECT_EQ(writer.bytes, first + second);
  EXPECT_GE(writer.pieces, 2);
}

TEST(DecoderTest, BytesAfterTheLastFrameThatBeginNoFrameAreDamage) {
  const std::string frames = testing_fakes::ZstdFrame("content") + "junk";
  StringWriter writer;
  EXPECT_EQ(DecodeToWriter(frames.data(), frames.size(), 100, writer).status, DecodeStatus::Damaged);
}

}  // namespace
}  // namespace lantern
