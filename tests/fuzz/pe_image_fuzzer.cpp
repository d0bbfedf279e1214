// A Windows image as a packing or inspecting tool could be handed one: its
// headers and resource tree read without a read outside the input, every
// resource found readable, and the image written again with the same
// resources reading back as the same tree (names in upper case) with the same
// bytes, the checksum in its header that of the bytes written.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/rewrite.h"

namespace lantern::pe {
namespace {

ResourceId InDirectory(const ResourceId& id) {
  return id.IsName() ? ResourceId(DirectoryName(id.Name())) : id;
}

void CheckImage(const Image& image) {
  for (const Section& section : image.sections) {
    FUZZ_CHECK(
        section.raw_size == 0 || std::uint64_t{section.raw_offset} + section.raw_size <= image.file_size,
        "section '" + section.name + "' accepted outside the file");
  }
  FUZZ_CHECK(image.EndOfSections() <= image.file_size, "sections end past the file");
  FUZZ_CHECK(image.directories.size() <= kMaxDirectories, "more directories than the format has");
}

void CheckRewrite(const std::shared_ptr<ByteSource>& file, const Image& image,
                  const std::vector<ResourceEntry>& entries) {
  std::vector<Resource> resources;
  for (const ResourceEntry& entry : entries) resources.push_back(ResourceFromImage(file, entry));
  MemorySink sink;
  const Result<RewriteSummary> summary = WriteWithResources(*file, image, resources, sink);
  if (!summary) return;  // no room for a section, two names alike in upper case, ...
  FUZZ_CHECK(summary->output_size == sink.bytes.size(), "the summary's size is not what was written");

  SpanSource written(sink.bytes);
  const Result<Image> again = ReadImage(written);
  FUZZ_CHECK(again.Ok(), "the written image does not read: " + again.Message());
  const Result<std::uint32_t> checksum = ComputeChecksum(written, again.Value());
  FUZZ_CHECK(checksum.Ok() && checksum.Value() == again->checksum, "the checksum is not that of the bytes");
  const Result<std::vector<ResourceEntry>> read_back = ReadResources(written, again.Value());
  FUZZ_CHECK(read_back.Ok(), "the written resources do not read: " + read_back.Message());
  FUZZ_CHECK(read_back->size() == entries.size(), "a different number of resources read back");
  for (const ResourceEntry& entry : read_back.Value()) {
    const Resource* given = nullptr;
    for (const Resource& resource : resources) {
      if (InDirectory(resource.key.type) == entry.key.type &&
          InDirectory(resource.key.name) == entry.key.name && resource.key.language == entry.key.language) {
        given = &resource;
      }
    }
    FUZZ_CHECK(given != nullptr, "resource " + entry.key.ToString() + " was not given");
    std::vector<std::uint8_t> expected(given->data->Size());
    FUZZ_CHECK(given->data->ReadAt(0, expected), "a resource found in the input cannot be read");
    const Result<std::vector<std::uint8_t>> bytes = ReadResourceBytes(written, entry);
    FUZZ_CHECK(bytes.Ok() && bytes.Value() == expected,
               "resource " + entry.key.ToString() + " reads back different");
  }
}

}  // namespace
}  // namespace lantern::pe

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lantern::pe;
  auto file = std::make_shared<MemorySource>(std::vector<std::uint8_t>(data, data + size));
  const Result<Image> image = ReadImage(*file);
  if (!image) {
    FUZZ_CHECK(!image.Message().empty(), "a failure without a message");
    return 0;
  }
  CheckImage(image.Value());
  const Result<std::vector<ResourceEntry>> entries = ReadResources(*file, image.Value());
  if (!entries) {
    FUZZ_CHECK(!entries.Message().empty(), "a failure without a message");
    return 0;
  }
  FUZZ_CHECK(entries->size() <= kMaxResources, "more resources than the limit");
  for (const ResourceEntry& entry : entries.Value()) {
    FUZZ_CHECK(entry.file_offset + entry.size <= size,
               "resource " + entry.key.ToString() + " outside the file");
    FUZZ_CHECK(ReadResourceBytes(*file, entry).Ok(), "resource " + entry.key.ToString() + " cannot be read");
  }
  CheckRewrite(file, image.Value(), entries.Value());
  return 0;
}
