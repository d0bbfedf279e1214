// A small writer of DER, the other half of der.h: an element from its tag and
// content, with the definite length DER takes, and an object identifier's
// content from its dotted form (arcs of any size, as UUID-based ones have).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lantern::pe::der {

// Appends the tag (one byte: the tags these structures use) and the length
// of an element whose content is `length` bytes long.
void AppendHeader(std::vector<std::uint8_t>& out, std::uint8_t tag, std::size_t length);

// A whole element: its tag, its length and `content`.
std::vector<std::uint8_t> Encode(std::uint8_t tag, std::span<const std::uint8_t> content);

// The content of an OBJECT IDENTIFIER written as `dotted`
// ("2.25.302247809841260939668780919246452456230"); nothing when it is not a
// valid identifier (fewer than two arcs, a first arc above 2, a second above
// 39 under 0 or 1, anything but digits and single dots).
std::optional<std::vector<std::uint8_t>> ObjectIdContent(std::string_view dotted);

}  // namespace lantern::pe::der
