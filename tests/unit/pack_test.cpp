// `lantern pack`, `lantern inspect` and extraction on a small stub made in the
// test: a payload packed, read back and written out byte for byte, and every
// refusal leaving no output behind.
#include "pack/pack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/version_resource.h"
#include "pack/default_strings.h"
#include "pack/opened_image.h"
#include "pack/payload.h"
#include "pack/project.h"
#include "pack/report.h"
#include "pack/string_table_resource.h"
#include "pack/stub.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "pe/rewrite.h"
#include "pe_test_image.h"

namespace lantern::pack {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::shared_ptr<pe::ByteSource> Bytes(std::string_view text) {
  return std::make_shared<pe::MemorySource>(std::vector<std::uint8_t>(text.begin(), text.end()));
}

// A stub as the build makes one, in miniature: some code, the marker, this
// build's string table and a version record. `extra` adds resources.
void WriteStub(const fs::path& path, std::string_view marker = "", std::vector<pe::Resource> extra = {}) {
  testing_fakes::TestImageShape shape;
  shape.pe32_plus = false;
  shape.sections.push_back({".text", std::vector<std::uint8_t>(0x300, 0xCC), 0x60000020});
  const auto bytes = testing_fakes::BuildTestImage(shape);
  pe::MemorySource source(bytes);
  auto image = pe::ReadImage(source);
  ASSERT_TRUE(image) << image.Message();

  const std::string marker_text =
      marker.empty() ? std::string(kStubMarkerPrefix) + std::string(kLanternVersion) : std::string(marker);
  std::vector<pe::Resource> resources = StringTableResources(DefaultStrings(), kResourceLanguage);
  resources.push_back({{pe::kTypeRcData, kStubMarkerName, kResourceLanguage}, Bytes(marker_text)});
  const auto version = BuildVersionResource(VersionRecord{{0, 1, 0, 0}, u""});
  resources.push_back(
      {{pe::kTypeVersion, kVersionId, kResourceLanguage}, std::make_shared<pe::MemorySource>(version)});
  for (auto& resource : extra) resources.push_back(std::move(resource));

  auto sink = pe::FileSink::Create(path);
  ASSERT_TRUE(sink) << sink.Message();
  auto written = pe::WriteWithResources(source, image.Value(), resources, *sink.Value());
  ASSERT_TRUE(written) << written.Message();
  ASSERT_TRUE(sink.Value()->Finish());
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() /
        ("lantern-pack-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    options_ = PackOptions{};
    stub_ = root_ / "lantern-stub.exe";
    WriteStub(stub_);
    decoder_stub_ = root_ / "lantern-stub-zstd.exe";
    WriteStub(decoder_stub_, "", {{{pe::kTypeRcData, kDecoderMarkerName, kResourceLanguage}, Bytes("zstd")}});
    WriteAll(root_ / "in" / "App.exe", "MZ the front end");
    WriteAll(root_ / "in" / "App.exe.config", "<configuration/>");
    WriteAll(root_ / "in" / "tree" / "readme.txt", "read me");
    WriteAll(root_ / "in" / "tree" / "data" / "table.csv", std::string(70000, 'x'));
    WriteAll(root_ / "in" / "tree" / "data" / "empty.dat", "");
    options_.stub = stub_;
    options_.output = root_ / "out" / "Setup.exe";
    fs::create_directories(root_ / "out");
    options_.payload = {root_ / "in" / "App.exe", root_ / "in" / "App.exe.config"};
    options_.payload_dir = root_ / "in" / "tree";
    options_.front_end = "App.exe";
  }
  void TearDown() override { fs::remove_all(root_); }

  // Open to the cases of the table below, which change them.
 public:
  // Nothing in the output folder but what was there before.
  std::vector<std::string> OutputFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "out"))
      names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path root_;
  fs::path stub_;
  fs::path decoder_stub_;  // says it carries the decoder, as lantern-stub-zstd.exe does
  PackOptions options_;
};

