#include "cmdline/command_line_info_ex.h"

namespace lantern {
namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsPathWord(std::wstring_view token) {
  return EqualsNoCase(token, L"temp") || EqualsNoCase(token, L"extract") || EqualsNoCase(token, L"log");
}

}  // namespace

CCommandLineInfoEx::~CCommandLineInfoEx() = default;

void CCommandLineInfoEx::ParseParam(const wchar_t* token, bool isSwitch, bool isLast) {
  const std::wstring_view text(token ? token : L"");
  if (isSwitch) {
    Values.Set(text, L"TRUE");
    Switches.Set(text, nullptr);
    PendingKey.clear();
  } else if (IsPathWord(text) && !isLast && !InQuotedGroup) {
    PendingKey = text;  // stored once its path arrives
  } else {
    if (StartsWithNoCase(text, L"CFU=\"")) {
      InQuotedGroup = true;
      QuotedGroup.clear();
    }
    if (InQuotedGroup) {
      if (!QuotedGroup.empty()) {
        QuotedGroup += L' ';
      }
      QuotedGroup += text;
      if (!text.empty() && text.back() == L'"') {
        InQuotedGroup = false;
        Values.Set(QuotedGroup, std::wstring());
      }
    } else {
      if (!PendingKey.empty()) {
        Values.Set(PendingKey, std::wstring(text));
      } else {
        Values.Set(text, std::wstring());
      }
      PendingKey.clear();
    }
  }
  CCommandLineInfo::ParseParam(token, isSwitch, isLast);
}

bool CCommandLineInfoEx::HasSwitch(std::wstring_view name) const {
  const std::wstring* value = Values.Lookup(name);
  return value != nullptr && EqualsNoCase(*value, L"TRUE");
}

void CCommandLineInfoEx::SetValue(std::wstring_view name, std::wstring text) {
  Values.Set(name, std::move(text));
}

}  // namespace lantern
