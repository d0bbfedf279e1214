#include <array>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>

#include "checks/machine_win32.h"

namespace lantern {

namespace {

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UniqueKey OpenKey(HKEY root, std::wstring_view key) {
  const std::wstring path(key);
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return nullptr;
  return UniqueKey(opened);
}

// The value's bytes into `buffer`; the count read, or nothing when the value
// is missing or does not fit.
template <std::size_t N>
std::optional<DWORD> QueryValue(HKEY root, std::wstring_view key, std::wstring_view name,
                                std::array<BYTE, N>& buffer) {
  const UniqueKey opened = OpenKey(root, key);
  if (!opened) return std::nullopt;
  const std::wstring value_name(name);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (RegQueryValueExW(opened.get(), value_name.c_str(), nullptr, nullptr, buffer.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return size;
}

}  // namespace

std::optional<std::uint32_t> Win32Registry::ReadDword(std::wstring_view key, std::wstring_view name) {
  std::array<BYTE, 4> bytes{};  // a shorter value leaves zeros above its own bytes
  if (!QueryValue(root_, key, name, bytes)) return std::nullopt;
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::optional<std::wstring> Win32Registry::ReadText(std::wstring_view key, std::wstring_view name) {
  std::array<BYTE, kRegistryTextBytes> bytes{};
  const std::optional<DWORD> size = QueryValue(root_, key, name, bytes);
  if (!size) return std::nullopt;
  // A value stored without its terminator ends where its bytes end.
  std::wstring text(*size / sizeof(wchar_t), L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  text.resize(std::wcslen(text.c_str()));
  return text;
}

}  // namespace lantern
