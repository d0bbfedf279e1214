#include "pack/branding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <span>
#include <system_error>

#include "core/utf8.h"
#include "core/version_resource.h"
#include "pack/text.h"
#include "pe/byte_io.h"
#include "pe/little_endian.h"

namespace lantern::pack {
namespace {

constexpr std::uint16_t kTypeBitmap = 2;  // RT_BITMAP
constexpr std::size_t kBmpFileHeader = 14;
constexpr std::size_t kBmpInfoHeader = 40;  // BITMAPINFOHEADER, the least a picture of this kind has
constexpr std::size_t kIconDirHeader = 6;
constexpr std::size_t kIconDirEntry = 16;
constexpr std::size_t kGroupEntry = 14;
constexpr std::size_t kMaxCopyright = 46;  // what the About box's line holds

std::string Quoted(const char* what, const std::filesystem::path& file) {
  return std::string(what) + " '" + ShowPath(file) + "'";
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

// Up to `limit` bytes from the start of `path`; nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadStart(const std::filesystem::path& path, std::uint64_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  char buffer[1 << 16];
  while (bytes.size() < limit) {
    const std::uint64_t want = std::min<std::uint64_t>(sizeof buffer, limit - bytes.size());
    in.read(buffer, static_cast<std::streamsize>(want));
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    if (static_cast<std::uint64_t>(in.gcount()) < want) break;
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

std::uint64_t FileSize(const std::filesystem::path& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

pe::Resource MemoryResource(std::uint16_t type, std::uint16_t name, std::vector<std::uint8_t> bytes) {
  return pe::Resource{pe::ResourceKey{type, name, kResourceLanguage},
                      std::make_shared<pe::MemorySource>(std::move(bytes)), 0};
}

// Where run-length encoded pixels (BI_RLE8) stop making sense for a picture
// of `width` x `height`: the offset of the first code that runs past the data
// or past the picture, or the data's size when they end without the
// end-of-picture code. Nothing when they are whole.
std::optional<std::size_t> DamagedRle8(std::span<const std::uint8_t> data, std::int64_t width,
                                       std::int64_t height) {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::size_t at = 0;
  while (at + 2 <= data.size()) {
    const std::size_t code = at;
    const unsigned count = data[at];
    const unsigned value = data[at + 1];
    at += 2;
    if (count > 0) {  // `count` pixels of one colour
      x += count;
    } else if (value == 0) {  // end of the row
      x = 0;
      ++y;
    } else if (value == 1) {  // end of the picture
      return std::nullopt;
    } else if (value == 2) {  // a move right and up
      if (at + 2 > data.size()) return code;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {  // `value` pixels given one by one, padded to a whole word
      at += value + (value & 1);
      if (at > data.size()) return code;
      x += value;
    }
    if (x > width || y > height || (y == height && x > 0)) return code;
  }
  return data.size();
}

// A picture of `width` x `height` as a bitmap resource: the file without its
// file header. 24 bits per pixel, or 8 bits per pixel with a colour table,
// stored as they are or run-length encoded (RLE8): what the system's loader
// and the static controls that show the pictures draw alike.
Result<pe::Resource> PictureResource(const char* what, const std::filesystem::path& file, std::uint16_t id,
                                     std::int64_t width, std::int64_t height) {
  if (!IsFile(file)) return pe::Failure{Quoted(what, file) + " does not exist"};
  const std::optional<std::vector<std::uint8_t>> head = ReadStart(file, kBmpFileHeader + kBmpInfoHeader);
  if (!head) return pe::Failure{Quoted(what, file) + " cannot be read"};
  if (head->size() < kBmpFileHeader + kBmpInfoHeader || (*head)[0] != 'B' || (*head)[1] != 'M' ||
      pe::ReadU32(&(*head)[14]) < kBmpInfoHeader) {
    return pe::Failure{Quoted(what, file) + " is not a BMP picture"};
  }
  // A negative height is a picture stored top-down.
  const std::int64_t found_width = static_cast<std::int32_t>(pe::ReadU32(&(*head)[18]));
  const std::int64_t signed_height = static_cast<std::int32_t>(pe::ReadU32(&(*head)[22]));
  const std::int64_t found_height = signed_height < 0 ? -signed_height : signed_height;
  const unsigned bits = pe::ReadU16(&(*head)[28]);
  if (found_width != width || found_height != height || (bits != 24 && bits != 8)) {
    return pe::Failure{
        Quoted(what, file) + " must be a " + std::to_string(width) + " x " + std::to_string(height) +
        " BMP with 24 or 8 bits per pixel (width, height and bits found: " + std::to_string(found_width) +
        " " + std::to_string(found_height) + " " + std::to_string(bits) + ")"};
  }
  const std::uint32_t compression = pe::ReadU32(&(*head)[30]);
  const bool rle8 = bits == 8 && compression == 1;  // BI_RLE8
  if (compression != 0 && !rle8) {                  // BI_RGB
    return pe::Failure{Quoted(what, file) + " is compressed in a way Lantern cannot use (compression " +
                       std::to_string(compression) + "); a BMP of " + std::to_string(bits) +
                       " bits per pixel must be stored " +
                       (bits == 8 ? "uncompressed or run-length encoded (RLE8)" : "uncompressed")};
  }
  if (rle8 && signed_height < 0) {
    return pe::Failure{Quoted(what, file) +
                       " is run-length encoded and stored top-down; an RLE8 BMP is "
                       "stored bottom-up"};
  }
  // A colour table of 8 bits per pixel has as many entries as the header
  // says it uses, and all 256 when it says none.
  const std::uint64_t colours_used = pe::ReadU32(&(*head)[46]);
  if (bits == 8 && colours_used > 256) {
    return pe::Failure{Quoted(what, file) + " says it uses " + std::to_string(colours_used) +
                       " colours; a BMP of 8 bits per pixel has at most 256"};
  }
  const std::uint64_t colours_size = 4 * (bits == 8 && colours_used == 0 ? 256 : colours_used);

  // Stored as they are, the rows are padded to whole 32-bit words; encoded,
  // the header gives their size. The pixels start where the file header says;
  // the resource holds the headers (and any colour table) followed at once by
  // the pixels, as the system's loader expects.
  const std::uint64_t pixels_size =
      rle8 ? pe::ReadU32(&(*head)[34]) : static_cast<std::uint64_t>((width * bits + 31) / 32 * 4) * height;
  const std::uint64_t info_size = pe::ReadU32(&(*head)[14]);
  const std::uint64_t headers_end = kBmpFileHeader + info_size + colours_size;
  const std::uint64_t pixels_at = pe::ReadU32(&(*head)[10]);
  const std::uint64_t file_size = FileSize(file);
  if (pixels_at < headers_end) return pe::Failure{Quoted(what, file) + " is not a BMP picture"};
  if (pixels_at + pixels_size > file_size) {
    return pe::Failure{Quoted(what, file) + " holds fewer pixels than its header says (" +
                       std::to_string(pixels_size) + " bytes from offset " + std::to_string(pixels_at) +
                       " in a file of " + std::to_string(file_size) + " bytes)"};
  }
  std::optional<std::vector<std::uint8_t>> bytes = ReadStart(file, pixels_at + pixels_size);
  if (!bytes || bytes->size() != pixels_at + pixels_size)
    return pe::Failure{Quoted(what, file) + " cannot be read"};
  if (rle8) {
    const std::span<const std::uint8_t> data(bytes->data() + pixels_at, pixels_size);
    if (const std::optional<std::size_t> damaged = DamagedRle8(data, width, height)) {
      return pe::Failure{Quoted(what, file) + " holds damaged run-length encoded pixels (at byte " +
                         std::to_string(*damaged) + " of their " + std::to_string(pixels_size) + ")"};
    }
  }
  std::vector<std::uint8_t> resource(bytes->begin() + kBmpFileHeader, bytes->begin() + headers_end);
  resource.insert(resource.end(), bytes->begin() + pixels_at, bytes->end());
  return MemoryResource(kTypeBitmap, id, std::move(resource));
}

// The images of an .ico file as icon resources 1 to n, and the group that
// names them: the file's directory with each entry's offset replaced by the
// id of its icon resource.
Result<std::vector<pe::Resource>> IconResources(const std::filesystem::path& file) {
  const std::string not_icon = Quoted("ICON", file) + " is not an icon file (.ico)";
  if (!IsFile(file)) return pe::Failure{not_icon};
  const std::uint64_t file_size = FileSize(file);
  const std::optional<std::vector<std::uint8_t>> read = ReadStart(file, file_size);
  if (!read) return pe::Failure{Quoted("ICON", file) + " cannot be read"};
  const std::vector<std::uint8_t>& bytes = *read;
  if (bytes.size() < kIconDirHeader || pe::ReadU32(bytes.data()) != 0x00010000) return pe::Failure{not_icon};
  const std::size_t count = pe::ReadU16(&bytes[4]);
  if (count == 0) return pe::Failure{Quoted("ICON", file) + " holds no images"};
  if (kIconDirHeader + count * kIconDirEntry > bytes.size()) {
    return pe::Failure{Quoted("ICON", file) + " is cut short: its list of " + std::to_string(count) +
                       " images runs past its end"};
  }

  std::vector<pe::Resource> resources;
  std::vector<std::uint8_t> group(kIconDirHeader + count * kGroupEntry);
  pe::PutU16(&group[2], 1);  // icons
  pe::PutU16(&group[4], static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &bytes[kIconDirHeader + i * kIconDirEntry];
    const std::uint64_t size = pe::ReadU32(entry + 8);
    const std::uint64_t offset = pe::ReadU32(entry + 12);
    if (size == 0)
      return pe::Failure{Quoted("ICON", file) + ": image " + std::to_string(i + 1) + " is empty"};
    if (offset + size > bytes.size()) {
      return pe::Failure{Quoted("ICON", file) + ": image " + std::to_string(i + 1) + " (" +
                         std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                         ") lies outside the file"};
    }
    const auto id = static_cast<std::uint16_t>(i + 1);
    std::uint8_t* out = &group[kIconDirHeader + i * kGroupEntry];
    std::copy_n(entry, 12, out);  // width, height, colours, reserved, planes, bits, size
    pe::PutU16(out + 12, id);
    resources.push_back(MemoryResource(
        pe::kTypeIcon, id,
        std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(offset + size))));
  }
  resources.push_back(MemoryResource(pe::kTypeGroupIcon, kIconGroupId, std::move(group)));
  return resources;
}

// "a.b.c.d", each part at most 65535.
Result<std::array<std::uint16_t, 4>> ParseVersion(const std::string& text) {
  const std::string four_parts = "VERSION '" + text + "' must have four parts, such as 1.2.0.15";
  std::array<std::uint16_t, 4> parts{};
  std::size_t at = 0;
  bool too_big = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return pe::Failure{four_parts};
      ++at;
    }
    const std::size_t start = at;
    std::uint32_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(text[at] - '0'), 0x10000);
      ++at;
    }
    if (at == start) return pe::Failure{four_parts};
    too_big = too_big || value > 0xFFFF;
    parts[i] = static_cast<std::uint16_t>(value);
  }
  if (at != text.size()) return pe::Failure{four_parts};
  if (too_big) return pe::Failure{"VERSION '" + text + "': each part is at most 65535"};
  return parts;
}

Result<std::u16string> CheckCopyright(const std::string& text) {
  std::optional<std::u16string> wide = Utf16FromUtf8(text);
  if (!wide) return pe::Failure{"COPYRIGHT is not valid UTF-8 text"};
  std::size_t characters = 0;
  for (const char16_t unit : *wide) characters += (unit & 0xFC00) != 0xDC00;  // a pair is one character
  if (characters > kMaxCopyright) {
    return pe::Failure{"COPYRIGHT is " + std::to_string(characters) + " characters long, more than the " +
                       std::to_string(kMaxCopyright) + " the About box holds"};
  }
  if (text.find_first_of("\t\r\n\\") != std::string::npos) {
    return pe::Failure{"COPYRIGHT cannot hold tabs, line breaks or backslashes"};
  }
  return std::move(*wide);
}

}  // namespace

