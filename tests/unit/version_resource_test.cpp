// The version record: written and read back, its layout as the system's
// version functions walk it, and whatever bytes a file holds in its place.
#include "core/version_resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace lantern {
namespace {

std::uint16_t U16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return U16(bytes, at) | (static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16);
}

void Set16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Where `key` (as UTF-16 with its terminator) starts in `bytes`, minus the
// block header before it: the start of its block.
std::size_t BlockOf(const std::vector<std::uint8_t>& bytes, std::u16string_view key) {
  std::vector<std::uint8_t> pattern;
  for (const char16_t unit : key) {
    pattern.push_back(static_cast<std::uint8_t>(unit));
    pattern.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  pattern.push_back(0);
  pattern.push_back(0);
  const auto found = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
  if (found == bytes.end()) return std::string::npos;
  return static_cast<std::size_t>(found - bytes.begin()) - 6;
}

TEST(VersionResource, ReadsBackWhatItWrites) {
  const VersionRecord records[] = {
      {{0, 0, 0, 0}, u""},
      {{1, 2, 0, 15}, u"Copyright (C) 2026 Vantrel"},
      {{65535, 65535, 65535, 65535}, u"© 2026 Vantrel \"Test\" Builds & Sons of Lantern"},
      {{3, 1, 4, 15}, u"Odd length\U0001F600"},  // a surrogate pair; the value ends off a 32-bit boundary
  };
  for (const VersionRecord& record : records) {
    const std::vector<std::uint8_t> bytes = BuildVersionResource(record);
    const std::optional<VersionRecord> read = ReadVersionResource(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->version, record.version);
    EXPECT_EQ(read->copyright, record.copyright);
    // Padding after the record, as a resource's size may hold, changes nothing.
    std::vector<std::uint8_t> padded = bytes;
    padded.resize(bytes.size() + 7, 0xCC);
    EXPECT_EQ(ReadVersionResource(padded)->copyright, record.copyright);
  }
}

TEST(VersionResource, LaysOutTheBlocksAsTheVersionFunctionsWalkThem) {
  const std::vector<std::uint8_t> bytes = BuildVersionResource({{1, 2, 3, 4}, u"Vantrel"});
  // The record: its length is the whole, its value the fixed file information.
  EXPECT_EQ(U16(bytes, 0), bytes.size());
  EXPECT_EQ(U16(bytes, 2), 52u);
  EXPECT_EQ(U16(bytes, 4), 0u);
  EXPECT_EQ(BlockOf(bytes, u"VS_VERSION_INFO"), 0u);
  const std::size_t fixed = 40;  // 6 + 32 bytes of key, aligned
  EXPECT_EQ(U32(bytes, fixed), 0xFEEF04BDu);
  EXPECT_EQ(U32(bytes, fixed + 8), 0x00010002u);  // file version
  EXPECT_EQ(U32(bytes, fixed + 12), 0x00030004u);
  EXPECT_EQ(U32(bytes, fixed + 16), 0x00010002u);  // product version
  EXPECT_EQ(U32(bytes, fixed + 20), 0x00030004u);
  EXPECT_EQ(U32(bytes, fixed + 32), 0x00040004u);  // VOS_NT_WINDOWS32
  EXPECT_EQ(U32(bytes, fixed + 36), 1u);           // VFT_APP

  // Every block starts on a 32-bit boundary and ends within its parent.
  const struct {
    std::u16string_view key, parent;
    std::uint16_t value_length, type;
  } blocks[] = {
      {u"StringFileInfo", u"VS_VERSION_INFO", 0, 1}, {u"080904B0", u"StringFileInfo", 0, 1},
      {u"FileVersion", u"080904B0", 8, 1},           {u"ProductVersion", u"080904B0", 8, 1},
      {u"LegalCopyright", u"080904B0", 8, 1},        {u"VarFileInfo", u"VS_VERSION_INFO", 0, 1},
      {u"Translation", u"VarFileInfo", 4, 0},
  };
  for (const auto& block : blocks) {
    SCOPED_TRACE(std::string(block.key.begin(), block.key.end()));
    const std::size_t at = BlockOf(bytes, block.key);
    const std::size_t parent = BlockOf(bytes, block.parent);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(at % 4, 0u);
    EXPECT_GT(at, parent);
    EXPECT_LE(at + U16(bytes, at), parent + U16(bytes, parent));
    EXPECT_EQ(U16(bytes, at + 2), block.value_length);
    EXPECT_EQ(U16(bytes, at + 4), block.type);
  }
  const std::size_t translation = BlockOf(bytes, u"Translation");
  EXPECT_EQ(U32(bytes, translation + U16(bytes, translation) - 4), 0x04B00809u);
  EXPECT_EQ(translation + U16(bytes, translation), bytes.size());
}

// Hand-made records: the copyright of another language, none at all.
TEST(VersionResource, TakesTheCopyrightOfTheUkTableOrTheFirstThereIs) {
  std::vector<std::uint8_t> bytes = BuildVersionResource({{1, 0, 0, 0}, u"UK line"});
  std::vector<std::uint8_t> other = bytes;
  const std::size_t table = BlockOf(other, u"080904B0");
  for (std::size_t i = 0; i < 8; ++i) Set16(other, table + 6 + 2 * i, u"040904B0"[i]);
  EXPECT_EQ(ReadVersionResource(other)->copyright, u"UK line");

  std::vector<std::uint8_t> lower = bytes;
  Set16(lower, BlockOf(lower, u"080904B0") + 6 + 2 * 7, u'b');  // "080904Bb": keys are matched ignoring case
  EXPECT_EQ(ReadVersionResource(lower)->copyright, u"UK line");

  std::vector<std::uint8_t> none = bytes;
  Set16(none, BlockOf(none, u"LegalCopyright") + 6, u'X');
  const std::optional<VersionRecord> read = ReadVersionResource(none);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->version, (std::array<std::uint16_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(read->copyright, u"");
}

TEST(VersionResource, RefusesWhatIsNoVersionRecord) {
  const std::vector<std::uint8_t> good = BuildVersionResource({{9, 8, 7, 6}, u"Copyright (C) Unit Tests"});
  EXPECT_FALSE(ReadVersionResource({}).has_value());
  // Cut anywhere: the record's length runs past the bytes.
  for (std::size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(ReadVersionResource(std::span(good).first(size)).has_value()) << size;
  }
  std::vector<std::uint8_t> signature = good;
  signature[40] ^= 1;
  EXPECT_FALSE(ReadVersionResource(signature).has_value());
  std::vector<std::uint8_t> key = good;
  key[6] = 'v';
  EXPECT_FALSE(ReadVersionResource(key).has_value());
  std::vector<std::uint8_t> short_value = good;
  Set16(short_value, 2, 20);
  EXPECT_FALSE(ReadVersionResource(short_value).has_value());
}

// Any bytes, as a file may hold them: never a read outside them (the
// sanitizers see to that), and the version wherever the fixed part is whole.
TEST(VersionResource, SurvivesAnyByteChanged) {
  const std::vector<std::uint8_t> good = BuildVersionResource({{9, 8, 7, 6}, u"Copyright (C) Unit Tests"});
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (const std::uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
      std::vector<std::uint8_t> bytes = good;
      bytes[at] = value;
      const std::optional<VersionRecord> read = ReadVersionResource(bytes);
      if (!read || (at >= 48 && at < 56)) continue;  // the version's own bytes
      EXPECT_EQ(read->version, (std::array<std::uint16_t, 4>{9, 8, 7, 6})) << at;
    }
  }
  // Lengths that shrink each block to every size it could claim.
  for (const std::u16string_view key : {u"StringFileInfo", u"080904B0", u"LegalCopyright"}) {
    const std::size_t at = BlockOf(good, key);
    for (std::uint16_t length = 0; length <= U16(good, at) + 8; ++length) {
      std::vector<std::uint8_t> bytes = good;
      Set16(bytes, at, length);
      const std::optional<VersionRecord> read = ReadVersionResource(bytes);
      ASSERT_TRUE(read.has_value());
      // Cut short at most, never read from beyond its block.
      EXPECT_TRUE(std::u16string_view(u"Copyright (C) Unit Tests").starts_with(read->copyright));
    }
  }
  std::uint32_t state = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> bytes(state % 300);
    for (std::uint8_t& byte : bytes) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<std::uint8_t>(state >> 16);
    }
    if (bytes.size() >= 2) Set16(bytes, 0, static_cast<std::uint16_t>(bytes.size()));
    (void)ReadVersionResource(bytes);
  }
}

}  // namespace
}  // namespace lantern
