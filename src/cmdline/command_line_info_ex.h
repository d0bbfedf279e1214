// The command-line parser: switches, the path words that take the next token
// as their path, plain tokens such as property assignments, and the quoted
// CFU value that the runtime splits at its spaces.
#pragma once

#include <string>
#include <string_view>

#include "cmdline/string_map.h"
#include "framework/command_line_info.h"
#include "core/ascii_case.h"

namespace lantern {

class CCommandLineInfoEx : public CCommandLineInfo {
 public:
  CCommandLineInfoEx() = default;
  ~CCommandLineInfoEx() override;

  void ParseParam(const wchar_t* token, bool isSwitch, bool isLast) override;

  // True when Values holds `name` with the value TRUE in any case.
  bool HasSwitch(std::wstring_view name) const;
  void SetValue(std::wstring_view name, std::wstring text);

  // Every kept token: a switch with "TRUE", a path word with its path, any
  // other token with the empty text.
  CStringMap<std::wstring> Values;
  // Every token given with a switch prefix; only the presence of a key counts.
  CStringMap<const void*> Switches;
  // A path word waiting for its path.
  std::wstring PendingKey;
  bool InQuotedGroup = false;
  // The tokens of the open CFU value, joined by single spaces.
  std::wstring QuotedGroup;
};

}  // namespace lantern
