// A product team's pictures, icon, version and copyright line: the resources
// they become, and the message for each thing that cannot be used.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/version_resource.h"
#include "pack/branding.h"

namespace lantern::pack {
namespace {

namespace fs = std::filesystem;

void Put(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct BmpShape {
  std::int32_t width = 634;
  std::int32_t height = 78;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t colours = 0;          // the header's count of colours used
  std::vector<std::uint8_t> encoded;  // RLE8 pixels, in place of stored rows
  std::uint32_t gap = 0;              // bytes between the headers and the pixels
  std::size_t cut = 0;                // bytes of pixels left out at the end
  std::size_t trailing = 0;           // bytes after the pixels
};

std::vector<std::uint8_t> Bmp(const BmpShape& shape) {
  const std::size_t stride = (static_cast<std::size_t>(shape.width) * shape.bits + 31) / 32 * 4;
  const std::size_t pixels =
      shape.compression == 1
          ? shape.encoded.size()
          : stride * static_cast<std::size_t>(shape.height < 0 ? -shape.height : shape.height);
  // A colour table of 8 bits per pixel that names no count has all 256 entries.
  const std::size_t table = 4 * (shape.bits == 8 && shape.colours == 0 ? 256 : shape.colours);
  const std::size_t at = 54 + table + shape.gap;
  std::vector<std::uint8_t> bytes(at + pixels + shape.trailing - shape.cut, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  Put(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
  Put(bytes, 10, static_cast<std::uint32_t>(at), 4);
  Put(bytes, 14, 40, 4);
  Put(bytes, 18, static_cast<std::uint32_t>(shape.width), 4);
  Put(bytes, 22, static_cast<std::uint32_t>(shape.height), 4);
  Put(bytes, 26, 1, 2);
  Put(bytes, 28, shape.bits, 2);
  Put(bytes, 30, shape.compression, 4);
  Put(bytes, 34, shape.compression == 1 ? static_cast<std::uint32_t>(pixels) : 0, 4);
  Put(bytes, 46, shape.colours, 4);
  for (std::size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  if (shape.compression == 1) {
    std::copy(shape.encoded.begin(), shape.encoded.end() - static_cast<std::ptrdiff_t>(shape.cut),
              bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return bytes;
}

// RLE8 pixels of a 634 x 78 banner: every row one run of 254, one of 254,
// four pixels given one by one and a run of 122; the last row ends the picture.
std::vector<std::uint8_t> BannerRle8() {
  std::vector<std::uint8_t> data;
  for (int row = 0; row < 78; ++row) {
    data.insert(data.end(), {254, 1, 254, 2, 0, 4, 3, 4, 5, 6, 122, 7});
    data.insert(data.end(), {0, static_cast<std::uint8_t>(row == 77 ? 1 : 0)});
  }
  return data;
}

// An .ico file with images of the given sizes; `offset_shift` moves the
// last image's offset.
std::vector<std::uint8_t> Ico(const std::vector<std::uint32_t>& sizes, std::uint32_t offset_shift = 0) {
  std::vector<std::uint8_t> bytes(6 + 16 * sizes.size(), 0);
  Put(bytes, 2, 1, 2);
  Put(bytes, 4, static_cast<std::uint32_t>(sizes.size()), 2);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::size_t entry = 6 + 16 * i;
    bytes[entry] = static_cast<std::uint8_t>(16 * (i + 1));  // width
    bytes[entry + 1] = static_cast<std::uint8_t>(16 * (i + 1));
    Put(bytes, entry + 4, 1, 2);   // planes
    Put(bytes, entry + 6, 32, 2);  // bits
    Put(bytes, entry + 8, sizes[i], 4);
    const std::uint32_t shift = i + 1 == sizes.size() ? offset_shift : 0;
    Put(bytes, entry + 12, static_cast<std::uint32_t>(bytes.size()) + shift, 4);
    for (std::uint32_t b = 0; b < sizes[i]; ++b) bytes.push_back(static_cast<std::uint8_t>(i * 31 + b));
  }
  return bytes;
}

std::vector<std::uint8_t> Read(const pe::Resource& resource) {
  std::vector<std::uint8_t> bytes(resource.data->Size());
  EXPECT_TRUE(resource.data->ReadAt(0, bytes));
  return bytes;
}

class Branded : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      folder_ = fs::temp_directory_path() / ("lantern-branding-test-" + std::to_string(random()));
    } while (!fs::create_directory(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path File(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Text(const fs::path& path) const {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }

  fs::path folder_;
};

TEST_F(Branded, MakesTheResourcesThatReplaceTheStubsOwn) {
  const std::vector<std::uint8_t> banner = Bmp({});
  const std::vector<std::uint8_t> splash = Bmp({.width = 425, .height = -208, .trailing = 2});  // top-down
  const std::vector<std::uint8_t> icon = Ico({40, 3, 17});
  Branding branding;
  branding.banner = File("banner.bmp", banner);
  branding.splash = File("splash.bmp", splash);
  branding.icon = File("product.ico", icon);
  branding.version = "3.1.4.15";
  branding.copyright = "© 2026 Vantrel \"Test\" Builds & Sons of Lantern";
  const Result<std::vector<pe::Resource>> made = BrandingResources(branding, "0.1.0.0");
  ASSERT_TRUE(made) << made.Message();

  std::vector<std::string> keys;
  for (const pe::Resource& resource : made.Value()) keys.push_back(resource.key.ToString());
  EXPECT_EQ(keys, (std::vector<std::string>{"#2/#130/0x809", "#2/#133/0x809", "#3/#1/0x809", "#3/#2/0x809",
                                            "#3/#3/0x809", "#14/#5/0x809", "#16/#1/0x809"}));
  const std::vector<pe::Resource>& r = made.Value();
  // A picture is its file without the file header; bytes after the pixels are left out.
  EXPECT_EQ(Read(r[0]), std::vector<std::uint8_t>(banner.begin() + 14, banner.end()));
  EXPECT_EQ(Read(r[1]), std::vector<std::uint8_t>(splash.begin() + 14, splash.end() - 2));
  // Each image as it stands in the file; the group is the file's list with ids for offsets.
  EXPECT_EQ(Read(r[2]), std::vector<std::uint8_t>(icon.begin() + 54, icon.begin() + 94));
  EXPECT_EQ(Read(r[4]), std::vector<std::uint8_t>(icon.end() - 17, icon.end()));
  const std::vector<std::uint8_t> group = Read(r[5]);
  ASSERT_EQ(group.size(), 6 + 3 * 14u);
  EXPECT_EQ(std::vector<std::uint8_t>(group.begin(), group.begin() + 6),
            (std::vector<std::uint8_t>{0, 0, 1, 0, 3, 0}));
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(
        std::equal(group.begin() + 6 + 14 * i, group.begin() + 18 + 14 * i, icon.begin() + 6 + 16 * i));
    EXPECT_EQ(group[18 + 14 * i], i + 1);
    EXPECT_EQ(group[19 + 14 * i], 0);
  }
  const std::optional<VersionRecord> version = ReadVersionResource(Read(r[6]));
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->version, (std::array<std::uint16_t, 4>{3, 1, 4, 15}));
  EXPECT_EQ(version->copyright, u"© 2026 Vantrel \"Test\" Builds & Sons of Lantern");
}

// Pictures of 8 bits per pixel, stored as they are or run-length encoded,
// keep their colour table; what a loader does not read (the file header, a
// gap, bytes after the pixels) is left out.
TEST_F(Branded, TakesPicturesOf8BitsStoredOrRunLengthEncoded) {
  const struct {
    const char* what;
    BmpShape shape;
    std::size_t table;  // bytes of colour table the resource keeps
  } cases[] = {
      {"8 bits, 256 colours", {.bits = 8, .trailing = 3}, 1024},
      {"8 bits, 16 colours named", {.bits = 8, .colours = 16, .gap = 2}, 64},
      {"8 bits, top-down", {.height = -78, .bits = 8, .colours = 200}, 800},
      {"RLE8", {.bits = 8, .compression = 1, .colours = 8, .encoded = BannerRle8(), .trailing = 5}, 32},
      {"RLE8, 256 colours", {.bits = 8, .compression = 1, .encoded = BannerRle8()}, 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint8_t> bytes = Bmp(c.shape);
    const auto made = BrandingResources({.banner = File("banner.bmp", bytes)}, "0.1.0.0");
    ASSERT_TRUE(made) << made.Message();
    ASSERT_EQ(made->size(), 1u);
    const std::size_t pixels_at = 54 + c.table + c.shape.gap;
    std::vector<std::uint8_t> expected(bytes.begin() + 14,
                                       bytes.begin() + 54 + static_cast<std::ptrdiff_t>(c.table));
    expected.insert(expected.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pixels_at),
                    bytes.end() - static_cast<std::ptrdiff_t>(c.shape.trailing));
    EXPECT_EQ(Read(made.Value()[0]), expected);
  }
}

TEST_F(Branded, TakesOnlyWhatIsGiven) {
  EXPECT_TRUE(BrandingResources({}, "0.1.0.0").Value().empty());

  // A version record for a copyright alone carries the default version; for
  // a version alone, no copyright line.
  Branding copyright;
  copyright.copyright = "Vantrel";
  const auto with_copyright = BrandingResources(copyright, "0.1.0.0");
  ASSERT_TRUE(with_copyright) << with_copyright.Message();
  ASSERT_EQ(with_copyright->size(), 1u);
  const auto record = ReadVersionResource(Read(with_copyright.Value()[0]));
  EXPECT_EQ(record->version, (std::array<std::uint16_t, 4>{0, 1, 0, 0}));
  EXPECT_EQ(record->copyright, u"Vantrel");

  Branding version;
  version.version = "65535.0.0.65535";
  const auto with_version = BrandingResources(version, "0.1.0.0");
  ASSERT_TRUE(with_version) << with_version.Message();
  const auto only_version = ReadVersionResource(Read(with_version.Value()[0]));
  EXPECT_EQ(only_version->version, (std::array<std::uint16_t, 4>{65535, 0, 0, 65535}));
  EXPECT_EQ(only_version->copyright, u"");

  // Pixels stored apart from the headers follow them at once in the resource.
  Branding apart;
  const std::vector<std::uint8_t> gap = Bmp({.gap = 6});
  apart.banner = File("gap.bmp", gap);
  const auto with_gap = BrandingResources(apart, "0.1.0.0");
  ASSERT_TRUE(with_gap) << with_gap.Message();
  std::vector<std::uint8_t> expected(gap.begin() + 14, gap.begin() + 54);
  expected.insert(expected.end(), gap.begin() + 60, gap.end());
  EXPECT_EQ(Read(with_gap.Value()[0]), expected);
}

TEST_F(Branded, RefusesWhatCannotBeUsedWithItsMessage) {
  const fs::path missing = folder_ / "missing.bmp";
  const fs::path text = File("notes.txt", {'h', 'e', 'l', 'l', 'o'});
  const fs::path small = File("small.bmp", Bmp({.width = 100, .height = 20}));
  const fs::path sixteen_bits = File("sixteen.bmp", Bmp({.bits = 16}));
  const fs::path cut = File("cut.bmp", Bmp({.cut = 1}));
  const fs::path rle24 = File("rle24.bmp", Bmp({.compression = 1, .encoded = BannerRle8()}));
  const fs::path rle4 = File("rle4.bmp", Bmp({.bits = 8, .compression = 2}));
  const fs::path too_many = File("too-many.bmp", Bmp({.bits = 8, .colours = 257}));
  std::vector<std::uint8_t> tableless = Bmp({.bits = 8, .colours = 1});
  Put(tableless, 46, 0, 4);  // says 256 colours, holds 1
  const fs::path short_table = File("short-table.bmp", tableless);
  const fs::path rle_top_down =
      File("rle-top-down.bmp", Bmp({.height = -78, .bits = 8, .compression = 1, .encoded = BannerRle8()}));
  const fs::path rle_cut =
      File("rle-cut.bmp", Bmp({.bits = 8, .compression = 1, .encoded = BannerRle8(), .cut = 1}));
  // RLE8 pixels that go wrong at their last code: each case's data is a
  // whole banner but for that code.
  const auto damaged = [&](const char* name, std::vector<std::uint8_t> last) {
    std::vector<std::uint8_t> data = BannerRle8();
    data.resize(data.size() - 2);
    data.insert(data.end(), last.begin(), last.end());
    return File(name, Bmp({.bits = 8, .compression = 1, .encoded = data}));
  };
  const std::size_t last_code = BannerRle8().size() - 2;
  const fs::path unended = damaged("unended.bmp", {});
  const fs::path past_width = damaged("past-width.bmp", {1, 9});
  const fs::path past_height = damaged("past-height.bmp", {0, 2, 0, 1});
  const fs::path given_past_end = damaged("given-past-end.bmp", {0, 5, 1, 2});
  const fs::path banner = File("banner.bmp", Bmp({}));
  const fs::path empty_icon = File("empty.ico", Ico({}));
  const fs::path outside = File("outside.ico", Ico({8, 8}, 1));
  const fs::path empty_image = File("empty-image.ico", Ico({0, 8}));
  std::vector<std::uint8_t> short_list = Ico({8, 8});
  short_list.resize(30);
  const fs::path cut_icon = File("short.ico", short_list);
  std::string wide_47, wide_46;
  for (int i = 0; i < 47; ++i) wide_47 += "©";
  for (int i = 0; i < 46; ++i) wide_46 += "©";

  const struct {
    const char* what;
    Branding branding;
    std::string message;  // empty: accepted
  } cases[] = {
      {"banner missing", {.banner = missing}, "BANNER '" + Text(missing) + "' does not exist"},
      {"banner a folder", {.banner = folder_}, "BANNER '" + Text(folder_) + "' does not exist"},
      {"banner not a BMP", {.banner = text}, "BANNER '" + Text(text) + "' is not a BMP picture"},
      {"banner too small",
       {.banner = small},
       "BANNER '" + Text(small) +
           "' must be a 634 x 78 BMP with 24 or 8 bits per pixel (width, height and bits found: 100 20 24)"},
      {"banner of 16 bits",
       {.banner = sixteen_bits},
       "BANNER '" + Text(sixteen_bits) +
           "' must be a 634 x 78 BMP with 24 or 8 bits per pixel (width, height and bits found: 634 78 16)"},
      {"banner cut short",
       {.banner = cut},
       "BANNER '" + Text(cut) +
           "' holds fewer pixels than its header says (148512 bytes from offset 54 in a file of 148565 "
           "bytes)"},
      {"banner of 24 bits run-length encoded",
       {.banner = rle24},
       "BANNER '" + Text(rle24) +
           "' is compressed in a way Lantern cannot use (compression 1); a BMP of 24 bits per pixel must be "
           "stored uncompressed"},
      {"banner of 8 bits compressed otherwise",
       {.banner = rle4},
       "BANNER '" + Text(rle4) +
           "' is compressed in a way Lantern cannot use (compression 2); a BMP of 8 bits per pixel must be "
           "stored uncompressed or run-length encoded (RLE8)"},
      {"more colours than 8 bits hold",
       {.banner = too_many},
       "BANNER '" + Text(too_many) + "' says it uses 257 colours; a BMP of 8 bits per pixel has at most 256"},
      {"colour table cut short",
       {.banner = short_table},
       "BANNER '" + Text(short_table) + "' is not a BMP picture"},
      {"RLE8 top-down",
       {.banner = rle_top_down},
       "BANNER '" + Text(rle_top_down) +
           "' is run-length encoded and stored top-down; an RLE8 BMP is stored "
           "bottom-up"},
      {"RLE8 cut short",
       {.banner = rle_cut},
       "BANNER '" + Text(rle_cut) +
           "' holds fewer pixels than its header says (1092 bytes from offset 1078 in a "
           "file of 2169 bytes)"},
      {"RLE8 without its end",
       {.banner = unended},
       "BANNER '" + Text(unended) + "' holds damaged run-length encoded pixels (at byte " +
           std::to_string(last_code) + " of their " + std::to_string(last_code) + ")"},
      {"RLE8 run past the row",
       {.banner = past_width},
       "BANNER '" + Text(past_width) + "' holds damaged run-length encoded pixels (at byte " +
           std::to_string(last_code) + " of their " + std::to_string(last_code + 2) + ")"},
      {"RLE8 move past the top",
       {.banner = past_height},
       "BANNER '" + Text(past_height) + "' holds damaged run-length encoded pixels (at byte " +
           std::to_string(last_code) + " of their " + std::to_string(last_code + 4) + ")"},
      {"RLE8 pixels given past the data",
       {.banner = given_past_end},
       "BANNER '" + Text(given_past_end) + "' holds damaged run-length encoded pixels (at byte " +
           std::to_string(last_code) + " of their " + std::to_string(last_code + 4) + ")"},
      {"splash of the banner's shape",
       {.splash = banner},
       "SPLASH '" + Text(banner) +
           "' must be a 425 x 208 BMP with 24 or 8 bits per pixel (width, height and bits found: 634 78 24)"},
      {"icon missing", {.icon = missing}, "ICON '" + Text(missing) + "' is not an icon file (.ico)"},
      {"icon a picture", {.icon = banner}, "ICON '" + Text(banner) + "' is not an icon file (.ico)"},
      {"icon without images", {.icon = empty_icon}, "ICON '" + Text(empty_icon) + "' holds no images"},
      {"icon image outside",
       {.icon = outside},
       "ICON '" + Text(outside) + "': image 2 (8 bytes at offset 47) lies outside the file"},
      {"icon image empty", {.icon = empty_image}, "ICON '" + Text(empty_image) + "': image 1 is empty"},
      {"icon list cut short",
       {.icon = cut_icon},
       "ICON '" + Text(cut_icon) + "' is cut short: its list of 2 images runs past its end"},
      {"three parts", {.version = "1.2.3"}, "VERSION '1.2.3' must have four parts, such as 1.2.0.15"},
      {"five parts", {.version = "1.2.3.4.5"}, "VERSION '1.2.3.4.5' must have four parts, such as 1.2.0.15"},
      {"a letter", {.version = "1.2.3.x"}, "VERSION '1.2.3.x' must have four parts, such as 1.2.0.15"},
      {"a sign", {.version = "1.2.+3.4"}, "VERSION '1.2.+3.4' must have four parts, such as 1.2.0.15"},
      {"empty", {.version = ""}, "VERSION '' must have four parts, such as 1.2.0.15"},
      {"part too big", {.version = "1.65536.0.0"}, "VERSION '1.65536.0.0': each part is at most 65535"},
      {"part far too big",
       {.version = "99999999999999999999.0.0.0"},
       "VERSION '99999999999999999999.0.0.0': each part is at most 65535"},
      {"46 characters in 92 bytes", {.copyright = wide_46}, ""},
      {"47 characters",
       {.copyright = wide_47},
       "COPYRIGHT is 47 characters long, more than the 46 the About box holds"},
      {"a tab", {.copyright = "Vantrel\tLtd"}, "COPYRIGHT cannot hold tabs, line breaks or backslashes"},
      {"a line break",
       {.copyright = "Vantrel\nLtd"},
       "COPYRIGHT cannot hold tabs, line breaks or backslashes"},
      {"a backslash",
       {.copyright = "Vantrel\\Ltd"},
       "COPYRIGHT cannot hold tabs, line breaks or backslashes"},
      {"not UTF-8", {.copyright = "Vantrel \xA9 2026"}, "COPYRIGHT is not valid UTF-8 text"},
      {"an overlong form", {.copyright = "\xC0\xAF"}, "COPYRIGHT is not valid UTF-8 text"},
      {"a surrogate", {.copyright = "\xED\xA0\x80"}, "COPYRIGHT is not valid UTF-8 text"},
      {"cut in a character", {.copyright = "Vantrel \xC2"}, "COPYRIGHT is not valid UTF-8 text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Result<std::vector<pe::Resource>> made = BrandingResources(c.branding, "0.1.0.0");
    if (c.message.empty()) {
      EXPECT_TRUE(made) << made.Message();
    } else {
      ASSERT_FALSE(made);
      EXPECT_EQ(made.Message(), c.message);
    }
  }

  // A copyright alone takes the default version, which is checked as VERSION.
  const auto bad_default = BrandingResources({.copyright = "Vantrel"}, "0.1.0");
  ASSERT_FALSE(bad_default);
  EXPECT_EQ(bad_default.Message(), "VERSION '0.1.0' must have four parts, such as 1.2.0.15");
}

}  // namespace
}  // namespace lantern::pack
