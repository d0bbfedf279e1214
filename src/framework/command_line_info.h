// The framework's command-line class: the start-up hands each argument token to
// ParseParam, telling whether it carried a switch prefix and whether it is the last.
#pragma once

#include <string>
#include <vector>

namespace lantern {

class CCommandLineInfo {
 public:
  CCommandLineInfo() = default;
  CCommandLineInfo(const CCommandLineInfo&) = delete;
  CCommandLineInfo& operator=(const CCommandLineInfo&) = delete;
  virtual ~CCommandLineInfo();

  // `token` is without its switch prefix. The base keeps no record of it.
  virtual void ParseParam(const wchar_t* token, bool isSwitch, bool isLast);
};

// Feeds `tokens` (argument 0 already left out) to `info` in order. A token
// whose first character is '/' or '-' is a switch, and that one character is
// removed.
void ParseCommandLine(const std::vector<std::wstring>& tokens, CCommandLineInfo& info);

}  // namespace lantern