TEST_F(PackTest, PackedPayloadIsInspectedAndExtractedByteForByte) {
  options_.strings = {{1, "Ünïcode Product Download"}, {103, "500"}};
  options_.omit_strings = {137};
  options_.branding.version = "1.2.0.15";
  options_.branding.copyright = "© 2026 Example Ltd";
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->payload_files, 5u);
  EXPECT_EQ(summary->payload_bytes, 16u + 16u + 7u + 70000u);  // the catalogue is no payload file
  EXPECT_EQ(summary->output_size, fs::file_size(options_.output));

  auto report = Inspect(options_.output);
  ASSERT_TRUE(report) << report.Message();
  EXPECT_TRUE(report->Agrees());
  EXPECT_EQ(report->lantern_version, std::string(kLanternVersion));
  EXPECT_EQ(report->catalogue,
            "102*App.exe*16*103*App.exe.config*16*104*data\\empty.dat*0*105*data\\table.csv*70000*106*readme."
            "txt*7");
  ASSERT_EQ(report->files.size(), 5u);
  for (const InspectedFile& file : report->files) EXPECT_EQ(file.resource_size, file.size) << file.name;
  ASSERT_TRUE(report->version);
  EXPECT_EQ(report->version->version, (std::array<std::uint16_t, 4>{1, 2, 0, 15}));
  EXPECT_EQ(report->version->copyright, u"© 2026 Example Ltd");
  EXPECT_FALSE(report->signature);
  EXPECT_FALSE(report->information);

  std::map<std::uint16_t, std::string> states;
  for (const InspectedString& entry : report->strings) states[entry.id] = entry.state;
  EXPECT_EQ(states,
            (std::map<std::uint16_t, std::string>{{1, "changed"}, {103, "changed"}, {137, "omitted"}}));
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("Ünïcode Product Download"));
  EXPECT_THAT(ReportJson(report.Value()), HasSubstr("\"name\" : \"data\\\\table.csv\""));

  const fs::path out = root_ / "extracted";
  ASSERT_TRUE(Extract(options_.output, out, nullptr));
  for (const auto& [name, source] : std::vector<std::pair<std::string, fs::path>>{
           {"App.exe", root_ / "in" / "App.exe"},
           {"App.exe.config", root_ / "in" / "App.exe.config"},
           {"readme.txt", root_ / "in" / "tree" / "readme.txt"},
           {"data/table.csv", root_ / "in" / "tree" / "data" / "table.csv"},
           {"data/empty.dat", root_ / "in" / "tree" / "data" / "empty.dat"}}) {
    ASSERT_TRUE(fs::exists(out / name)) << name;
    EXPECT_EQ(ReadAll(out / name), ReadAll(source)) << name;
  }
  // A second extraction into the same folder replaces nothing.
  const auto again = Extract(options_.output, out, nullptr);
  ASSERT_FALSE(again);
  EXPECT_THAT(again.Message(), HasSubstr("already exists"));
}

// Bytes that do not compress.
std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 2463534242u;
  for (char& c : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

// The "TOOLKIT" resource of this id in a packed file, where it lies.
struct Stored {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};
Stored PayloadResource(const fs::path& file, std::uint16_t id) {
  auto opened = OpenImage(file, "packed");
  EXPECT_TRUE(opened) << opened.Message();
  for (const pe::ResourceEntry& entry : opened->resources) {
    if (entry.key.type == pe::ResourceId(kPayloadType) && entry.key.name == pe::ResourceId(id))
      return {entry.file_offset, entry.size};
  }
  ADD_FAILURE() << "no resource " << id;
  return {};
}

TEST_F(PackTest, CompressedBuildCompressesWhatShrinksAndIsExtractedByteForByte) {
  WriteAll(root_ / "in" / "tree" / "random.bin", RandomBytes(5000));
  options_.compress = true;
  options_.stub = decoder_stub_;
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->compressed_files, 1u);  // the table; the rest would not shrink

  auto report = Inspect(options_.output);
  ASSERT_TRUE(report) << report.Message();
  EXPECT_TRUE(report->Agrees()) << ::testing::PrintToString(report->problems);
  EXPECT_TRUE(report->compressed);
  EXPECT_EQ(report->catalogue,
            "102*App.exe*16*103*App.exe.config*16*104*data\\empty.dat*0*105*data\\table.csv*70000*106*random."
            "bin*5000*107*readme.txt*7");
  for (const InspectedFile& file : report->files) {
    EXPECT_EQ(file.compressed, file.name == "data\\table.csv") << file.name;
    if (!file.compressed) {
      EXPECT_EQ(file.resource_size, file.size) << file.name;
    }
  }
  EXPECT_LT(report->files[3].resource_size, 1000u);
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("70,000  compressed to "));
  EXPECT_THAT(ReportJson(report.Value()), HasSubstr("\"compressed\" : true"));

  const fs::path out = root_ / "extracted";
  ASSERT_TRUE(Extract(options_.output, out, nullptr));
  EXPECT_EQ(ReadAll(out / "data" / "table.csv"), ReadAll(root_ / "in" / "tree" / "data" / "table.csv"));
  EXPECT_EQ(ReadAll(out / "random.bin"), ReadAll(root_ / "in" / "tree" / "random.bin"));
  EXPECT_EQ(fs::file_size(out / "data" / "empty.dat"), 0u);
}

