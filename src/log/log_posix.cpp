// The log's conversions and files where there is no Windows: code page 1252
// (the ANSI code page of the systems we test on) and binary files that get
// CR LF line ends, so the bytes on disk are those the Windows build writes.
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "log/log.h"

namespace lantern {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

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

 private:
  UniqueFile file_;
};

// Code page 1252: bytes 0x80 to 0x9F hold typographic characters; the rest
// of the upper half is Latin-1.
constexpr char16_t kHighCharacters[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A character the code page cannot represent becomes its default character.
char ToCodePage(std::uint32_t code) {
  if (code <= 0x7F || (code >= 0xA0 && code <= 0xFF)) {
    return static_cast<char>(code);
  }
  for (std::size_t i = 0; i < std::size(kHighCharacters); ++i) {
    if (kHighCharacters[i] == code) {
      return static_cast<char>(0x80 + i);
    }
  }
  return '?';
}

class PosixLogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t c : text) {
      bytes.push_back(ToCodePage(static_cast<std::uint32_t>(c)));
    }
    return bytes;
  }

  std::unique_ptr<LogFile> Open(const std::wstring& path, bool append) override {
    UniqueFile file(std::fopen(Utf8(path).c_str(), append ? "ab" : "wb"));
    if (!file) {
      return nullptr;
    }
    return std::make_unique<CrLfLogFile>(std::move(file));
  }

 private:
  // File names here are bytes; UTF-8 is what the file system shows.
  static std::string Utf8(std::wstring_view text) {
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
};

}  // namespace

LogSystem& DefaultLogSystem() {
  static PosixLogSystem system;
  return system;
}

}  // namespace lantern
