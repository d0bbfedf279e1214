#include "core/version_resource.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace lantern {
namespace {

// Every block of the record starts with its length in bytes, its value's
// length and its kind (0 binary, 1 text), then its key as UTF-16 text with a
// terminator; the value and each child start on a 32-bit boundary.
constexpr std::size_t kBlockHeader = 6;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;      // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t kFileOs = 0x00040004;       // VOS_NT_WINDOWS32
constexpr std::uint32_t kFileTypeApp = 1;           // VFT_APP
constexpr std::uint32_t kTranslation = 0x04B00809;  // English (United Kingdom), UTF-16
constexpr std::u16string_view kStringBlock = u"080904B0";

class RecordWriter {
 public:
  // Starts a block; its length is set by End().
  std::size_t Begin(std::u16string_view key, std::uint16_t value_length, std::uint16_t type) {
    Align();
    const std::size_t start = bytes_.size();
    Put16(0);
    Put16(value_length);
    Put16(type);
    PutText(key);
    Align();
    return start;
  }
  void End(std::size_t start) {
    const auto length = static_cast<std::uint16_t>(bytes_.size() - start);
    bytes_[start] = static_cast<std::uint8_t>(length);
    bytes_[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }
  void Put16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void Put32(std::uint32_t value) {
    Put16(static_cast<std::uint16_t>(value));
    Put16(static_cast<std::uint16_t>(value >> 16));
  }
  // UTF-16 text and its terminator.
  void PutText(std::u16string_view text) {
    for (const char16_t unit : text) Put16(unit);
    Put16(0);
  }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

void PutString(RecordWriter& out, std::u16string_view key, std::u16string_view value) {
  const std::size_t block = out.Begin(key, static_cast<std::uint16_t>(value.size() + 1), 1);
  out.PutText(value);
  out.End(block);
}

std::u16string VersionText(const std::array<std::uint16_t, 4>& version) {
  std::string text;
  for (std::size_t i = 0; i < version.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(version[i]);
  }
  return std::u16string(text.begin(), text.end());
}

// One block of the record, its bounds checked against the bytes around it.
struct Block {
  std::u16string key;
  std::span<const std::uint8_t> value;     // from the value's start to the block's end
  std::span<const std::uint8_t> children;  // after the value, aligned
  std::uint16_t value_length = 0;
};

std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return Get16(bytes, at) | (static_cast<std::uint32_t>(Get16(bytes, at + 2)) << 16);
}

std::size_t Aligned(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// The block at `at` in `record`, which must end by `end`; nothing when its
// length or key runs past that. Alignment counts from the record's start.
// The value length counts bytes for a binary value and UTF-16 units for text.
std::optional<Block> ReadBlock(std::span<const std::uint8_t> record, std::size_t at, std::size_t end) {
  if (at > end || end - at < kBlockHeader) return std::nullopt;
  const std::size_t length = Get16(record, at);
  if (length < kBlockHeader || length > end - at) return std::nullopt;
  const std::size_t block_end = at + length;
  Block out;
  out.value_length = Get16(record, at + 2);
  const bool binary = Get16(record, at + 4) == 0;
  std::size_t cursor = at + kBlockHeader;
  for (;; cursor += 2) {
    if (cursor + 2 > block_end) return std::nullopt;
    const char16_t unit = Get16(record, cursor);
    if (unit == 0) break;
    out.key.push_back(unit);
  }
  const std::size_t value_at = std::min(Aligned(cursor + 2), block_end);
  out.value = record.subspan(value_at, block_end - value_at);
  const std::size_t value_size = binary ? out.value_length : std::size_t{out.value_length} * 2;
  if (value_size > out.value.size()) {
    if (binary) return std::nullopt;  // the fixed file information must be there whole
    return out;                       // a text value that overruns its block has no children after it
  }
  const std::size_t children_at = std::min(Aligned(value_at + value_size), block_end);
  out.children = record.subspan(children_at, block_end - children_at);
  return out;
}

// The children of a block that lie wholly within it, in order. Whatever
// does not parse ends the list.
template <typename Visit>
void ForEachChild(std::span<const std::uint8_t> record, std::span<const std::uint8_t> children, Visit visit) {
  if (children.empty()) return;
  std::size_t at = static_cast<std::size_t>(children.data() - record.data());
  const std::size_t end = at + children.size();
  while (at < end) {
    const std::optional<Block> child = ReadBlock(record, at, end);
    if (!child || !visit(*child)) return;
    at = Aligned(at + Get16(record, at));
  }
}

bool SameAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - u'a' + u'A');
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - u'a' + u'A');
    if (x != y) return false;
  }
  return true;
}

