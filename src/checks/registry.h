// What the .NET Framework probes read from the machine: a number or a text of
// a key under HKEY_LOCAL_MACHINE, in the view this program's own bitness sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lantern {

// Room for a text value, in bytes, terminator included.
constexpr std::size_t kRegistryTextBytes = 260;

// The registry's value types that the probes take (the system's numbers).
namespace registry_type {
constexpr std::uint32_t Text = 1;   // REG_SZ
constexpr std::uint32_t Dword = 4;  // REG_DWORD
}  // namespace registry_type

class Registry {
 public:
  virtual ~Registry() = default;
  // A REG_DWORD value. Nothing when the key or the value cannot be read, or
  // the value is of another type: a text "1" is not the number 1.
  virtual std::optional<std::uint32_t> ReadDword(std::wstring_view key, std::wstring_view name) = 0;
  // A REG_SZ value's text up to its first null character. Nothing when the
  // key or the value cannot be read, the value does not fit
  // kRegistryTextBytes, or it is of another type.
  virtual std::optional<std::wstring> ReadText(std::wstring_view key, std::wstring_view name) = 0;
};

// A value's bytes as the registry gave them, read as a REG_DWORD: its bytes
// as a little-endian number (a value shorter than four bytes is padded with
// zeros). Nothing for another type or more than four bytes.
std::optional<std::uint32_t> DwordFromValue(std::uint32_t type, std::span<const std::uint8_t> bytes);

// A value's bytes read as a REG_SZ: UTF-16 up to the first null character or
// the end of the bytes (a text stored without its terminator). Nothing for
// another type.
std::optional<std::wstring> TextFromValue(std::uint32_t type, std::span<const std::uint8_t> bytes);

}  // namespace lantern
