// The thread's ANSI code page, converted by the system in bounded pieces so
// that the sizes stay within the converter's int, however long a text is.
#include <windows.h>

#include <algorithm>

#include "core/code_page.h"

namespace lantern {

namespace {

constexpr std::size_t kConversionChunk = 1 << 16;

}  // namespace

std::optional<std::string> ToAnsiCodePage(std::wstring_view text) {
  // Each piece is sized by the converter itself: a character may take one
  // byte, two in a double-byte code page, or three and more in UTF-8.
  std::string bytes;
  while (!text.empty()) {
    std::size_t count = std::min(text.size(), kConversionChunk);
    if (count < text.size() && IS_HIGH_SURROGATE(text[count - 1])) {
      --count;  // a surrogate pair converts as one character
    }
    const int length = static_cast<int>(count);
    const int needed =
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::nullopt;
    const std::size_t at = bytes.size();
    bytes.resize(at + static_cast<std::size_t>(needed));
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, bytes.data() + at, needed, nullptr,
                            nullptr) != needed) {
      return std::nullopt;
    }
    text.remove_prefix(count);
  }
  return bytes;
}

std::wstring FromAnsiCodePage(std::string_view bytes) {
  std::wstring wide;
  while (!bytes.empty()) {
    // A lead byte of a double-byte code page stays with its trail byte.
    std::size_t count = std::min(bytes.size(), kConversionChunk);
    if (count < bytes.size() && IsDBCSLeadByteEx(CP_THREAD_ACP, static_cast<BYTE>(bytes[count - 1]))) --count;
    const int length = static_cast<int>(count);
    const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    const std::size_t at = wide.size();
    wide.resize(at + static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), length, wide.data() + at, needed);
    if (written <= 0) return {};
    wide.resize(at + static_cast<std::size_t>(written));
    bytes.remove_prefix(count);
  }
  return wide;
}

}  // namespace lantern