// A text value up to its terminator or its block's end: compilers do not
// agree on whether the value length counts the terminator, or is zero for
// an empty text.
std::u16string TextValue(std::span<const std::uint8_t> value) {
  std::u16string text;
  for (std::size_t at = 0; at + 2 <= value.size(); at += 2) {
    const char16_t unit = Get16(value, at);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace

std::vector<std::uint8_t> BuildVersionResource(const VersionRecord& record) {
  const auto& v = record.version;
  const std::uint32_t ms = (static_cast<std::uint32_t>(v[0]) << 16) | v[1];
  const std::uint32_t ls = (static_cast<std::uint32_t>(v[2]) << 16) | v[3];
  const std::u16string version_text = VersionText(v);

  RecordWriter out;
  const std::size_t root = out.Begin(u"VS_VERSION_INFO", kFixedInfoSize, 0);
  for (const std::uint32_t field :
       {kFixedInfoSignature, kFixedInfoStructVersion, ms, ls, ms, ls, kFileFlagsMask, std::uint32_t{0},
        kFileOs, kFileTypeApp, std::uint32_t{0}, std::uint32_t{0}, std::uint32_t{0}}) {
    out.Put32(field);
  }

  const std::size_t file_info = out.Begin(u"StringFileInfo", 0, 1);
  const std::size_t table = out.Begin(kStringBlock, 0, 1);
  PutString(out, u"FileVersion", version_text);
  PutString(out, u"ProductVersion", version_text);
  PutString(out, u"LegalCopyright", record.copyright);
  out.End(table);
  out.End(file_info);

  const std::size_t var_info = out.Begin(u"VarFileInfo", 0, 1);
  const std::size_t translation = out.Begin(u"Translation", 4, 0);
  out.Put32(kTranslation);
  out.End(translation);
  out.End(var_info);
  out.End(root);
  return out.Take();
}

std::optional<VersionRecord> ReadVersionResource(std::span<const std::uint8_t> bytes) {
  const std::optional<Block> root = ReadBlock(bytes, 0, bytes.size());
  if (!root || root->key != u"VS_VERSION_INFO" || root->value_length < kFixedInfoSize ||
      root->value.size() < kFixedInfoSize || Get32(root->value, 0) != kFixedInfoSignature) {
    return std::nullopt;
  }
  VersionRecord record;
  const std::uint32_t ms = Get32(root->value, 8);
  const std::uint32_t ls = Get32(root->value, 12);
  record.version = {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
                    static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};

  // The copyright of the English (United Kingdom) string table, or of the
  // first table that has one when there is none in that language.
  std::optional<std::u16string> preferred, first;
  ForEachChild(bytes, root->children, [&](const Block& info) {
    if (info.key != u"StringFileInfo") return true;
    ForEachChild(bytes, info.children, [&](const Block& table) {
      ForEachChild(bytes, table.children, [&](const Block& entry) {
        if (!SameAsciiCase(entry.key, u"LegalCopyright")) return true;
        std::u16string text = TextValue(entry.value);
        if (!first) first = text;
        if (SameAsciiCase(table.key, kStringBlock) && !preferred) preferred = std::move(text);
        return false;
      });
      return true;
    });
    return true;
  });
  record.copyright = preferred ? *preferred : first.value_or(u"");
  return record;
}

}  // namespace lantern
