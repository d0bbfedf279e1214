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
  EXPECT_EQ(CompressionListText({{105, 102, 65535}, false}), "zstd*102*105*65535");
  EXPECT_EQ(CompressionListText({{105, 102}, true}), "zstd-dict*102*105");
  const struct {
    const char* text;
    CompressionList list;
  } understood[] = {{"zstd*102*105*65535", {{102, 105, 65535}, false}},
                    {"zstd", {{}, false}},
                    {"zstd-dict*102*105", {{102, 105}, true}},
                    {"zstd-dict", {{}, true}}};
  for (const auto& c : understood) EXPECT_EQ(ParseCompressionList(c.text), c.list) << c.text;
  for (const char* text : {"",
                           "zst",
                           "lz4*102",
                           "zstd*",
                           "zstd**102",
                           "zstd*102*",
                           "zstd*0102",
                           "zstd*+102",
                           "zstd* 102",
                           "zstd*102x",
                           "zstd*65536",
                           "zstd*0",
                           "zstd102",
                           "ZSTD*102",
                           "zstd-dict*",
                           "zstd-dic*102",
                           "zstd-dictx*102",
                           "zstd-dict102",
                           "ZSTD-DICT*102",
                           "zstd_dict*102",
                           "dict*102",
                           "zstd-dict**102"}) {
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

namespace lantern {
namespace {

// The bytes of a dictionary as the packer stores it: one frame with its size.
std::string StoredDictionary(const std::string& content) { return testing_fakes::ZstdFrame(content); }

TEST(DecodingDictionaryTest, FilesReferringToTheDictionaryDecodeOnlyWithIt) {
  const std::string content = testing_fakes::Compressible(300000);
  // A file that repeats the dictionary's content, which it then holds as references.
  const std::string file = content.substr(1000, 200000) + "a tail of its own";
  const std::string frame = testing_fakes::ZstdFrameWithDictionary(file, content);
  ASSERT_LT(frame.size(), testing_fakes::ZstdFrame(file).size());

  DecodingDictionary dictionary;
  const std::string stored = StoredDictionary(content);
  const DecodeResult loaded = dictionary.Load(stored.data(), stored.size());
  ASSERT_EQ(loaded.status, DecodeStatus::Done);
  EXPECT_EQ(loaded.written, content.size());
  EXPECT_EQ(dictionary.Size(), content.size());

  // Two files at once, each with its own decoder and the one dictionary.
  for (int i = 0; i < 2; ++i) {
    StringWriter writer;
    const DecodeResult result = DecodeToWriter(frame.data(), frame.size(), file.size(), writer, &dictionary);
    EXPECT_EQ(result.status, DecodeStatus::Done);
    EXPECT_EQ(writer.bytes, file);
  }
  StringWriter without;
  EXPECT_EQ(DecodeToWriter(frame.data(), frame.size(), file.size(), without).status, DecodeStatus::Damaged);
  // A file made without the dictionary decodes the same with it.
  const std::string plain = testing_fakes::ZstdFrame("made on its own");
  StringWriter alone;
  EXPECT_EQ(DecodeToWriter(plain.data(), plain.size(), 100, alone, &dictionary).status, DecodeStatus::Done);
  EXPECT_EQ(alone.bytes, "made on its own");
}

TEST(DecodingDictionaryTest, ADictionaryThatIsNotWholeOrTooLargeIsNotLoaded) {
  const std::string content = testing_fakes::Compressible(50000);
  const std::string stored = StoredDictionary(content);
  std::string flipped = stored;
  flipped[flipped.size() / 2] ^= 0x55;
  std::string checksum = stored;
  checksum.back() ^= 0x01;
  // A frame that does not say its size, as a stream can be written.
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 0);
  std::string unsized(ZSTD_compressBound(content.size()), '\0');
  unsized.resize(ZSTD_compress2(context, unsized.data(), unsized.size(), content.data(), content.size()));
  ZSTD_freeCCtx(context);
  const std::string too_large = StoredDictionary(std::string(kMaxDictionaryBytes + 1, 'x'));
  const std::string at_limit = StoredDictionary(std::string(kMaxDictionaryBytes, 'x'));

  const struct {
    const char* what;
    std::string bytes;
    DecodeStatus status;
  } cases[] = {{"empty", "", DecodeStatus::Truncated},
               {"not a frame", "not a zstd frame at all", DecodeStatus::Damaged},
               {"cut short", stored.substr(0, stored.size() - 20), DecodeStatus::Truncated},
               {"a flipped byte", flipped, DecodeStatus::Damaged},
               {"a wrong checksum", checksum, DecodeStatus::Damaged},
               {"a second frame after it", stored + testing_fakes::ZstdFrame("more"), DecodeStatus::Damaged},
               {"no size in its header", unsized, DecodeStatus::Damaged},
               {"nothing in it", StoredDictionary(""), DecodeStatus::Damaged},
               {"one byte over the limit", too_large, DecodeStatus::DictionaryTooLarge},
               {"at the limit", at_limit, DecodeStatus::Done}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DecodingDictionary dictionary;
    EXPECT_EQ(dictionary.Load(c.bytes.data(), c.bytes.size()).status, c.status);
    EXPECT_EQ(dictionary.Prepared() != nullptr, c.status == DecodeStatus::Done);
  }
}

}  // namespace
}  // namespace lantern
