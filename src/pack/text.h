// Paths as the tool shows and takes them: UTF-8 everywhere, on every
// system, whatever the system's own encoding of paths.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/utf8.h"  // the texts beside the paths

namespace lantern::pack {

inline std::string ShowPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace lantern::pack