// Off, or on with nothing that shrinks, the build from a stub is exactly what
// it was before compression existed: the same files as resources, no list.
TEST_F(PackTest, ABuildWithNothingCompressedIsTheSameWhetherCompressionIsOnOrOff) {
  WriteAll(root_ / "in" / "tree" / "data" / "table.csv", RandomBytes(70000));
  options_.stub = decoder_stub_;
  ASSERT_TRUE(Pack(options_, {}, nullptr));
  const auto off = ReadAll(options_.output);
  options_.compress = true;
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->compressed_files, 0u);
  EXPECT_EQ(ReadAll(options_.output), off);

  auto report = Inspect(options_.output);
  ASSERT_TRUE(report);
  EXPECT_FALSE(report->compressed);
  EXPECT_THAT(ReportJson(report.Value()), HasSubstr("\"compressed\" : false"));
  const Stored table = PayloadResource(options_.output, 105);
  std::vector<std::uint8_t> stored(table.size);
  auto file = pe::FileSource::Open(options_.output);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file.Value()->ReadAt(table.offset, stored));
  EXPECT_EQ(stored, ReadAll(root_ / "in" / "tree" / "data" / "table.csv"));
}

TEST_F(PackTest, DamagedCompressedDataIsNotExtracted) {
  options_.compress = true;
  options_.stub = decoder_stub_;
  ASSERT_TRUE(Pack(options_, {}, nullptr));
  const Stored table = PayloadResource(options_.output, 105);
  auto bytes = ReadAll(options_.output);
  bytes[table.offset + table.size - 2] ^= 0x40;  // inside the checksum
  WriteAll(options_.output, std::string(bytes.begin(), bytes.end()));
  const auto extracted = Extract(options_.output, root_ / "x", nullptr);
  ASSERT_FALSE(extracted);
  EXPECT_THAT(extracted.Message(), HasSubstr("'data\\table.csv': its compressed data cannot be decoded"));
}

