// The log's conversions and files on Windows: the thread's ANSI code page and
// the C runtime's text-mode streams, which turn each "\n" into CR LF.
#include <windows.h>

#include <climits>
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

class Win32LogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    // Converted with its terminator into room for two bytes per character,
    // which holds any text in a single- or double-byte code page.
    const std::wstring terminated(text);
    if (terminated.size() >= INT_MAX / 2) {
      return std::nullopt;
    }
    const int room = static_cast<int>(2 * (terminated.size() + 1));
    std::string scratch(static_cast<std::size_t>(room), '\0');
    const int written =
        WideCharToMultiByte(CP_THREAD_ACP, 0, terminated.c_str(), -1, scratch.data(), room, nullptr, nullptr);
    if (written <= 0) {
      return std::nullopt;
    }
    scratch.resize(static_cast<std::size_t>(written - 1));  // without the terminator
    return scratch;
  }

  std::wstring FromAnsi(std::string_view text) override {
    if (text.empty() || text.size() > INT_MAX) {
      return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
      return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
  }

  std::unique_ptr<LogFile> Open(const std::string& ansi_path, bool append) override {
    UniqueFile file(std::fopen(ansi_path.c_str(), append ? "at" : "wt"));
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
