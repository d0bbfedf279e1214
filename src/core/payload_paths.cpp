#include "core/payload_paths.h"

#include <algorithm>

#include "core/ascii_case.h"

namespace lantern {

std::optional<std::wstring> JoinPath(std::wstring_view folder, std::wstring_view name, std::size_t room) {
  while (!name.empty() && name.front() == L'\\') name.remove_prefix(1);
  std::wstring path(folder);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += name;
  if (path.size() + 1 > room) return std::nullopt;
  return path;
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters Windows refuses in a name, and the colon of drives and streams.
bool IsRefusedCharacter(wchar_t c) {
  return c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|';
}

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

std::optional<std::wstring> NormalisePayloadName(std::wstring_view name) {
  std::vector<std::wstring> parts;
  std::size_t at = 0;
  bool ends_with_separator = false;
  while (at < name.size()) {
    if (IsSeparator(name[at])) {
      ++at;
      ends_with_separator = true;
      continue;
    }
    ends_with_separator = false;
    const std::size_t end =
        std::find_if(name.begin() + static_cast<std::ptrdiff_t>(at), name.end(), IsSeparator) - name.begin();
    std::wstring_view part = name.substr(at, end - at);
    at = end;
    if (std::ranges::any_of(part, IsRefusedCharacter)) return std::nullopt;
    if (part == L".") continue;
    if (part == L"..") {
      if (parts.empty()) return std::nullopt;  // above the working folder
      parts.pop_back();
      continue;
    }
    // Windows drops the dots and spaces a part ends with; a part of nothing
    // else ("...", ". .") is no name it would keep.
    const std::size_t kept = part.find_last_not_of(L". ");
    if (kept == std::wstring_view::npos) return std::nullopt;
    part = part.substr(0, kept + 1);
    if (IsDeviceName(part)) return std::nullopt;
    parts.emplace_back(part);
  }
  // A name must end in a file: "sub\" names a folder, "." or "" nothing.
  if (parts.empty() || ends_with_separator) return std::nullopt;
  std::wstring normalised;
  for (const std::wstring& part : parts) {
    if (!normalised.empty()) normalised += L'\\';
    normalised += part;
  }
  return normalised;
}

std::vector<std::wstring> PayloadNameParts(std::wstring_view normalised) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  while (start <= normalised.size()) {
    const std::size_t end = normalised.find(L'\\', start);
    if (end == std::wstring_view::npos) {
      if (start < normalised.size()) parts.emplace_back(normalised.substr(start));
      break;
    }
    if (end > start) parts.emplace_back(normalised.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace lantern
