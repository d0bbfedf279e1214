// The information block a build can carry at the end of its file: the marker
// "MRDC", the information, and six trailing bytes that are not part of it.
// The bootstrapper copies the information, unread, to "info.xml" in the
// working folder for the front end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace lantern {

// The tail that is read: the bytes from 4,117 before the end of the file up to
// the one before the last. A file must be longer than this to be scanned.
constexpr std::size_t kEmbeddedScanSize = 4116;
constexpr std::size_t kEmbeddedSeekBack = 4117;
constexpr unsigned char kEmbeddedMarker[4] = {'M', 'R', 'D', 'C'};
// The bytes after the information, which are not part of it.
constexpr std::size_t kEmbeddedTrailerSize = 6;
// The most information a block can carry and still be found whole.
constexpr std::size_t kMaxEmbeddedInformation =
    kEmbeddedScanSize - sizeof kEmbeddedMarker - kEmbeddedTrailerSize;
constexpr wchar_t kEmbeddedInfoFileName[] = L"info.xml";

// Where the information lies in the tail (scan buffer offsets).
struct EmbeddedInformation {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// Finds the marker that begins nearest the end of the tail (at buffer
// positions 4111 down to 1) and the information after it, which ends six bytes
// before the end of the file. Nothing when there is no marker or no byte of
// information follows it.
std::optional<EmbeddedInformation> FindEmbeddedInformation(
    std::span<const unsigned char, kEmbeddedScanSize> tail);

}  // namespace lantern
