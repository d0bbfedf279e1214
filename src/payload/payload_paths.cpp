#include "payload/payload_paths.h"

#include "text/ascii_case.h"

namespace lantern {

namespace {

// Windows opens a device, not a file, for these names in any folder, with any
// extension and trailing spaces: the payload would go to a port, the console
// or nowhere.
bool IsDeviceName(std::wstring_view part) {
  std::wstring_view base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  const std::wstring lower = LowerAscii(base);
  for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"}) {
    if (lower == device) return true;
  }
  if (lower.size() == 4 && (lower.starts_with(L"com") || lower.starts_with(L"lpt"))) {
    const wchar_t n = lower[3];
    return (n >= L'0' && n <= L'9') || n == L'\u00B9' || n == L'\u00B2' || n == L'\u00B3';
  }
  return false;
}

}  // namespace

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
    if (IsDeviceName(part)) return false;
    if (end == std::wstring_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace lantern