// Files that share most of their bytes, as a product's binaries do: packed
// with a dictionary, which inspect reports and --extract decodes with.
TEST_F(PackTest, FilesThatShareBytesShareADictionaryThatExtractionNeeds) {
  // Sixteen letters: each file compresses on its own to about half, and much
  // further with what the others hold.
  const auto letters = [](std::size_t size, std::size_t seed) {
    std::string text = RandomBytes(size + seed).substr(seed);
    for (char& c : text) c = static_cast<char>('a' + (static_cast<unsigned char>(c) & 15));
    return text;
  };
  const std::string shared = letters(30000, 0);
  for (int i = 1; i <= 3; ++i) {
    WriteAll(root_ / "in" / "tree" / "lib" / ("part" + std::to_string(i) + ".dll"),
             letters(3000, 40000 + i * 5000) + shared + letters(2000, 100 + i * 2000));
  }
  options_.compress = true;
  options_.stub = decoder_stub_;
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();

  auto report = Inspect(options_.output);
  ASSERT_TRUE(report) << report.Message();
  EXPECT_TRUE(report->Agrees()) << ::testing::PrintToString(report->problems);
  EXPECT_TRUE(report->shares_dictionary);
  ASSERT_TRUE(report->dictionary_size && report->dictionary_resource_size);
  EXPECT_LT(*report->dictionary_resource_size, *report->dictionary_size);
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("the compressed files share a dictionary of "));
  EXPECT_THAT(ReportJson(report.Value()), HasSubstr("\"dictionary\" : {"));

  const fs::path out = root_ / "extracted";
  ASSERT_TRUE(Extract(options_.output, out, nullptr));
  for (int i = 1; i <= 3; ++i) {
    const fs::path name = fs::path("lib") / ("part" + std::to_string(i) + ".dll");
    EXPECT_EQ(ReadAll(out / name), ReadAll(root_ / "in" / "tree" / name)) << name;
  }
  EXPECT_EQ(ReadAll(out / "data" / "table.csv"), ReadAll(root_ / "in" / "tree" / "data" / "table.csv"));

  // A damaged dictionary: nothing is extracted.
  std::uint64_t at = 0;
  {
    auto opened = OpenImage(options_.output, "packed");
    ASSERT_TRUE(opened) << opened.Message();
    for (const pe::ResourceEntry& entry : opened->resources) {
      if (entry.key.name == pe::ResourceId(std::u16string(u"LANTERN_DICTIONARY")))
        at = entry.file_offset + entry.size / 2;
    }
  }
  ASSERT_NE(at, 0u);
  auto bytes = ReadAll(options_.output);
  bytes[at] ^= 0x40;
  WriteAll(options_.output, std::string(bytes.begin(), bytes.end()));
  const auto extracted = Extract(options_.output, root_ / "x", nullptr);
  ASSERT_FALSE(extracted);
  EXPECT_THAT(extracted.Message(), HasSubstr("the compression dictionary cannot be decoded"));
  EXPECT_FALSE(fs::exists(root_ / "x" / "lib"));
}

TEST_F(PackTest, InformationBlockEndsTheFileAndIsFoundAgain) {
  // The largest block, and bytes whose hex digits spell the marker across a byte boundary.
  for (const std::string& information :
       {std::string("<info product=\"x\"/>"), std::string(4106, 'x'), std::string("\xA4\xD5\x24\x44\x3F")}) {
    SCOPED_TRACE(information.size());
    WriteAll(root_ / "info.xml", information);
    options_.info = root_ / "info.xml";
    ASSERT_TRUE(Pack(options_, {}, nullptr));
    const auto bytes = ReadAll(options_.output);
    const std::string tail(bytes.end() - static_cast<std::ptrdiff_t>(information.size() + 10), bytes.end());
    EXPECT_EQ(tail, "MRDC" + information + std::string(6, '\0'));
    auto report = Inspect(options_.output);
    ASSERT_TRUE(report);
    ASSERT_TRUE(report->information);
    EXPECT_EQ(std::string(report->information->begin(), report->information->end()), information);
  }
}

TEST_F(PackTest, RawModeTakesExactlyTheResourcesGiven) {
  options_.payload.clear();
  options_.payload_dir.clear();
  options_.front_end.clear();
  options_.raw = true;
  WriteAll(root_ / "raw" / "catalogue.txt", "102*lie.bin*999");
  options_.raw_resources = {{"102", root_ / "in" / "App.exe"}, {"NAMED", root_ / "in" / "App.exe.config"}};
  options_.raw_catalogue = root_ / "raw" / "catalogue.txt";
  ASSERT_TRUE(Pack(options_, {}, nullptr));
  auto report = Inspect(options_.output);
  ASSERT_TRUE(report);
  EXPECT_FALSE(report->Agrees());
  EXPECT_THAT(report->problems, ::testing::ElementsAre("'lie.bin' is 16 bytes, the catalogue says 999"));
  EXPECT_THAT(report->unlisted, ::testing::ElementsAre("NAMED"));
  EXPECT_FALSE(Extract(options_.output, root_ / "x", nullptr));
  EXPECT_FALSE(fs::exists(root_ / "x"));
}

