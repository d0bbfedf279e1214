#include "payload/payload_paths.h"

#include <algorithm>

#include "text/ascii_case.h"

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

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (also with an extension
// or trailing spaces), CONIN$ and CONOUT$: a path ending in one of them opens
// the device.
bool IsDeviceName(std::wstring_view part) {
  std::wstring base = LowerAscii(part.substr(0, part.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  if (base == L"con" || base == L"prn" || base == L"aux" || base == L"nul" || base == L"conin$" ||
      base == L"conout$") {
    return true;
  }
  return base.size() == 4 && (base.starts_with(L"com") || base.starts_with(L"lpt")) && base[3] >= L'1' &&
         base[3] <= L'9';
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