Result<std::vector<pe::Resource>> BrandingResources(const Branding& branding,
                                                    const std::string& default_version) {
  std::vector<pe::Resource> resources;
  if (branding.banner) {
    Result<pe::Resource> banner = PictureResource("BANNER", *branding.banner, kBannerId, 634, 78);
    if (!banner) return banner.AsFailure();
    resources.push_back(std::move(banner).Value());
  }
  if (branding.splash) {
    Result<pe::Resource> splash = PictureResource("SPLASH", *branding.splash, kSplashId, 425, 208);
    if (!splash) return splash.AsFailure();
    resources.push_back(std::move(splash).Value());
  }
  if (branding.icon) {
    Result<std::vector<pe::Resource>> icons = IconResources(*branding.icon);
    if (!icons) return icons.AsFailure();
    for (pe::Resource& icon : icons.Value()) resources.push_back(std::move(icon));
  }
  if (branding.version || branding.copyright) {
    const Result<std::array<std::uint16_t, 4>> version =
        ParseVersion(branding.version.value_or(default_version));
    if (!version) return version.AsFailure();
    VersionRecord record{version.Value(), {}};
    if (branding.copyright) {
      Result<std::u16string> copyright = CheckCopyright(*branding.copyright);
      if (!copyright) return copyright.AsFailure();
      record.copyright = std::move(copyright).Value();
    }
    resources.push_back(MemoryResource(pe::kTypeVersion, kVersionId, BuildVersionResource(record)));
  }
  return resources;
}

}  // namespace lantern::pack
