// The string table as resources: blocks written into an image and read back,
// ids at the edges of blocks, and blocks that lie about their entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pack/string_table_resource.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/rewrite.h"
#include "pe_test_image.h"

namespace lantern::pack {
namespace {

constexpr std::uint16_t kUk = 0x0809;
constexpr std::uint16_t kUs = 0x0409;

std::vector<std::uint8_t> Bytes(const pe::Resource& resource) {
  std::vector<std::uint8_t> bytes(resource.data->Size());
  EXPECT_TRUE(resource.data->ReadAt(0, bytes));
  return bytes;
}

// An image with `resources`, and its resource entries as read back.
struct Written {
  std::vector<std::uint8_t> file;
  std::vector<pe::ResourceEntry> entries;
};

Written WriteImage(const std::vector<pe::Resource>& resources) {
  testing_fakes::TestImageShape shape;
  shape.sections = {{".text", testing_fakes::TestBytes(0x100, 1), 0x60000020}};
  const std::vector<std::uint8_t> input = testing_fakes::BuildTestImage(shape);
  pe::SpanSource source(input);
  const pe::Result<pe::Image> image = pe::ReadImage(source);
  EXPECT_TRUE(image) << image.Message();
  pe::MemorySink sink;
  const auto summary = pe::WriteWithResources(source, image.Value(), resources, sink);
  EXPECT_TRUE(summary) << summary.Message();
  Written out{std::move(sink.bytes), {}};
  pe::SpanSource written(out.file);
  const pe::Result<pe::Image> again = pe::ReadImage(written);
  EXPECT_TRUE(again) << again.Message();
  auto entries = pe::ReadResources(written, again.Value());
  EXPECT_TRUE(entries) << entries.Message();
  out.entries = std::move(entries).Value();
  return out;
}

TEST(StringTableResource, WritesBlocksThatReadBackTheSameEntries) {
  // Ids at the edges of blocks, an empty entry (absent, as for the loader),
  // and text beyond ASCII.
  const StringEntries strings = {
      {0, u"first"}, {15, u"end of block 1"}, {16, u"start of block 2"},
      {100, u""},    {101, u"Ünïcödé €"},     {65535, u"last"},
  };
  const std::vector<pe::Resource> blocks = StringTableResources(strings, kUk);
  std::vector<std::uint16_t> names;
  for (const pe::Resource& block : blocks) {
    EXPECT_EQ(block.key.type, pe::ResourceId(pe::kTypeString));
    EXPECT_EQ(block.key.language, kUk);
    names.push_back(block.key.name.Id());
  }
  EXPECT_EQ(names, (std::vector<std::uint16_t>{1, 2, 7, 4096}));
  // Block 1: "first", fourteen absent entries, the fifteenth at index 15.
  const std::vector<std::uint8_t> first = Bytes(blocks[0]);
  ASSERT_EQ(first.size(), 2 + 10 + 14 * 2 + 2 + 28u);
  EXPECT_EQ(first[0], 5);
  EXPECT_EQ(first[2], 'f');
  EXPECT_EQ(first[12 + 14 * 2], 14);

  // Beside them, a table in another language and a resource of another type.
  std::vector<pe::Resource> all = blocks;
  for (pe::Resource& us : StringTableResources({{1, u"US only"}, {15, u"US end"}}, kUs)) all.push_back(us);
  all.push_back(pe::Resource{
      {pe::kTypeRcData, 1, kUk}, std::make_shared<pe::MemorySource>(std::vector<std::uint8_t>{1, 2, 3}), 0});
  Written image = WriteImage(all);
  pe::SpanSource source(image.file);
  const pe::Result<StringEntries> read = ReadStringTable(source, image.entries, kUk);
  ASSERT_TRUE(read) << read.Message();
  StringEntries expected = strings;
  expected.erase(100);
  EXPECT_EQ(read.Value(), expected);
  const pe::Result<StringEntries> us = ReadStringTable(source, image.entries, kUs);
  ASSERT_TRUE(us) << us.Message();
  EXPECT_EQ(us.Value(), (StringEntries{{1, u"US only"}, {15, u"US end"}}));
}

TEST(StringTableResource, WritesNoBlockForSixteenAbsentIds) {
  EXPECT_TRUE(StringTableResources({}, kUk).empty());
  EXPECT_TRUE(StringTableResources({{32, u""}, {47, u""}}, kUk).empty());
}

// A block as a file may hold it: sixteen lengths with their text, or less.
TEST(StringTableResource, RefusesABlockWhoseEntriesRunPastItsEnd) {
  std::vector<std::uint8_t> whole = Bytes(StringTableResources({{32, u"ab"}, {47, u"last"}}, kUk)[0]);
  const struct {
    const char* what;
    std::size_t size;  // of the block's bytes given
    const char* message;
  } cases[] = {
      {"no bytes", 0, "the string-table block #3 (ids 32 to 47) runs past its end at entry 0"},
      {"text cut short", 4, "the string-table block #3 (ids 32 to 47) runs past its end at entry 0"},
      {"fifteen entries", 6 + 14 * 2,
       "the string-table block #3 (ids 32 to 47) runs past its end at entry 15"},
      {"last text cut short", whole.size() - 1,
       "the string-table block #3 (ids 32 to 47) runs past its end at entry 15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    pe::SpanSource source(std::span<const std::uint8_t>(whole).first(c.size));
    const pe::ResourceEntry entry{{pe::kTypeString, 3, kUk}, 0, static_cast<std::uint32_t>(c.size), 0, 0};
    const pe::Result<StringEntries> read = ReadStringTable(source, std::span(&entry, 1), kUk);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.Message(), c.message);
  }
  // Bytes after the sixteenth entry are never looked at.
  whole.resize(whole.size() + 6, 0xFF);
  pe::SpanSource source(whole);
  const pe::ResourceEntry entry{{pe::kTypeString, 3, kUk}, 0, static_cast<std::uint32_t>(whole.size()), 0, 0};
  const pe::Result<StringEntries> read = ReadStringTable(source, std::span(&entry, 1), kUk);
  ASSERT_TRUE(read) << read.Message();
  EXPECT_EQ(read.Value(), (StringEntries{{32, u"ab"}, {47, u"last"}}));
}

TEST(StringTableResource, RefusesAnEntryTooLongForItsLength) {
  EXPECT_TRUE(CheckStringTableEntries({{1, std::u16string(kMaxStringTableEntry, u'x')}}));
  const pe::Status status =
      CheckStringTableEntries({{7, u"ok"}, {9, std::u16string(kMaxStringTableEntry + 1, u'x')}});
  ASSERT_FALSE(status);
  EXPECT_EQ(status.Message(),
            "string-table entry 9 is 65536 characters long, more than the 65535 an entry holds");
}

}  // namespace
}  // namespace lantern::pack
