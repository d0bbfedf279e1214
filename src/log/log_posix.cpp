// The log's files where there is no Windows: binary files that get CR LF
// line ends, so the bytes on disk are those the Windows build writes.
#include <cstdint>
#include <cstdio>

#include "core/code_page.h"
#include "log/c_file.h"
#include "log/log.h"

namespace lantern {
namespace {

class CrLfLogFile final : public LogFile {
 public:
  explicit CrLfLogFile(UniqueFile file) : file_(std::move(file)) {}
  void Write(std::string_view bytes) override {
    // What a Windows text-mode stream does: each "\n" reaches the disk as CR LF.
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t newline = bytes.find('\n', at);
      const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline;
      std::fwrite(bytes.data() + at, 1, end - at, file_.get());
      if (newline == std::string_view::npos) {
        break;
      }
      std::fwrite("\r\n", 1, 2, file_.get());
      at = newline + 1;
    }
  }
  void Flush() override { std::fflush(file_.get()); }

 private:
  UniqueFile file_;
};

// File names here are bytes; UTF-8 is what the file system shows.
std::string Utf8(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x80) {
      bytes += static_cast<char>(code);
    } else if (code < 0x800) {
      bytes += static_cast<char>(0xC0 | code >> 6);
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      bytes += static_cast<char>(0xE0 | code >> 12);
      bytes += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | code >> 18);
      bytes += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      bytes += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return bytes;
}

}  // namespace

std::optional<std::string> PlatformLogSystem::ToAnsi(std::wstring_view text) { return ToAnsiCodePage(text); }

std::unique_ptr<LogFile> PlatformLogSystem::Open(const std::wstring& path, bool append) {
  UniqueFile file(std::fopen(Utf8(path).c_str(), append ? "ab" : "wb"));
  if (!file) return nullptr;
  return std::make_unique<CrLfLogFile>(std::move(file));
}

}  // namespace lantern
