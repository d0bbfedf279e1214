// Paths and texts as the tool shows and takes them: UTF-8 everywhere, on
// every system, whatever the system's own encoding of paths.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lantern::pack {

inline std::string ShowPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// UTF-8 to UTF-16; nothing for bytes that are not UTF-8.
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace lantern::pack
