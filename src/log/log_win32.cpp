// The log's conversions and files on Windows: the thread's ANSI code page and
// the C runtime's text-mode streams, which turn each "\n" into CR LF.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "log/log.h"

namespace lantern {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

class CrtLogFile final : public LogFile {
 public:
  explicit CrtLogFile(UniqueFile file) : file_(std::move(file)) {}
  void Write(std::string_view bytes) override {
    // Write errors are ignored: the log must never stop a run.
    std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
  }

 private:
  UniqueFile file_;
};

// Characters converted in one call: bounded so that the sizes stay within
// the converter's int, however long a line is.
constexpr std::size_t kConversionChunk = 1 << 16;

class Win32LogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
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
      if (needed <= 0) {
        return std::nullopt;
      }
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

  std::unique_ptr<LogFile> Open(const std::wstring& path, bool append) override {
    UniqueFile file(_wfopen(path.c_str(), append ? L"at" : L"wt"));
    if (!file) {
      return nullptr;
    }
    return std::make_unique<CrtLogFile>(std::move(file));
  }
};

}  // namespace

LogSystem& DefaultLogSystem() {
  static Win32LogSystem system;
  return system;
}

}  // namespace lantern
