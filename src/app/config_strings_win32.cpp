// Reads string-table resources directly, so that an entry of any length comes
// back whole and a missing entry can be told from a present one.
#include "app/config_strings_win32.h"

namespace lantern {

std::optional<std::wstring> ResourceStringTable::Find(unsigned id) const {
  if (id > 0xFFFF) {
    return std::nullopt;
  }
  // Entries live in blocks of 16: block n + 1 holds ids 16n to 16n + 15.
  const auto block = MAKEINTRESOURCEW(id / 16 + 1);
  HRSRC info = FindResourceExW(module_, RT_STRING, block, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
  if (!info) {
    info = FindResourceW(module_, block, RT_STRING);
  }
  if (!info) {
    return std::nullopt;
  }
  // Resource memory belongs to the module: nothing to free.
  const HGLOBAL loaded = LoadResource(module_, info);
  const auto* data = static_cast<const WCHAR*>(loaded ? LockResource(loaded) : nullptr);
  if (!data) {
    return std::nullopt;
  }
  const std::size_t units = SizeofResource(module_, info) / sizeof(WCHAR);

  // Sixteen counted texts in a row, without terminators.
  std::size_t at = 0;
  for (unsigned index = 0; index < 16; ++index) {
    if (at >= units) {
      return std::nullopt;  // a short block: the entry is not there
    }
    const std::size_t length = data[at++];
    if (length > units - at) {
      return std::nullopt;  // a count that runs past the block
    }
    if (index == id % 16) {
      // A zero-length entry is how the format writes a missing one.
      if (length == 0) {
        return std::nullopt;
      }
      return std::wstring(reinterpret_cast<const wchar_t*>(data + at), length);
    }
    at += length;
  }
  return std::nullopt;
}

}  // namespace lantern
