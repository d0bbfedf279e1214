// One argument written on a Windows command line so that the runtime's
// splitter gives back exactly that text: for the front end's command line and
// for the commands the tool runs.
#pragma once

#include <string>
#include <string_view>

namespace lantern {

// `argument` as written on a command line so that the runtime splits it back
// into exactly that text. Text that is not empty and holds no space, tab or
// double quote is written as it is, unless `always_quote`; anything else goes
// in double quotes, with each quote and the backslashes before it escaped, and
// the backslashes before the closing quote doubled. It never writes two quotes
// in a row inside a quoted part, which older and newer runtimes read
// differently, so the front end gets the same text whichever splits for it.
std::wstring QuoteArgument(std::wstring_view argument, bool always_quote = false);

}  // namespace lantern
