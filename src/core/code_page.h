// Conversions between wide text and 8-bit text in the thread's ANSI code
// page: the log file's text, the catalogue's text and the information block
// are in that code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lantern {

// Wide text of any length to the ANSI code page; characters it cannot
// represent become the default character. Nothing when the conversion fails.
std::optional<std::string> ToAnsiCodePage(std::wstring_view text);

// 8-bit text in the ANSI code page to wide text, every byte included (a zero
// byte too); empty when it cannot be converted.
std::wstring FromAnsiCodePage(std::string_view bytes);

}  // namespace lantern
