#include "cmdline/front_end_command_line.h"

namespace lantern {

void BuildFrontEndCommandLine(const CCommandLineInfoEx& parser, std::wstring_view installer_name,
                              std::wstring& out) {
  std::wstring text;
  parser.Values.ForEach([&text](const std::wstring& key, const std::wstring& value) {
    if (EqualsNoCase(value, L"TRUE")) {
      text += L'/';
      text += key;
      text += L' ';
    } else if (value.empty()) {
      text += key;
      text += L' ';
    } else {
      text += L'/';
      text += key;
      text += L" \"";
      text += value;
      // The runtime would read a backslash before the closing quote as
      // escaping it; a doubled one stands for itself. A lone backslash is
      // left as it is.
      if (value.size() >= 2 && value.back() == L'\\') {
        text += L'\\';
      }
      text += L"\" ";
    }
  });
  text += L"VT_I=\"";
  text += installer_name;
  text += L"\" ";
  out = std::move(text);
}

}  // namespace lantern