TEST_F(PackTest, CheckOnlyWritesNothing) {
  options_.check_only = true;
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->payload_files, 5u);
  EXPECT_TRUE(OutputFolder().empty());
}

TEST_F(PackTest, DefaultStubIsTakenWhenNoneIsNamed) {
  options_.stub.clear();
  EXPECT_TRUE(Pack(options_, stub_, nullptr));
  options_.stub.clear();
  const auto none = Pack(options_, {}, nullptr);
  ASSERT_FALSE(none);
  EXPECT_THAT(none.Message(), HasSubstr("no stub is named and none was found beside the tool"));
  options_.compress = true;
  const auto no_decoder_stub = Pack(options_, {}, nullptr);
  ASSERT_FALSE(no_decoder_stub);
  EXPECT_THAT(
      no_decoder_stub.Message(),
      HasSubstr("no stub is named and lantern-stub-zstd.exe, the stub that decodes compressed payloads, "
                "was not found beside the tool"));
}

// A compressed build needs the stub that decodes: the plain stub is refused,
// named or as the default, and so is one whose marker names another decoder.
TEST_F(PackTest, ACompressedBuildRefusesAStubWithoutTheDecoder) {
  WriteStub(root_ / "other-decoder.exe", "",
            {{{pe::kTypeRcData, kDecoderMarkerName, kResourceLanguage}, Bytes("lz4")}});
  WriteAll(root_ / "out" / "Setup.exe", "the previous build");
  options_.compress = true;
  const std::string refusal =
      "' has no decoder, so it cannot extract compressed files: with COMPRESS (--compress) pack from "
      "lantern-stub-zstd.exe, or build without compression";
  for (const fs::path& stub : {stub_, root_ / "other-decoder.exe"}) {
    SCOPED_TRACE(stub.string());
    for (const bool as_default : {false, true}) {
      options_.stub = as_default ? fs::path() : stub;
      const auto result = Pack(options_, stub, nullptr);
      ASSERT_FALSE(result);
      EXPECT_EQ(result.Message(), "the stub '" + stub.string() + refusal);
      EXPECT_THAT(OutputFolder(), ::testing::ElementsAre("Setup.exe"));
    }
  }
  options_.stub = decoder_stub_;
  auto summary = Pack(options_, {}, nullptr);
  ASSERT_TRUE(summary) << summary.Message();
  EXPECT_EQ(summary->compressed_files, 1u);
  // Without compression the plain stub packs as before.
  options_.compress = false;
  options_.stub = stub_;
  EXPECT_TRUE(Pack(options_, {}, nullptr));
}

// Each bad input: its message, and no output (an output already there stays as it was).
TEST_F(PackTest, SealedInformationEndsTheFileAtAMultipleOfEightAndInspectSaysSo) {
  WriteAll(root_ / "info.xml", "<info/>");
  options_.info = root_ / "info.xml";
  ASSERT_TRUE(Pack(options_, {}, nullptr));
  const std::uint64_t unsealed_size = fs::file_size(options_.output);
  auto unsealed = Inspect(options_.output);
  ASSERT_TRUE(unsealed);
  EXPECT_FALSE(unsealed->information_sealed);

  // Every remainder modulo 8, and the largest block.
  options_.seal_info = true;
  for (const std::size_t size : {1, 2, 3, 4, 5, 6, 7, 8, 4106}) {
    SCOPED_TRACE(size);
    const std::string information(size, 'i');
    WriteAll(root_ / "info.xml", information);
    ASSERT_TRUE(Pack(options_, {}, nullptr));
    const auto bytes = ReadAll(options_.output);
    EXPECT_EQ(bytes.size() % 8, 0u);
    const std::string block = "MRDC" + information + std::string(6, '\0');
    ASSERT_GE(bytes.size(), block.size() + 7);
    EXPECT_EQ(std::string(bytes.end() - static_cast<std::ptrdiff_t>(block.size()), bytes.end()), block);
    // The padding is zero bytes before the marker, fewer than eight.
    const std::size_t padding = (8 - (block.size() % 8)) % 8;
    const auto marker = bytes.end() - static_cast<std::ptrdiff_t>(block.size());
    EXPECT_EQ(std::string(marker - static_cast<std::ptrdiff_t>(padding), marker), std::string(padding, '\0'));
    auto report = Inspect(options_.output);
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->information_sealed);
    ASSERT_TRUE(report->information);
    EXPECT_EQ(std::string(report->information->begin(), report->information->end()), information);
    if (size == 7) {
      EXPECT_GT(bytes.size(), unsealed_size);  // the marker resource
      EXPECT_THAT(ReportText(report.Value()), HasSubstr("Information block: 7 bytes, sealed"));
      EXPECT_THAT(ReportJson(report.Value()), HasSubstr("\"sealed\" : true"));
    }
  }
}

