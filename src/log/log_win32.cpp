// The log's files on Windows: the C runtime's text-mode streams, which turn
// each "\n" into CR LF.
#include <cstdio>

#include "core/code_page.h"
#include "log/c_file.h"
#include "log/log.h"

namespace lantern {
namespace {

class CrtLogFile final : public LogFile {
 public:
  explicit CrtLogFile(UniqueFile file) : file_(std::move(file)) {}
  void Write(std::string_view bytes) override {
    // Write errors are ignored: the log must never stop a run.
    std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
  }
  void Flush() override { std::fflush(file_.get()); }

 private:
  UniqueFile file_;
};

}  // namespace

std::optional<std::string> PlatformLogSystem::ToAnsi(std::wstring_view text) { return ToAnsiCodePage(text); }

std::unique_ptr<LogFile> PlatformLogSystem::Open(const std::wstring& path, bool append) {
  UniqueFile file(_wfopen(path.c_str(), append ? L"at" : L"wt"));
  if (!file) return nullptr;
  return std::make_unique<CrtLogFile>(std::move(file));
}

}  // namespace lantern
