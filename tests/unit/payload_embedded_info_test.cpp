// Where the information block lies in the tail of a file: the marker nearest
// the end, the information up to six bytes before the end.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "core/embedded_info.h"

namespace lantern {
namespace {

using Tail = std::array<unsigned char, kEmbeddedScanSize>;

// A tail with the marker beginning `from_end` bytes before the end of the
// file; the tail is the file's bytes from 4,117 before its end up to the one
// before the last.
void PutMarker(Tail& tail, std::size_t from_end) {
  std::memcpy(tail.data() + (kEmbeddedSeekBack - from_end), "MRDC", 4);
}

TEST(FindEmbeddedInformation, TakesTheInformationBetweenTheMarkerAndTheSixLastBytes) {
  const struct {
    std::size_t marker_from_end;
    std::size_t size;  // 0: nothing found
  } cases[] = {
      {4116, 4106},                                                    // the largest block
      {4117, 0},                                                       // before the window
      {1000, 990},  {11, 1}, {10, 0}, {9, 0}, {8, 0}, {7, 0}, {6, 0},  // found, but nothing follows it
      {5, 0},  // the marker would reach the last byte, which is never read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.marker_from_end);
    Tail tail{};
    PutMarker(tail, c.marker_from_end);
    const auto found = FindEmbeddedInformation(tail);
    if (c.size == 0) {
      EXPECT_FALSE(found.has_value());
    } else {
      ASSERT_TRUE(found.has_value());
      EXPECT_EQ(found->size, c.size);
      EXPECT_EQ(found->offset, kEmbeddedSeekBack - c.marker_from_end + 4);
      EXPECT_EQ(found->offset + found->size, kEmbeddedScanSize - 5);
    }
  }
}

TEST(FindEmbeddedInformation, TheMarkerNearestTheEndWins) {
  Tail tail{};
  PutMarker(tail, 3000);
  PutMarker(tail, 100);
  const auto found = FindEmbeddedInformation(tail);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->size, 90u);
}

TEST(FindEmbeddedInformation, NoMarkerNoInformation) {
  Tail tail;
  tail.fill('M');
  EXPECT_FALSE(FindEmbeddedInformation(tail).has_value());
}

}  // namespace
}  // namespace lantern