TEST_F(PackTest, InspectShowsTheSealedBlockOfASignedFileAndIgnoresOneStampedLater) {
  WriteAll(root_ / "info.xml", "<sealed/>");
  options_.info = root_ / "info.xml";
  options_.seal_info = true;
  ASSERT_TRUE(Pack(options_, {}, nullptr));
  // Signed as a signing tool does it: the table right after the sealed
  // block; then a block stamped into the table.
  auto bytes = ReadAll(options_.output);
  const std::uint32_t table_offset = static_cast<std::uint32_t>(bytes.size());
  const std::string table = std::string(600, 's') + "MRDC<stamped/>" + std::string(6, '\0');
  bytes.insert(bytes.end(), table.begin(), table.end());
  {
    pe::MemorySource source(bytes);
    auto image = pe::ReadImage(source);
    ASSERT_TRUE(image) << image.Message();
    const std::size_t entry = static_cast<std::size_t>(image->DirectoryOffset(pe::kCertificateDirectory));
    for (int i = 0; i < 4; ++i) {
      bytes[entry + i] = static_cast<std::uint8_t>(table_offset >> (8 * i));
      bytes[entry + 4 + i] = static_cast<std::uint8_t>(table.size() >> (8 * i));
    }
  }
  WriteAll(root_ / "signed.exe", std::string(bytes.begin(), bytes.end()));
  auto report = Inspect(root_ / "signed.exe");
  ASSERT_TRUE(report);
  ASSERT_TRUE(report->information);
  EXPECT_EQ(std::string(report->information->begin(), report->information->end()), "<sealed/>");
  EXPECT_TRUE(report->ignored_information);
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("a block added after signing is ignored"));
}

