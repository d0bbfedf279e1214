// A program's version record (VS_VERSIONINFO) as the stub carries it: the
// four-part file and product version, and the copyright line, in English
// (United Kingdom). The packing tool writes it; the About box and the tool's
// report read it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lantern {

struct VersionRecord {
  std::array<std::uint16_t, 4> version{};
  std::u16string copyright;
};

// The resource's bytes: fixed file information with the version as file and
// product version, a string block "080904B0" with FileVersion, ProductVersion
// ("a.b.c.d") and LegalCopyright, and the translation 0x0809/1200. The same
// bytes windres writes for those values. Its lengths are 16-bit:
// the copyright must be a line (the About box holds 46 characters), not
// thousands of characters.
std::vector<std::uint8_t> BuildVersionResource(const VersionRecord& record);

// The version from the fixed file information and the LegalCopyright value
// (empty when missing); nothing when the bytes are no version record.
std::optional<VersionRecord> ReadVersionResource(std::span<const std::uint8_t> bytes);

}  // namespace lantern
