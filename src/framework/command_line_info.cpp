#include "framework/command_line_info.h"

namespace lantern {

CCommandLineInfo::~CCommandLineInfo() = default;

void CCommandLineInfo::ParseParam(const wchar_t* /*token*/, bool /*isSwitch*/, bool /*isLast*/) {}

void ParseCommandLine(const std::vector<std::wstring>& tokens, CCommandLineInfo& info) {
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::wstring& token = tokens[i];
    const bool is_switch = !token.empty() && (token[0] == L'/' || token[0] == L'-');
    info.ParseParam(token.c_str() + (is_switch ? 1 : 0), is_switch, i + 1 == tokens.size());
  }
}

}  // namespace lantern
