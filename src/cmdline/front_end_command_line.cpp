#include "cmdline/front_end_command_line.h"

#include <cstddef>

namespace lantern {

void BuildFrontEndCommandLine(const CCommandLineInfoEx& parser, std::wstring_view installer_name,
                              std::wstring& out) {
  std::wstring text;
  parser.Values.ForEach([&parser, &text](const std::wstring& key, const std::wstring& value) {
    if (value.empty()) {
      text += QuoteArgument(key);
    } else if (EqualsNoCase(value, L"TRUE") && parser.Switches.Contains(key)) {
      // Only a switch is passed bare: a path that reads "true" is still a path.
      text += QuoteArgument(L"/" + key);
    } else {
      text += QuoteArgument(L"/" + key);
      text += L' ';
      text += QuoteArgument(value, true);
    }
    text += L' ';
  });
  // The name comes from the signature, so it is quoted like any other text:
  // whatever it holds, it stays one argument.
  text += L"VT_I=";
  text += QuoteArgument(installer_name, true);
  text += L' ';
  out = std::move(text);
}

}  // namespace lantern