TEST_F(PackTest, BadInputIsRefusedAndLeavesNoOutput) {
  struct Case {
    const char* name;
    std::function<void(PackTest&)> change;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"front end missing", [](PackTest& t) { t.options_.front_end = "Setup.exe"; },
       "the front end 'Setup.exe' is not in the payload"},
      {"no front end named", [](PackTest& t) { t.options_.front_end.clear(); },
       "no FRONT_END is named, so the bootstrapper would start 'App.exe'"},
      {"two names alike",
       [](PackTest& t) {
         WriteAll(t.root_ / "in" / "other" / "APP.EXE.CONFIG", "x");
         t.options_.payload.push_back(t.root_ / "in" / "other" / "APP.EXE.CONFIG");
       },
       "two payload files are both named"},
      {"payload file missing", [](PackTest& t) { t.options_.payload.push_back(t.root_ / "in" / "gone.bin"); },
       "does not exist"},
      {"payload folder is a file", [](PackTest& t) { t.options_.payload_dir = t.root_ / "in" / "App.exe"; },
       "is not a folder"},
      {"compressed raw mode",
       [](PackTest& t) {
         t.options_.compress = true;
         t.options_.raw = true;
       },
       "COMPRESS (--compress) packs a payload"},
      {"stub missing", [](PackTest& t) { t.options_.stub = t.root_ / "no-stub.exe"; }, "does not exist"},
      {"stub truncated",
       [](PackTest& t) {
         const auto bytes = ReadAll(t.stub_);
         WriteAll(t.root_ / "short.exe", std::string(bytes.begin(), bytes.begin() + 300));
         t.options_.stub = t.root_ / "short.exe";
       },
       "is not a Windows program"},
      {"stub is no program",
       [](PackTest& t) {
         WriteAll(t.root_ / "text.exe", "just some text, no program at all");
         t.options_.stub = t.root_ / "text.exe";
       },
       "is not a Windows program"},
      {"foreign program",
       [](PackTest& t) {
         testing_fakes::TestImageShape shape;
         shape.sections.push_back({".text", std::vector<std::uint8_t>(0x200, 0x90), 0x60000020});
         const auto bytes = testing_fakes::BuildTestImage(shape);
         WriteAll(t.root_ / "foreign.exe", std::string(bytes.begin(), bytes.end()));
         t.options_.stub = t.root_ / "foreign.exe";
       },
       "is not a Lantern stub"},
      {"stub of another version",
       [](PackTest& t) {
         WriteStub(t.root_ / "old-stub.exe", "Lantern stub 0.0.9");
         t.options_.stub = t.root_ / "old-stub.exe";
       },
       "is the stub of Lantern 0.0.9; this tool packs the stub of Lantern"},
      {"bootstrapper as stub",
       [](PackTest& t) {
         WriteStub(t.root_ / "packed.exe", "",
                   {{{u"TOOLKIT", kFirstPayloadId, kResourceLanguage}, Bytes("payload")}});
         t.options_.stub = t.root_ / "packed.exe";
       },
       "already carries a payload"},
      {"output folder missing", [](PackTest& t) { t.options_.output = t.root_ / "missing" / "Setup.exe"; },
       "cannot be written"},
      {"output is a folder", [](PackTest& t) { t.options_.output = t.root_ / "out"; }, "is a folder"},
      {"output is the stub", [](PackTest& t) { t.options_.output = t.stub_; }, "would replace the stub"},
      {"raw and payload",
       [](PackTest& t) {
         t.options_.raw = true;
         t.options_.raw_resources = {{"102", t.root_ / "in" / "App.exe"}};
       },
       "cannot be combined with PAYLOAD"},
      {"raw id",
       [](PackTest& t) {
         t.options_ = PackOptions{t.options_.output, t.stub_};
         t.options_.raw = true;
         t.options_.raw_resources = {{"no-good", t.root_ / "in" / "App.exe"}};
       },
       "RESOURCES id 'no-good' must be a number or a plain name"},
      {"three-part version", [](PackTest& t) { t.options_.branding.version = "1.2.3"; },
       "VERSION '1.2.3' must have four parts"},
      {"string not UTF-8",
       [](PackTest& t) {
         t.options_.strings = {{1, "\xC3"}};
       },
       "is not UTF-8 text"},
      {"information too large",
       [](PackTest& t) {
         WriteAll(t.root_ / "big.xml", std::string(4107, 'x'));
         t.options_.info = t.root_ / "big.xml";
       },
       "takes 1 to 4106"},
      {"information holds the marker",
       [](PackTest& t) {
         WriteAll(t.root_ / "marker.xml", "<a>MRDC</a>");
         t.options_.info = t.root_ / "marker.xml";
       },
       "holds the marker \"MRDC\""},
      {"information empty",
       [](PackTest& t) {
         WriteAll(t.root_ / "empty.xml", "");
         t.options_.info = t.root_ / "empty.xml";
       },
       "takes 1 to 4106"},
      {"nothing to seal", [](PackTest& t) { t.options_.seal_info = true; },
       "needs an information block to seal"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    SetUp();
    WriteAll(root_ / "out" / "Setup.exe", "the previous build");
    test_case.change(*this);
    const auto result = Pack(options_, {}, nullptr);
    ASSERT_FALSE(result);
    EXPECT_THAT(result.Message(), HasSubstr(test_case.message));
    EXPECT_THAT(OutputFolder(), ::testing::ElementsAre("Setup.exe"));
    const auto previous = ReadAll(root_ / "out" / "Setup.exe");
    EXPECT_EQ(std::string(previous.begin(), previous.end()), "the previous build");
  }
}

