#include "payload/payload_paths.h"

namespace lantern {

std::optional<std::wstring> JoinPath(std::wstring_view folder, std::wstring_view name, std::size_t room) {
  while (!name.empty() && name.front() == L'\\') name.remove_prefix(1);
  std::wstring path(folder);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += name;
  if (path.size() + 1 > room) return std::nullopt;
  return path;
}

bool IsNameInsideFolder(std::wstring_view name) {
  if (name.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find(L'\\', start);
    const std::wstring_view part = name.substr(start, end == std::wstring_view::npos ? end : end - start);
    if (part.empty()) return false;
    // Windows drops trailing dots and spaces, so ". ." or "..." could still
    // climb out of the folder.
    if (part.find_first_not_of(L". ") == std::wstring_view::npos) return false;
    for (const wchar_t c : part) {
      if (c < 0x20 || c == L':' || c == L'/') return false;
    }
    if (end == std::wstring_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace lantern
