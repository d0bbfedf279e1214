// The packer's compression: the shared dictionary made of pieces of the
// payload, kept only where it wins, and what it makes decoded by the
// bootstrapper's own decoder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/compress.h"
#include "payload/decoder.h"
#include "zstd_frames.h"

namespace lantern::pack {
namespace {

std::shared_ptr<pe::ByteSource> Source(const std::string& bytes) {
  return std::make_shared<pe::MemorySource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<std::shared_ptr<pe::ByteSource>> Sources(const std::vector<std::string>& files) {
  std::vector<std::shared_ptr<pe::ByteSource>> sources;
  for (const std::string& file : files) sources.push_back(Source(file));
  return sources;
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Letters drawn from sixteen: they compress to about half, but no stretch of
// them comes back unless it is copied.
std::string Letters(std::size_t size, std::uint32_t seed) {
  std::string text(size, 'a');
  for (char& c : text) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    c = static_cast<char>('a' + (seed >> 28));
  }
  return text;
}

TEST(DictionaryTest, PiecesStartEvenlyThroughTheFilesAsOneStream) {
  // The stream "abcdefghij" + "klmnopqrst" + "" + "uvwxyz0123".
  const std::vector<std::string> files = {"abcdefghij", "klmnopqrst", "", "uvwxyz0123"};
  const struct {
    std::uint64_t budget;
    std::size_t piece;
    std::string dictionary;
  } cases[] = {
      {6, 2, "abkluv"},                           // 3 pieces, at 0, 10 and 20
      {8, 2, "abhipqwx"},                         // 4 at 0, 7, 15 and 22
      {12, 3, "abchijpqrwxy"},                    // 4 of 3 bytes
      {9, 4, "abcdpqrs"},                         // 2 pieces (9 / 4), at 0 and 15
      {12, 6, "abcdefpqrst"},                     // at 0 and 15, the second cut short where its file ends
      {30, 4, "abcdefghijklmnopqrstuvwxyz0123"},  // all of it: within the budget
      {100, 8, "abcdefghijklmnopqrstuvwxyz0123"},
      {3, 4, ""},  // not one piece fits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.budget) + " in pieces of " + std::to_string(c.piece));
    auto dictionary = BuildDictionary(Sources(files), c.budget, c.piece);
    ASSERT_TRUE(dictionary) << dictionary.Message();
    EXPECT_EQ(Text(dictionary.Value()), c.dictionary);
  }
}

// Files that share much of their content, as a product's binaries do.
std::vector<std::string> SimilarFiles() {
  const std::string shared = Letters(40000, 7);
  std::vector<std::string> files;
  for (std::uint32_t i = 1; i <= 6; ++i)
    files.push_back(Letters(9000, 100 + i) + shared + Letters(5000, 200 + i));
  files.push_back("a small file that does not shrink");
  files.push_back(testing_fakes::Compressible(3000));
  return files;
}

std::uint64_t StoredBytes(const CompressedPayload& payload, const std::vector<std::string>& files) {
  std::uint64_t total = payload.dictionary ? payload.dictionary->size() : 0;
  for (std::size_t i = 0; i < files.size(); ++i)
    total += payload.files[i] ? payload.files[i]->size() : files[i].size();
  return total;
}

class StringWriter final : public DecodedBytesWriter {
 public:
  bool Write(const void* data, std::size_t size, std::uint32_t&) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
};

TEST(DictionaryTest, SimilarFilesShareOneThatTheBootstrapperDecodesThemWith) {
  const std::vector<std::string> files = SimilarFiles();
  const auto sources = Sources(files);
  auto shared = CompressPayloadFiles(sources, 96 * 1024);
  ASSERT_TRUE(shared) << shared.Message();
  ASSERT_TRUE(shared->dictionary);
  auto alone = CompressPayloadFiles(sources, 0);
  ASSERT_TRUE(alone) << alone.Message();
  EXPECT_FALSE(alone->dictionary);
  // Kept because it wins, by a good part here: what the files share is
  // found across them.
  EXPECT_LT(StoredBytes(shared.Value(), files) * 10, StoredBytes(alone.Value(), files) * 9);
  // What does not shrink on its own is still stored as it is.
  EXPECT_FALSE(shared->files[6]);

  // The same files give the same bytes.
  auto again = CompressPayloadFiles(sources, 96 * 1024);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->dictionary, shared->dictionary);
  EXPECT_EQ(again->files, shared->files);

  DecodingDictionary dictionary;
  ASSERT_EQ(dictionary.Load(shared->dictionary->data(), shared->dictionary->size()).status,
            DecodeStatus::Done);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    if (!shared->files[i]) continue;
    StringWriter writer;
    const std::vector<std::uint8_t>& frame = *shared->files[i];
    EXPECT_EQ(DecodeToWriter(frame.data(), frame.size(), files[i].size(), writer, &dictionary).status,
              DecodeStatus::Done);
    EXPECT_EQ(writer.bytes, files[i]);
  }
}

// Where a dictionary does not win, the files are exactly what compressing
// each on its own makes, and none is stored.
TEST(DictionaryTest, ADictionaryThatDoesNotWinIsLeftOut) {
  const struct {
    const char* what;
    std::vector<std::string> files;
    bool any_compressed;
  } cases[] = {
      {"files that share nothing", {Letters(60000, 1), Letters(60000, 2), Letters(60000, 3)}, true},
      {"nothing shrinks", {Letters(0, 1), testing_fakes::ZstdFrame(Letters(60000, 4)), "tiny"}, false},
      {"one file shrinks", {testing_fakes::Compressible(200000), "tiny"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto sources = Sources(c.files);
    auto with = CompressPayloadFiles(sources, 32 * 1024);
    ASSERT_TRUE(with) << with.Message();
    auto alone = CompressPayloadFiles(sources, 0);
    ASSERT_TRUE(alone) << alone.Message();
    EXPECT_FALSE(with->dictionary);
    EXPECT_EQ(with->files, alone->files);
    EXPECT_EQ(with->files[0].has_value(), c.any_compressed);
  }
}

}  // namespace
}  // namespace lantern::pack
