// The build's configuration strings where there are no Windows resources: the
// default entries, made into data from the same list the resource script is.
#include <algorithm>
#include <iterator>

#include "app/built_in_strings.h"

namespace lantern {
namespace {

struct DefaultString {
  unsigned id;
  const wchar_t* text;
};

constexpr DefaultString kDefaultStrings[] = {
#include "default_strings.inc"
};

}  // namespace

std::optional<std::wstring> BuiltInStringTable::Find(unsigned id) const {
  const auto entry = std::find_if(std::begin(kDefaultStrings), std::end(kDefaultStrings),
                                  [id](const DefaultString& s) { return s.id == id; });
  // An empty entry reads as missing, as it does from a string-table resource.
  if (entry == std::end(kDefaultStrings) || entry->text[0] == L'\0') {
    return std::nullopt;
  }
  return std::wstring(entry->text);
}

}  // namespace lantern
