// The parser's map: its hash and chain order decide the order of the front
// end's arguments, so they are pinned to known values here.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cmdline/string_map.h"

namespace lantern {
namespace {

using Entries = std::vector<std::pair<std::wstring, std::wstring>>;

Entries InOrder(const CStringMap<std::wstring>& map) {
  Entries entries;
  map.ForEach([&](const std::wstring& key, const std::wstring& value) { entries.emplace_back(key, value); });
  return entries;
}

TEST(HashStringKey, KnownValues) {
  const struct {
    std::wstring key;
    std::uint32_t hash;
  } cases[] = {
      {L"", 0x811C9DC5u},
      {L"log", 0x2081B4F5u},
      {L"IAgreeToTheEULA", 0xE9A04FADu},
      {L"VT_PFUR_ENABLED=1", 0xD44F7D3Fu},
      {L"ABCDEFGHI", 0xA82C2846u},                  // nine units: every one counts
      {L"ABCDEFGHIJ", 0x8A0678EEu},                 // ten: every second one
      {L"ABCDEFGHIJKLMNOPQRSTUVWXY", 0x6F1B505Eu},  // twenty-five: every third one
      {L"a\U0001F600b", 0x8156575Du},               // the emoji counts as two units
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HashStringKey(c.key), c.hash) << testing::PrintToString(c.key);
  }
}

TEST(HashStringKey, LongKeysSkipUnits) {
  // With a step of 2, the unit at index 1 takes no part.
  EXPECT_EQ(HashStringKey(L"ABCDEFGHIJ"), HashStringKey(L"AXCDEFGHIJ"));
  EXPECT_NE(HashStringKey(L"ABCDEFGHIJ"), HashStringKey(L"ABXDEFGHIJ"));
}

TEST(CStringMap, WalksBucketsInOrder) {
  // Buckets 8, 16 and 3.
  CStringMap<std::wstring> map;
  map.Set(L"log", L"c:\\log.txt");
  map.Set(L"IAgreeToTheEULA", L"TRUE");
  map.Set(L"VT_PFUR_ENABLED=1", L"");
  EXPECT_EQ(InOrder(map),
            (Entries{{L"VT_PFUR_ENABLED=1", L""}, {L"log", L"c:\\log.txt"}, {L"IAgreeToTheEULA", L"TRUE"}}));
}

// keep, A=34 and A=43 share bucket 5.
class SharedBucket : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CStringMap<std::wstring>::BucketOf(L"keep"), 5u);
    ASSERT_EQ(CStringMap<std::wstring>::BucketOf(L"A=34"), 5u);
    ASSERT_EQ(CStringMap<std::wstring>::BucketOf(L"A=43"), 5u);
    map_.Set(L"keep", L"TRUE");
    map_.Set(L"A=34", L"");
    map_.Set(L"A=43", L"");
  }
  CStringMap<std::wstring> map_;
};

TEST_F(SharedBucket, NewestFirst) {
  EXPECT_EQ(InOrder(map_), (Entries{{L"A=43", L""}, {L"A=34", L""}, {L"keep", L"TRUE"}}));
  EXPECT_EQ(map_.Count(), 3u);
}

TEST_F(SharedBucket, ReplacingKeepsThePlace) {
  map_.Set(L"keep", L"c:\\x");
  EXPECT_EQ(InOrder(map_), (Entries{{L"A=43", L""}, {L"A=34", L""}, {L"keep", L"c:\\x"}}));
  EXPECT_EQ(map_.Count(), 3u);
}

TEST_F(SharedBucket, RemovingUnlinksOnlyThatKey) {
  EXPECT_TRUE(map_.Remove(L"A=34"));
  EXPECT_FALSE(map_.Remove(L"A=34"));
  EXPECT_FALSE(map_.Remove(L"KEEP"));
  EXPECT_EQ(InOrder(map_), (Entries{{L"A=43", L""}, {L"keep", L"TRUE"}}));
  EXPECT_EQ(map_.Count(), 2u);

  map_.Set(L"A=34", L"again");  // back at the head
  EXPECT_EQ(InOrder(map_), (Entries{{L"A=34", L"again"}, {L"A=43", L""}, {L"keep", L"TRUE"}}));
}

TEST(CStringMap, KeysAreCaseSensitiveAndComparedWhole) {
  CStringMap<std::wstring> map;
  map.Set(L"log", L"lower");
  map.Set(L"ABCDEFGHIJ", L"first");
  EXPECT_EQ(map.Lookup(L"LOG"), nullptr);
  // Same hash, different key.
  EXPECT_EQ(map.Lookup(L"AXCDEFGHIJ"), nullptr);
  map.Set(L"AXCDEFGHIJ", L"second");
  ASSERT_NE(map.Lookup(L"ABCDEFGHIJ"), nullptr);
  EXPECT_EQ(*map.Lookup(L"ABCDEFGHIJ"), L"first");
  EXPECT_EQ(*map.Lookup(L"AXCDEFGHIJ"), L"second");
  EXPECT_EQ(map.Count(), 3u);
}

TEST(CStringMap, EmptyMap) {
  const CStringMap<const void*> map;
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_FALSE(map.Contains(L""));
  int visits = 0;
  map.ForEach([&](const std::wstring&, const void*) { ++visits; });
  EXPECT_EQ(visits, 0);
}

}  // namespace
}  // namespace lantern
