// An image's resources: the tree read from a hand-made section and its
// faults, and new images written with a set of resources and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/rewrite.h"
#include "pe_test_image.h"

namespace lantern::pe {
namespace {

using testing_fakes::BuildTestImage;
using testing_fakes::DirectoryAt;
using testing_fakes::Get32;
using testing_fakes::OptionalHeaderAt;
using testing_fakes::Put16;
using testing_fakes::Put32;
using testing_fakes::SectionTableAt;
using testing_fakes::TestBytes;
using testing_fakes::TestImageShape;
using testing_fakes::TestSection;

constexpr std::uint32_t kHandRva = 0x2000;

// A resource section as a resource compiler lays it out: TOOLKIT/#101/0x809
// holding "hello", and #6/#7/0x809 holding "ab" in code page 1252.
//   0x00 root        0x20 TOOLKIT's names   0x38 #101's languages
//   0x60 data entry  0x80 "TOOLKIT"         0x90 "hello"
//   0xA0 #6's names  0xB8 #7's languages    0xD0 data entry   0xE0 "ab"
std::vector<std::uint8_t> HandMadeTree() {
  std::vector<std::uint8_t> s(0x100, 0);
  Put16(s, 0x0C, 1);  // one name, one id
  Put16(s, 0x0E, 1);
  Put32(s, 0x10, 0x80000000 | 0x80);
  Put32(s, 0x14, 0x80000000 | 0x20);
  Put32(s, 0x18, kTypeString);
  Put32(s, 0x1C, 0x80000000 | 0xA0);
  Put16(s, 0x2E, 1);
  Put32(s, 0x30, 101);
  Put32(s, 0x34, 0x80000000 | 0x38);
  Put16(s, 0x46, 1);
  Put32(s, 0x48, 0x809);
  Put32(s, 0x4C, 0x60);
  Put32(s, 0x60, kHandRva + 0x90);
  Put32(s, 0x64, 5);
  Put16(s, 0x80, 7);
  for (int i = 0; i < 7; ++i) Put16(s, 0x82 + 2 * i, "TOOLKIT"[i]);
  std::copy_n("hello", 5, s.begin() + 0x90);
  Put16(s, 0xAE, 1);
  Put32(s, 0xB0, 7);
  Put32(s, 0xB4, 0x80000000 | 0xB8);
  Put16(s, 0xC6, 1);
  Put32(s, 0xC8, 0x809);
  Put32(s, 0xCC, 0xD0);
  Put32(s, 0xD0, kHandRva + 0xE0);
  Put32(s, 0xD4, 2);
  Put32(s, 0xD8, 1252);
  std::copy_n("ab", 2, s.begin() + 0xE0);
  return s;
}

TestImageShape WithSections(bool pe32_plus, std::vector<TestSection> sections, int resource_section) {
  TestImageShape shape;
  shape.pe32_plus = pe32_plus;
  shape.sections = std::move(sections);
  shape.resource_section = resource_section;
  return shape;
}

std::vector<std::uint8_t> HandMadeImage(const std::vector<std::uint8_t>& tree) {
  return BuildTestImage(WithSections(true, {{".text", TestBytes(0x100, 1), 0x60000020}, {".rsrc", tree}}, 1));
}

Result<std::vector<ResourceEntry>> ReadAll(const std::vector<std::uint8_t>& bytes) {
  SpanSource source(bytes);
  const Result<Image> image = ReadImage(source);
  if (!image) return image.AsFailure();
  return ReadResources(source, image.Value());
}

TEST(ReadResources, ReadsTheTreeAndEachResourcesBytes) {
  const std::vector<std::uint8_t> bytes = HandMadeImage(HandMadeTree());
  const Result<std::vector<ResourceEntry>> entries = ReadAll(bytes);
  ASSERT_TRUE(entries) << entries.Message();
  ASSERT_EQ(entries->size(), 2u);
  const ResourceEntry& toolkit = entries.Value()[0];
  EXPECT_EQ(toolkit.key, (ResourceKey{u"TOOLKIT", 101, 0x809}));
  EXPECT_EQ(toolkit.key.ToString(), "TOOLKIT/#101/0x809");
  EXPECT_EQ(toolkit.data_rva, kHandRva + 0x90);
  EXPECT_EQ(toolkit.file_offset, 0x600u + 0x90);
  const ResourceEntry& string = entries.Value()[1];
  EXPECT_EQ(string.key, (ResourceKey{kTypeString, 7, 0x809}));
  EXPECT_EQ(string.code_page, 1252u);
  SpanSource source(bytes);
  EXPECT_EQ(ReadResourceBytes(source, toolkit).Value(), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(ReadResourceBytes(source, string).Value(), (std::vector<std::uint8_t>{'a', 'b'}));
}

TEST(ReadResources, NoResourceDirectoryIsNoResources) {
  const Result<std::vector<ResourceEntry>> entries =
      ReadAll(BuildTestImage(WithSections(false, {{".text", TestBytes(0x100, 1)}}, -1)));
  ASSERT_TRUE(entries) << entries.Message();
  EXPECT_TRUE(entries->empty());
}

TEST(ReadResources, RefusesABrokenTreeWithWhatIsWrong) {
  const struct {
    const char* what;
    std::uint32_t at;  // in the section; 0xFFFF: the header's resource directory address
    std::uint32_t value;
    const char* message;
  } cases[] = {
      {"a loop back to the root", 0x14, 0x80000000, "resource directory at 0x0 is reached twice"},
      {"two types sharing a directory", 0x1C, 0x80000020, "at 0x20 is reached twice"},
      {"a directory past the section", 0x14, 0x80000000 | 0x1F8,
       "directory at 0x1F8 lies outside the section"},
      {"entries past the section", 0x2C, 0xFFFF0000, "entries of the resource directory at 0x20 run past"},
      {"a name past the section", 0x10, 0x80000000 | 0xFFF0, "resource name at 0xFFF0 lies outside"},
      {"a name running past the section", 0x80, 0xFFFF, "resource name at 0x80 runs past"},
      {"an id wider than 16 bits", 0x30, 0x10065, "id 0x10065 is wider than 16 bits"},
      {"data where a directory belongs", 0x34, 0x38, "at 0x20 has data where a directory belongs"},
      {"a fourth level", 0x4C, 0x80000000 | 0xB8, "TOOLKIT/#101/0x809 has a fourth directory level"},
      {"a language by name", 0x48, 0x80000000 | 0x80, "TOOLKIT/#101 has a language given by name"},
      {"a data entry past the section", 0x4C, 0x1FF8,
       "data entry of resource TOOLKIT/#101/0x809 lies outside"},
      {"data before the sections", 0x60, 0x10,
       "data of resource TOOLKIT/#101/0x809 (0x5 bytes at RVA 0x10) lies"},
      {"data past the section's bytes", 0x64, 0x171, "(0x171 bytes at RVA 0x2090) lies outside"},
      {"data of 4 GB", 0x64, 0xFFFFFFFF, "lies outside the sections' bytes"},
      {"the directory outside every section", 0xFFFF, 0x9000, "resource directory (RVA 0x9000) lies outside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> tree = HandMadeTree();
    std::vector<std::uint8_t> bytes;
    if (c.at == 0xFFFF) {
      bytes = HandMadeImage(tree);
      Put32(bytes, DirectoryAt(true, 2), c.value);
    } else {
      Put32(tree, c.at, c.value);
      bytes = HandMadeImage(tree);
    }
    const Result<std::vector<ResourceEntry>> entries = ReadAll(bytes);
    ASSERT_FALSE(entries);
    EXPECT_NE(entries.Message().find(c.message), std::string::npos) << entries.Message();
  }
}

std::shared_ptr<ByteSource> Bytes(std::vector<std::uint8_t> bytes) {
  return std::make_shared<MemorySource>(std::move(bytes));
}

std::vector<Resource> ResourceSet() {
  return {
      {{u"TOOLKIT", 102, 0}, Bytes(TestBytes(70001, 10))},
      {{u"TOOLKIT", 101, 0}, Bytes(TestBytes(3, 11))},
      {{u"toolkit", u"catalogue", 0}, Bytes({})},  // the same type: names are held in upper case
      {{kTypeString, 8, 0x809}, Bytes(TestBytes(17, 12)), 1200},
      {{kTypeString, 8, 0x409}, Bytes(TestBytes(16, 13))},
      {{kTypeRcData, u"Zeta", 0}, Bytes(TestBytes(1, 14))},
      {{kTypeRcData, u"ALPHA", 0}, Bytes(TestBytes(9, 15))},
      {{u"B", 1, 0}, Bytes(TestBytes(4096, 16))},
      {{kTypeManifest, 1, 0x409}, Bytes(TestBytes(600, 17))},
  };
}

// The set in the directory's order: named types first, in code-unit order of
// their upper-case names, then ids; the same within each type.
const struct {
  ResourceKey key;
  std::size_t given;  // its index in ResourceSet()
} kExpectedOrder[] = {
    {{u"B", 1, 0}, 7},
    {{u"TOOLKIT", u"CATALOGUE", 0}, 2},
    {{u"TOOLKIT", 101, 0}, 1},
    {{u"TOOLKIT", 102, 0}, 0},
    {{kTypeString, 8, 0x409}, 4},
    {{kTypeString, 8, 0x809}, 3},
    {{kTypeRcData, u"ALPHA", 0}, 6},
    {{kTypeRcData, u"ZETA", 0}, 5},
    {{kTypeManifest, 1, 0x409}, 8},
};

std::vector<std::uint8_t> BytesOf(const Resource& resource) {
  std::vector<std::uint8_t> bytes(resource.data->Size());
  EXPECT_TRUE(resource.data->ReadAt(0, bytes));
  return bytes;
}

// Images with their resources in the last section (replaced), in a section
// followed by another (a new section added), or without any, each signed
// and with other data after the sections.
TEST(WriteWithResources, WritesAnImageThatReadsBackTheSameResources) {
  const struct {
    const char* what;
    bool pe32_plus;
    int resource_section;  // -1: none
    bool resources_last;
    bool appended;
  } cases[] = {
      {"PE32, resources last", false, 2, true, false},
      {"PE32+, resources last", true, 2, true, false},
      {"PE32, resources before relocations", false, 1, false, true},
      {"PE32+, resources before relocations", true, 1, false, true},
      {"PE32+, no resources", true, -1, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TestSection> sections = {{".text", TestBytes(0x1234, 1), 0x60000020},
                                         {".data", TestBytes(0x300, 2), 0xC0000040}};
    const TestSection old_resources{".rsrc", HandMadeTree()};
    const TestSection relocations{".reloc", TestBytes(0x44, 3), 0x42000040};
    if (c.resource_section >= 0) {
      sections.insert(sections.begin() + c.resource_section, old_resources);
    }
    if (!c.resources_last) sections.push_back(relocations);
    TestImageShape shape = WithSections(c.pe32_plus, sections, c.resource_section);
    shape.overlay = TestBytes(0x123, 4);
    shape.certificate = TestBytes(0x400, 5);
    const std::vector<std::uint8_t> input = BuildTestImage(shape);
    SpanSource source(input);
    const Result<Image> before = ReadImage(source);
    ASSERT_TRUE(before) << before.Message();

    const std::vector<Resource> resources = ResourceSet();
    MemorySink sink;
    const Result<RewriteSummary> summary = WriteWithResources(source, before.Value(), resources, sink);
    ASSERT_TRUE(summary) << summary.Message();
    EXPECT_EQ(summary->appended_section, c.appended);
    EXPECT_TRUE(summary->dropped_certificate);
    EXPECT_EQ(summary->output_size, sink.bytes.size());

    // The resources, in the directory's order, with their bytes.
    SpanSource written(sink.bytes);
    const Result<Image> after = ReadImage(written);
    ASSERT_TRUE(after) << after.Message();
    const Result<std::vector<ResourceEntry>> entries = ReadResources(written, after.Value());
    ASSERT_TRUE(entries) << entries.Message();
    ASSERT_EQ(entries->size(), std::size(kExpectedOrder));
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const ResourceEntry& entry = entries.Value()[i];
      EXPECT_EQ(entry.key, kExpectedOrder[i].key) << entry.key.ToString();
      EXPECT_EQ(entry.data_rva % 8, 0u) << entry.key.ToString();
      const Resource& given = resources[kExpectedOrder[i].given];
      EXPECT_EQ(ReadResourceBytes(written, entry).Value(), BytesOf(given)) << entry.key.ToString();
      EXPECT_EQ(entry.code_page, given.code_page);
    }

    // The headers: one more section or the same number, the new one last and
    // aligned, sizes and directories set, the certificate gone.
    const Image& image = after.Value();
    ASSERT_EQ(image.sections.size(), before->sections.size() + (c.appended ? 1 : 0));
    const Section& section = image.sections.back();
    EXPECT_EQ(section.name, ".rsrc");
    EXPECT_EQ(section.characteristics, kSectionInitializedData | kSectionRead);
    EXPECT_EQ(image.Directory(kResourceDirectory),
              (DataDirectory{section.virtual_address, section.virtual_size}));
    EXPECT_EQ(summary->resource_rva, section.virtual_address);
    EXPECT_EQ(summary->resource_size, section.virtual_size);
    EXPECT_EQ(section.virtual_address % image.section_alignment, 0u);
    EXPECT_EQ(section.raw_offset % image.file_alignment, 0u);
    // On a page in the file too, so that the loader maps it rather than copies it.
    EXPECT_EQ(section.raw_offset % 0x1000, 0u);
    EXPECT_EQ(section.raw_size % image.file_alignment, 0u);
    EXPECT_GE(section.raw_size, section.virtual_size);
    EXPECT_LT(section.raw_size - section.virtual_size, image.file_alignment);
    EXPECT_EQ(image.size_of_image,
              (section.virtual_address + section.virtual_size + 0xFFF) / 0x1000 * 0x1000);
    const Section& previous = image.sections[image.sections.size() - 2];
    EXPECT_EQ(section.virtual_address,
              (previous.virtual_address + previous.virtual_size + 0xFFF) / 0x1000 * 0x1000);
    // The old resource section's bytes are gone either way: replaced, or left
    // out of the file with the sections after it moved down.
    const std::uint32_t old_resource_bytes =
        c.resource_section < 0 ? 0 : before->sections[static_cast<std::size_t>(c.resource_section)].raw_size;
    EXPECT_EQ(summary->dropped_bytes, c.appended ? old_resource_bytes : 0u);
    EXPECT_EQ(image.size_of_initialized_data,
              before->size_of_initialized_data - old_resource_bytes + section.raw_size);
    EXPECT_EQ(image.Directory(kCertificateDirectory), DataDirectory{});
    EXPECT_EQ(image.checksum, summary->checksum);
    EXPECT_EQ(image.checksum, ComputeChecksum(written, image).Value());

    // Every other section's bytes as they were, at the same addresses; those
    // after a dropped section lower in the file. The overlay after the new section.
    for (std::size_t i = 0; i + 1 < image.sections.size(); ++i) {
      const Section& now = image.sections[i];
      const Section& was = before->sections[i];
      EXPECT_EQ(now.virtual_address, was.virtual_address);
      EXPECT_EQ(now.virtual_size, was.virtual_size);
      if (c.appended && static_cast<int>(i) == c.resource_section) {
        EXPECT_EQ(now.raw_size, 0u);
        EXPECT_EQ(now.raw_offset, 0u);
        continue;
      }
      const bool moved = c.appended && c.resource_section >= 0 && static_cast<int>(i) > c.resource_section;
      EXPECT_EQ(now.raw_offset, was.raw_offset - (moved ? old_resource_bytes : 0u)) << now.name;
      EXPECT_TRUE(std::equal(input.begin() + was.raw_offset, input.begin() + was.raw_offset + was.raw_size,
                             sink.bytes.begin() + now.raw_offset))
          << now.name;
    }
    const std::vector<std::uint8_t> overlay = TestBytes(0x123, 4);
    ASSERT_EQ(sink.bytes.size(),
              section.raw_offset + section.raw_size + 0x128);  // with the padding before the table
    EXPECT_TRUE(std::equal(overlay.begin(), overlay.end(),
                           sink.bytes.begin() + section.raw_offset + section.raw_size));

    // Written again, the image's resource section is now last and replaced in place.
    MemorySink again;
    const std::vector<Resource> fewer(resources.begin(), resources.begin() + 2);
    const Result<RewriteSummary> second = WriteWithResources(written, image, fewer, again);
    ASSERT_TRUE(second) << second.Message();
    EXPECT_FALSE(second->appended_section);
    EXPECT_FALSE(second->dropped_certificate);
    EXPECT_EQ(second->resource_rva, summary->resource_rva);
    SpanSource rewritten(again.bytes);
    EXPECT_EQ(ReadImage(rewritten).Value().sections.back().raw_offset % 0x1000, 0u);
    const Result<std::vector<ResourceEntry>> remaining =
        ReadResources(rewritten, ReadImage(rewritten).Value());
    ASSERT_TRUE(remaining) << remaining.Message();
    ASSERT_EQ(remaining->size(), 2u);
    EXPECT_EQ(ReadResourceBytes(rewritten, remaining.Value()[1]).Value(), BytesOf(resources[0]));
  }
}

TEST(WriteWithResources, KeepsResourcesOfTheImageGivenAsSlices) {
  const std::vector<std::uint8_t> input = HandMadeImage(HandMadeTree());
  auto source = std::make_shared<MemorySource>(input);
  const Image image = ReadImage(*source).Value();
  std::vector<Resource> resources;
  for (const ResourceEntry& entry : ReadResources(*source, image).Value()) {
    resources.push_back(ResourceFromImage(source, entry));
  }
  resources.push_back({{u"TOOLKIT", 102, 0}, Bytes(TestBytes(5000, 20))});
  MemorySink sink;
  ASSERT_TRUE(WriteWithResources(*source, image, resources, sink));
  SpanSource written(sink.bytes);
  const std::vector<ResourceEntry> entries = ReadResources(written, ReadImage(written).Value()).Value();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(ReadResourceBytes(written, entries[0]).Value(),
            (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(ReadResourceBytes(written, entries[1]).Value(), TestBytes(5000, 20));
  EXPECT_EQ(entries[2].code_page, 1252u);
  EXPECT_EQ(ReadResourceBytes(written, entries[2]).Value(), (std::vector<std::uint8_t>{'a', 'b'}));
}

// A source that fails part of the way through.
class FailingSource final : public ByteSource {
 public:
  std::uint64_t Size() const override { return 3 << 20; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t>) override { return offset < (1 << 20); }
};

class FailingSink final : public ByteSink {
 public:
  bool Write(std::span<const std::uint8_t>) override { return false; }
  bool WriteAt(std::uint64_t, std::span<const std::uint8_t>) override { return false; }
};

TEST(WriteWithResources, RefusesWhatCannotBeWritten) {
  const std::vector<std::uint8_t> input = HandMadeImage(HandMadeTree());
  const std::vector<TestSection> full_table(15, TestSection{".data", TestBytes(0x10, 1)});
  const std::vector<std::uint8_t> no_room = BuildTestImage(WithSections(true, full_table, -1));
  std::vector<std::uint8_t> coarse = input;
  Put32(coarse, OptionalHeaderAt() + 36, 0x20000);
  Put32(coarse, OptionalHeaderAt() + 32, 0x20000);
  const struct {
    const char* what;
    const std::vector<std::uint8_t>* image;
    std::vector<Resource> resources;
    bool failing_sink;
    const char* message;
  } cases[] = {
      {"the same place twice",
       &input,
       {{{u"TOOLKIT", 101, 0}, Bytes({1})}, {{u"Toolkit", 101, 0}, Bytes({2})}},
       false,
       "resource TOOLKIT/#101/0x0 is given twice"},
      {"an empty name", &input, {{{u"", 101, 0}, Bytes({1})}}, false, "/#101/0x0 has an empty name"},
      {"no data", &input, {{{kTypeRcData, 1, 0}, nullptr}}, false, "resource #10/#1/0x0 has no data"},
      {"over 4 GB",
       &input,
       {{{kTypeRcData, 1, 0}, std::make_shared<SliceSource>(nullptr, 0, 0xFFFFFFF0ull)}},
       false,
       "more than 4 GB (at resource #10/#1/0x0)"},
      {"a source that fails",
       &input,
       {{{kTypeRcData, 1, 0}, std::make_shared<FailingSource>()}},
       false,
       "reading resource #10/#1/0x0 failed at 0x100000"},
      {"a sink that fails", &input, {}, true, "writing the new image failed at 0x0"},
      {"a full section table", &no_room, {}, false, "no room for another section header (15 sections"},
      {"a file alignment beyond 64 KB", &coarse, {}, false, "file alignment 0x20000 is beyond 64 KB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SpanSource source(*c.image);
    const Result<Image> image = ReadImage(source);
    ASSERT_TRUE(image) << image.Message();
    MemorySink memory;
    FailingSink failing;
    const Result<RewriteSummary> summary = WriteWithResources(
        source, image.Value(), c.resources, c.failing_sink ? static_cast<ByteSink&>(failing) : memory);
    ASSERT_FALSE(summary);
    EXPECT_NE(summary.Message().find(c.message), std::string::npos) << summary.Message();
  }
}

// A payload far larger than the pieces it is read in: never asked for more
// than a bounded piece at a time, and written whole.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    largest_read = std::max<std::uint64_t>(largest_read, out.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>((offset + i) * 7 / 3);
    return offset + out.size() <= size_;
  }
  std::uint64_t largest_read = 0;

 private:
  std::uint64_t size_;
};

class CountingSink final : public ByteSink {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override {
    largest_write = std::max<std::uint64_t>(largest_write, bytes.size());
    if (size < 0x2000)
      head.insert(head.end(), bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 0x2000));
    size += bytes.size();
    return true;
  }
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    std::copy(bytes.begin(), bytes.end(), head.begin() + static_cast<std::ptrdiff_t>(offset));
    return offset + bytes.size() <= size;
  }
  std::vector<std::uint8_t> head;
  std::uint64_t size = 0;
  std::uint64_t largest_write = 0;
};

TEST(WriteWithResources, StreamsALargePayloadInBoundedPieces) {
  const std::vector<std::uint8_t> input = HandMadeImage(HandMadeTree());
  SpanSource source(input);
  const Image image = ReadImage(source).Value();
  auto payload = std::make_shared<CountingSource>(64ull << 20);
  const std::vector<Resource> resources = {{{u"TOOLKIT", 102, 0}, payload}};
  CountingSink sink;
  const Result<RewriteSummary> summary = WriteWithResources(source, image, resources, sink);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_LE(payload->largest_read, 1u << 20);
  EXPECT_LE(sink.largest_write, 1u << 20);
  EXPECT_EQ(sink.size, summary->output_size);
  EXPECT_GT(sink.size, 64ull << 20);
  EXPECT_EQ(Get32(sink.head, OptionalHeaderAt() + 64), summary->checksum);
}

}  // namespace
}  // namespace lantern::pe
