// What the .NET Framework probes read from the machine: a number or a text of
// a key under HKEY_LOCAL_MACHINE, in the view this program's own bitness sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lantern {

// Room for a text value, in bytes, terminator included.
constexpr std::size_t kRegistryTextBytes = 260;

class Registry {
 public:
  virtual ~Registry() = default;
  // The value's bytes as a little-endian number; a value shorter than four
  // bytes is padded with zeros. Nothing when the key or the value cannot be
  // read, or the value is longer than four bytes. Its type is not examined.
  virtual std::optional<std::uint32_t> ReadDword(std::wstring_view key, std::wstring_view name) = 0;
  // The value's text up to its first null character. Nothing when the key or
  // the value cannot be read, or the value does not fit kRegistryTextBytes.
  // Its type is not examined.
  virtual std::optional<std::wstring> ReadText(std::wstring_view key, std::wstring_view name) = 0;
};

}  // namespace lantern
