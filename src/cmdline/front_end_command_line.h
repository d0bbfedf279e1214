// The front end's argument text: what is left of the user's command line after
// the options step, with the installer's name as one more property.
#pragma once

#include <string>
#include <string_view>

#include "cmdline/command_line_info_ex.h"

namespace lantern {

// Replaces `out` with one piece per entry of parser.Values, in the map's order,
// then VT_I="<installer_name>". The text always ends in a space. Every piece is
// written so that the runtime's splitting gives the front end back exactly the
// text held here.
void BuildFrontEndCommandLine(const CCommandLineInfoEx& parser, std::wstring_view installer_name,
                              std::wstring& out);

// `argument` as written on a command line so that the runtime splits it back
// into exactly that text. Text that is not empty and holds no space, tab or
// double quote is written as it is, unless `always_quote`; anything else goes
// in double quotes, with each quote and the backslashes before it escaped, and
// the backslashes before the closing quote doubled. It never writes two quotes
// in a row inside a quoted part, which older and newer runtimes read
// differently, so the front end gets the same text whichever splits for it.
std::wstring QuoteArgument(std::wstring_view argument, bool always_quote = false);

}  // namespace lantern
