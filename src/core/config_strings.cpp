// Readings of the build's configuration strings: text, flag, number, format.
#include "core/config_strings.h"

#include <limits>

namespace lantern {

std::wstring LoadConfigString(const StringTable& table, unsigned id) { return table.Find(id).value_or(L""); }

bool ReadConfigFlag(std::wstring_view text) { return text != L"0"; }

std::int32_t ReadConfigNumber(std::wstring_view text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();

  // White space as the C locale knows it.
  std::size_t at = 0;
  while (at < text.size() && (text[at] == L' ' || (text[at] >= L'\t' && text[at] <= L'\r'))) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
    negative = text[at] == L'-';
    ++at;
  }
  // Accumulated as a magnitude that stops growing once it is out of range, so
  // a long run of digits cannot overflow.
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    if (magnitude <= kMax + 1) {
      magnitude = magnitude * 10 + (text[at] - L'0');
    }
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(value > kMax ? kMax : value < kMin ? kMin : value);
}

ResultCode FormatConfigStringArgs(const StringTable& table, unsigned id, std::wstring& out,
                                  std::span<const FormatArg> args) {
  out.clear();
  const std::optional<std::wstring> format = table.Find(id);
  if (!format) {
    return rc::Fail;
  }
  out = FormatText(*format, args);
  return rc::Ok;
}

}  // namespace lantern
