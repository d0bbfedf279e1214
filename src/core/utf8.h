// UTF-8, UTF-16 and code points, for the texts the packing tool and the
// signature reader take from files and show to people. Well-formed means
// what the standard says: no overlong forms, no surrogates, nothing beyond
// U+10FFFF.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lantern {

// The code points of well-formed UTF-8; nothing where the bytes are not that.
std::optional<std::u32string> DecodeUtf8(std::string_view bytes);

// Appends one code point as UTF-8; a surrogate or a value beyond Unicode
// becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t point);

// Well-formed UTF-8 as UTF-16; nothing for other bytes.
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace lantern