TEST_F(PackTest, InspectRefusesWhatIsNoProgram) {
  WriteAll(root_ / "text.exe", "MZ but nothing more");
  const auto report = Inspect(root_ / "text.exe");
  ASSERT_FALSE(report);
  EXPECT_THAT(report.Message(), HasSubstr("is not a Windows program"));
  EXPECT_THAT(Inspect(root_ / "missing.exe").Message(), HasSubstr("does not exist"));
}

TEST_F(PackTest, ProjectFileIsReadRelativeToItsFolder) {
  WriteAll(root_ / "project" / "setup.toml", R"(# A product's bootstrapper
output = "../out/FromProject.exe"
front_end = "App.exe"
payload = ["../in/App.exe"]
payload_dir = "../in/tree"
omit_strings = [137, 145]
version = "2.0.0.1"
info = "../info.xml"
seal_info = true
compress = true
stub = "../lantern-stub-zstd.exe"

[strings]
1 = "Project Download"
103 = "250"
)");
  WriteAll(root_ / "info.xml", "<project/>");
  auto options = ParsePackArguments(std::vector<std::string>{
      (root_ / "project" / "setup.toml").string(), "--payload", (root_ / "in" / "App.exe.config").string(),
      "--string", "1=From the command line", "-q"});
  ASSERT_TRUE(options) << options.Message();
  EXPECT_EQ(options->output, root_ / "out" / "FromProject.exe");
  EXPECT_EQ(options->payload.size(), 2u);
  EXPECT_EQ(options->omit_strings, (std::vector<std::uint16_t>{137, 145}));
  EXPECT_TRUE(options->quiet);
  EXPECT_TRUE(options->seal_info);
  EXPECT_TRUE(ParsePackArguments(std::vector<std::string>{"--seal-info"})->seal_info);
  EXPECT_TRUE(options->compress);
  EXPECT_TRUE(ParsePackArguments(std::vector<std::string>{"--compress"})->compress);
  EXPECT_FALSE(ParsePackArguments(std::vector<std::string>{})->compress);
  ASSERT_TRUE(Pack(options.Value(), {}, nullptr));
  auto report = Inspect(root_ / "out" / "FromProject.exe");
  ASSERT_TRUE(report);
  EXPECT_EQ(report->files.size(), 5u);
  // The command line's entry comes after the file's, so it is the one kept.
  EXPECT_THAT(ReportText(report.Value()), HasSubstr("\"From the command line\""));
}

TEST_F(PackTest, ProjectFileAndArgumentFaultsAreNamed) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"output = ", "setup.toml:1:"},
      {"outptu = \"x.exe\"", "unknown key 'outptu'"},
      {"payload = \"one.exe\"", "'payload' must be a list of paths"},
      {"[strings]\nabc = \"x\"", "strings id 'abc' is not a number from 0 to 65535"},
      {"omit_strings = [70000]", "omit_strings id is not a number from 0 to 65535"},
      {"[raw]\nlist = 1", "unknown key 'raw.list'"},
      {"seal_info = \"yes\"", "'seal_info' must be true or false"},
      {"compress = 1", "'compress' must be true or false"},
  };
  for (const auto& [text, message] : files) {
    SCOPED_TRACE(text);
    WriteAll(root_ / "setup.toml", text);
    PackOptions options;
    const auto read = ReadProjectFile(root_ / "setup.toml", options);
    ASSERT_FALSE(read);
    EXPECT_THAT(read.Message(), HasSubstr(message));
  }
  const std::vector<std::pair<std::vector<std::string>, std::string>> arguments = {
      {{"--payload"}, "the option '--payload' needs a value"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--string", "1"}, "takes <id>=<text>"},
      {{"--string", "x=1"}, "STRINGS id 'x' is not a number"},
      {{(root_ / "missing.toml").string()}, "cannot be read"},
  };
  for (const auto& [words, message] : arguments) {
    SCOPED_TRACE(words[0]);
    const auto parsed = ParsePackArguments(words);
    ASSERT_FALSE(parsed);
    EXPECT_THAT(parsed.Message(), HasSubstr(message));
  }
}

}  // namespace
}  // namespace lantern::pack
