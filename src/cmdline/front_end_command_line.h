// The front end's argument text: what is left of the user's command line after
// the options step, with the installer's name as one more property.
#pragma once

#include <string>
#include <string_view>

#include "cmdline/command_line_info_ex.h"
#include "core/quote_argument.h"

namespace lantern {

// Replaces `out` with one piece per entry of parser.Values, in the map's order,
// then VT_I="<installer_name>". The text always ends in a space. Every piece is
// written so that the runtime's splitting gives the front end back exactly the
// text held here.
void BuildFrontEndCommandLine(const CCommandLineInfoEx& parser, std::wstring_view installer_name,
                              std::wstring& out);

}  // namespace lantern
