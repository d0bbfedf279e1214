// The two stubs as the build made them, read with the image library as the
// packing tool reads them: their marker, string table, version record, icon
// and pictures, no payload, and whether they say they decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/version_resource.h"
#include "pack/branding.h"
#include "pack/default_strings.h"
#include "pack/string_table_resource.h"
#include "pack/stub.h"
#include "pe/byte_io.h"
#include "pe/image.h"
#include "pe/resources.h"
#include "unit_paths.h"

namespace lantern::pack {
namespace {

struct StubFile {
  const char* path;
  bool decodes;
};

class Stub : public testing::TestWithParam<StubFile> {
 protected:
  void SetUp() override {
    auto file = pe::FileSource::Open(GetParam().path);
    ASSERT_TRUE(file) << file.Message();
    file_ = file.Value();
    const pe::Result<pe::Image> image = pe::ReadImage(*file_);
    ASSERT_TRUE(image) << image.Message();
    auto entries = pe::ReadResources(*file_, image.Value());
    ASSERT_TRUE(entries) << entries.Message();
    entries_ = std::move(entries).Value();
  }

  const pe::ResourceEntry* Find(const pe::ResourceKey& key) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const pe::ResourceEntry& e) { return e.key == key; });
    return found == entries_.end() ? nullptr : &*found;
  }
  std::vector<std::uint8_t> Bytes(const pe::ResourceKey& key) const {
    const pe::ResourceEntry* entry = Find(key);
    if (!entry) return {};
    auto bytes = pe::ReadResourceBytes(*file_, *entry);
    return bytes ? std::move(bytes).Value() : std::vector<std::uint8_t>{};
  }

  std::shared_ptr<pe::FileSource> file_;
  std::vector<pe::ResourceEntry> entries_;
};

TEST_P(Stub, SaysItIsAStubOfThisLantern) {
  const std::vector<std::uint8_t> marker = Bytes({pe::kTypeRcData, kStubMarkerName, kResourceLanguage});
  EXPECT_EQ(std::string(marker.begin(), marker.end()),
            std::string(kStubMarkerPrefix) + std::string(kLanternVersion));
}

TEST_P(Stub, SaysWhetherItCarriesTheDecoder) {
  const std::vector<std::uint8_t> marker = Bytes({pe::kTypeRcData, kDecoderMarkerName, kResourceLanguage});
  EXPECT_EQ(std::string(marker.begin(), marker.end()),
            GetParam().decodes ? std::string(kDecoderMarkerText) : std::string());
}

TEST_P(Stub, CarriesThisBuildsStringTable) {
  const pe::Result<StringEntries> strings = ReadStringTable(*file_, entries_, kResourceLanguage);
  ASSERT_TRUE(strings) << strings.Message();
  EXPECT_EQ(strings.Value(), DefaultStrings());
}

TEST_P(Stub, CarriesLanternsVersionAndNoCopyright) {
  const std::vector<std::uint8_t> bytes = Bytes({pe::kTypeVersion, kVersionId, kResourceLanguage});
  const std::optional<VersionRecord> record = ReadVersionResource(bytes);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(bytes, BuildVersionResource(*record));
  std::string version;
  for (const std::uint16_t part : record->version) version += std::to_string(part) + ".";
  EXPECT_EQ(version, std::string(kLanternVersion) + ".0.");
  EXPECT_EQ(record->copyright, u"");
}

TEST_P(Stub, CarriesItsIconPicturesAndManifestButNoPayload) {
  EXPECT_NE(Find({pe::kTypeGroupIcon, kIconGroupId, kResourceLanguage}), nullptr);
  EXPECT_NE(Find({pe::kTypeIcon, 1, kResourceLanguage}), nullptr);
  EXPECT_NE(Find({2, kBannerId, kResourceLanguage}), nullptr);  // bitmaps
  EXPECT_NE(Find({2, kSplashId, kResourceLanguage}), nullptr);
  EXPECT_NE(Find({pe::kTypeManifest, 1, kResourceLanguage}), nullptr);
  for (const pe::ResourceEntry& entry : entries_) {
    EXPECT_NE(entry.key.type, pe::ResourceId(u"TOOLKIT")) << entry.key.ToString();
    EXPECT_EQ(entry.key.language, kResourceLanguage) << entry.key.ToString();
  }
}

INSTANTIATE_TEST_SUITE_P(BothStubs, Stub,
                         testing::Values(StubFile{LANTERN_STUB_EXE, false},
                                         StubFile{LANTERN_STUB_ZSTD_EXE, true}),
                         [](const testing::TestParamInfo<StubFile>& stub_info) {
                           return stub_info.param.decodes ? std::string("Decoder") : std::string("Plain");
                         });

}  // namespace
}  // namespace lantern::pack
