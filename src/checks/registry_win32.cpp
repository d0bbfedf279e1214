#include <array>
#include <memory>
#include <string>
#include <type_traits>

#include "checks/machine_win32.h"
#include "framework/unique_handle_win32.h"

namespace lantern {

namespace {

UniqueRegistryKey OpenKey(HKEY root, std::wstring_view key) {
  const std::wstring path(key);
  UniqueRegistryKey opened;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return {};
  return opened;
}

// A value's type and bytes; nothing when the key or the value is missing or
// the value does not fit `N` bytes.
struct Value {
  DWORD type = REG_NONE;
  DWORD size = 0;
};

template <std::size_t N>
std::optional<Value> QueryValue(HKEY root, std::wstring_view key, std::wstring_view name,
                                std::array<BYTE, N>& buffer) {
  const UniqueRegistryKey opened = OpenKey(root, key);
  if (!opened) return std::nullopt;
  const std::wstring value_name(name);
  Value value;
  value.size = static_cast<DWORD>(buffer.size());
  if (RegQueryValueExW(opened.get(), value_name.c_str(), nullptr, &value.type, buffer.data(), &value.size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> Win32Registry::ReadDword(std::wstring_view key, std::wstring_view name) {
  std::array<BYTE, 4> bytes{};
  const std::optional<Value> value = QueryValue(root_, key, name, bytes);
  if (!value) return std::nullopt;
  return DwordFromValue(value->type, std::span<const std::uint8_t>(bytes.data(), value->size));
}

std::optional<std::wstring> Win32Registry::ReadText(std::wstring_view key, std::wstring_view name) {
  std::array<BYTE, kRegistryTextBytes> bytes{};
  const std::optional<Value> value = QueryValue(root_, key, name, bytes);
  if (!value) return std::nullopt;
  return TextFromValue(value->type, std::span<const std::uint8_t>(bytes.data(), value->size));
}

}  // namespace lantern
