// Reading an image's headers, the faults of a file that is no image or a
// broken one, and the image checksum.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe_test_image.h"

namespace lantern::pe {
namespace {

using testing_fakes::BuildTestImage;
using testing_fakes::DirectoryAt;
using testing_fakes::OptionalHeaderAt;
using testing_fakes::Put16;
using testing_fakes::Put32;
using testing_fakes::SectionTableAt;
using testing_fakes::TestBytes;
using testing_fakes::TestImageShape;

TestImageShape ThreeSections(bool pe32_plus) {
  TestImageShape shape;
  shape.pe32_plus = pe32_plus;
  shape.sections = {{".text", TestBytes(0x345, 1), 0x60000020},
                    {".rsrc", TestBytes(0x20, 2)},
                    {".reloc", TestBytes(0x10, 3), 0x42000040}};
  shape.resource_section = 1;
  shape.overlay = TestBytes(0x33, 4);
  shape.certificate = TestBytes(0x58, 5);
  return shape;
}

Result<Image> Read(const std::vector<std::uint8_t>& bytes) {
  SpanSource source(bytes);
  return ReadImage(source);
}

TEST(ReadImage, ReadsTheHeadersOfBothKinds) {
  for (const bool pe32_plus : {false, true}) {
    SCOPED_TRACE(pe32_plus ? "PE32+" : "PE32");
    const std::vector<std::uint8_t> bytes = BuildTestImage(ThreeSections(pe32_plus));
    const Result<Image> image = Read(bytes);
    ASSERT_TRUE(image) << image.Message();
    EXPECT_EQ(image->pe32_plus, pe32_plus);
    EXPECT_EQ(image->machine, pe32_plus ? kMachineAmd64 : kMachineI386);
    EXPECT_EQ(image->file_size, bytes.size());
    EXPECT_EQ(image->file_alignment, 0x200u);
    EXPECT_EQ(image->section_alignment, 0x1000u);
    EXPECT_EQ(image->size_of_headers, 0x400u);
    EXPECT_EQ(image->size_of_image, 0x4000u);
    EXPECT_EQ(image->subsystem, 2);
    EXPECT_EQ(image->section_table_offset, SectionTableAt(pe32_plus));
    EXPECT_EQ(image->ChecksumOffset(), OptionalHeaderAt() + 64);
    ASSERT_EQ(image->directories.size(), 16u);
    EXPECT_EQ(image->Directory(kResourceDirectory), (DataDirectory{0x2000, 0x20}));
    EXPECT_EQ(image->Directory(kCertificateDirectory), (DataDirectory{0xC38, 0x58}));
    EXPECT_EQ(image->Directory(40), DataDirectory{});
    ASSERT_EQ(image->sections.size(), 3u);
    EXPECT_EQ(image->sections[0].name, ".text");
    EXPECT_EQ(image->sections[0].virtual_size, 0x345u);
    EXPECT_EQ(image->sections[0].raw_size, 0x400u);
    EXPECT_EQ(image->sections[0].raw_offset, 0x400u);
    EXPECT_EQ(image->sections[0].characteristics, 0x60000020u);
    EXPECT_EQ(image->sections[2].name, ".reloc");
    EXPECT_EQ(image->sections[2].virtual_address, 0x3000u);
    EXPECT_EQ(image->sections[2].raw_offset, 0xA00u);
    EXPECT_EQ(image->EndOfSections(), 0xC00u);
    EXPECT_EQ(image->SectionAt(0x2010), &image->sections[1]);
    EXPECT_EQ(image->SectionAt(0x2020), nullptr);  // past the virtual size
    EXPECT_EQ(image->FileOffset(0x2010, 0x10), 0x810u);
    EXPECT_EQ(image->FileOffset(0x2010, 0x1F1), std::nullopt);  // beyond the raw bytes
    EXPECT_EQ(image->FileOffset(0x5000, 1), std::nullopt);
  }
}

TEST(ReadImage, RefusesBrokenFilesWithWhatIsWrong) {
  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
    const char* message;
  } cases[] = {
      {"empty", [](auto& b) { b.clear(); }, "too short for a DOS header"},
      {"truncated DOS header", [](auto& b) { b.resize(63); }, "too short for a DOS header"},
      {"no MZ", [](auto& b) { b[1] = 'Y'; }, "no 'MZ' signature"},
      {"e_lfanew past the end", [](auto& b) { Put32(b, 0x3C, 0x7FFFFFF0); },
       "e_lfanew 0x7FFFFFF0) lies outside"},
      {"e_lfanew at the very end", [](auto& b) { Put32(b, 0x3C, static_cast<std::uint32_t>(b.size() - 8)); },
       "lies outside the file"},
      {"truncated after the file header", [](auto& b) { b.resize(0x80 + 30); },
       "optional header (240 bytes) runs past"},
      {"no PE signature", [](auto& b) { b[0x81] = 'X'; }, "no PE signature at e_lfanew 0x80"},
      {"unknown magic", [](auto& b) { Put16(b, OptionalHeaderAt(), 0x107); },
       "unknown optional header magic 0x107"},
      {"optional header too short", [](auto& b) { Put16(b, 0x80 + 20, 100); },
       "optional header is too short"},
      {"more directories than room", [](auto& b) { Put32(b, OptionalHeaderAt() + 108, 17); },
       "lists 17 data directories but has room for 16"},
      {"file alignment 0", [](auto& b) { Put32(b, OptionalHeaderAt() + 36, 0); }, "impossible alignments"},
      {"section alignment not a power of two", [](auto& b) { Put32(b, OptionalHeaderAt() + 32, 0x1800); },
       "impossible alignments"},
      {"headers past the end", [](auto& b) { Put32(b, OptionalHeaderAt() + 60, 0x100000); },
       "SizeOfHeaders 0x100000) run past"},
      {"too many sections", [](auto& b) { Put16(b, 0x80 + 6, 97); }, "lists 97 sections"},
      {"section table past the end",
       [](auto& b) {
         Put16(b, 0x80 + 6, 60);
         b.resize(0x800);
       },
       "section table (60 sections) runs past"},
      {"truncated in the last section", [](auto& b) { b.resize(0xB00); },
       "section '.reloc' runs past the end of the file"},
      {"section bytes past 4 GB", [](auto& b) { Put32(b, SectionTableAt(true) + 40 + 20, 0xFFFFFF00); },
       "section '.rsrc' runs past the end"},
      {"section addresses past 4 GB", [](auto& b) { Put32(b, SectionTableAt(true) + 12, 0xFFFFFF00); },
       "reaches past 4 GB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> bytes = BuildTestImage(ThreeSections(true));
    bytes.resize(0xC00);  // without overlay and certificate, so that truncation shows
    c.spoil(bytes);
    const Result<Image> image = Read(bytes);
    ASSERT_FALSE(image);
    EXPECT_NE(image.Message().find(c.message), std::string::npos) << image.Message();
  }
}

TEST(ReadImage, ReadsAFileFromDisk) {
  const std::vector<std::uint8_t> bytes = BuildTestImage(ThreeSections(false));
  const auto path = std::filesystem::temp_directory_path() / "lantern-pe-image-test.exe";
  {
    auto sink = FileSink::Create(path);
    ASSERT_TRUE(sink) << sink.Message();
    ASSERT_TRUE(sink.Value()->Write(bytes));
    ASSERT_TRUE(sink.Value()->Finish());
  }
  Result<std::shared_ptr<FileSource>> file = FileSource::Open(path);
  ASSERT_TRUE(file) << file.Message();
  const Result<Image> image = ReadImage(*file.Value());
  ASSERT_TRUE(image) << image.Message();
  EXPECT_EQ(image->sections.size(), 3u);
  std::vector<std::uint8_t> tail(0x58);
  EXPECT_TRUE(file.Value()->ReadAt(bytes.size() - tail.size(), tail));
  EXPECT_EQ(tail, TestBytes(0x58, 5));
  EXPECT_FALSE(file.Value()->ReadAt(bytes.size() - 1, tail));
  std::filesystem::remove(path);
  EXPECT_FALSE(FileSource::Open(path));
}

// The checksum of the test image as osslsigncode computes it ("Calculated PE
// checksum"), with any value in the checksum field.
TEST(Checksum, MatchesTheValueASigningToolComputes) {
  for (const std::uint32_t stored : {0u, 0xFFFFFFFFu, 0x12345678u}) {
    std::vector<std::uint8_t> bytes = BuildTestImage(ThreeSections(true));
    Put32(bytes, OptionalHeaderAt() + 64, stored);
    SpanSource source(bytes);
    const Result<Image> image = ReadImage(source);
    ASSERT_TRUE(image) << image.Message();
    const Result<std::uint32_t> checksum = ComputeChecksum(source, image.Value());
    ASSERT_TRUE(checksum) << checksum.Message();
    EXPECT_EQ(checksum.Value(), 0x4066u);
  }
}

// Fed in pieces of any length, the sum is that of the whole; a file of odd
// length counts its last byte as a word's low half.
TEST(Checksum, IsTheSameInPiecesOfAnyLength) {
  // Random bytes, and bytes of all ones that carry at every word (long enough
  // for the sum to be folded in the middle of a run).
  for (const std::size_t size : {0u, 1u, 2u, 67u, 68u, 69u, 70u, 71u, 72u, 73u, 300001u, 9000003u}) {
    const std::vector<std::uint8_t> bytes =
        size > 1000000 ? std::vector<std::uint8_t>(size, 0xFF) : TestBytes(size, 9);
    ChecksumAccumulator whole(68);
    whole.Add(bytes);
    // Reference: word by word with the carry folded at every step.
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; i += 2) {
      std::uint32_t word = (i >= 68 && i < 72) ? 0 : bytes[i];
      if (i + 1 < size && !(i + 1 >= 68 && i + 1 < 72)) word |= bytes[i + 1] << 8;
      sum += word;
      sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(whole.Finish(), sum + size) << size;
    for (const std::size_t piece : {1u, 3u, 7u, 4096u}) {
      ChecksumAccumulator pieces(68);
      for (std::size_t at = 0; at < size; at += piece) {
        pieces.Add(std::span(bytes).subspan(at, std::min(piece, size - at)));
      }
      EXPECT_EQ(pieces.Finish(), whole.Finish()) << size << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace lantern::pe
