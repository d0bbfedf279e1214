// The diagnostic log's states: lines wait in memory until a file is named, go
// to the file while it is open, and wait again while another program holds it.
#include "log/log.h"

#include <new>

namespace lantern {
namespace {

// A line is a C string to the system: it ends at its first NUL.
std::wstring_view UpToTerminator(std::wstring_view text) {
  const std::size_t end = text.find(L'\0');
  return end == std::wstring_view::npos ? text : text.substr(0, end);
}

}  // namespace

void DiagnosticLog::OpenLogFile(std::string_view ansi_path) {
  try {
    if (file_) {
      // Byte for byte, so the comparison is case-sensitive: a second parse of
      // the same command line keeps the file (and what it holds so far).
      const std::optional<std::string> current = system_.ToAnsi(path_);
      if (current && *current == ansi_path) {
        return;
      }
      file_.reset();
    }
    path_ = system_.FromAnsi(ansi_path);
    std::unique_ptr<LogFile> file = system_.Open(std::string(ansi_path), false);
    if (!file) {
      return;  // not reported: the run goes on and its lines stay pending
    }
    file_ = std::move(file);
    if (const std::optional<std::string> bytes = system_.ToAnsi(pending_)) {
      file_->Write(*bytes);
    }
    pending_.clear();
  } catch (const std::bad_alloc&) {
    // Out of memory while naming the file: the log stays as it was left.
  }
}

void DiagnosticLog::ReopenLogFile() {
  if (file_ || path_.empty()) {
    return;
  }
  try {
    if (const std::optional<std::string> ansi = system_.ToAnsi(path_)) {
      file_ = system_.Open(*ansi, true);
    }
  } catch (const std::bad_alloc&) {
  }
}

void DiagnosticLog::CloseLogFile() { file_.reset(); }

void DiagnosticLog::LogText(std::wstring_view text) {
  text = UpToTerminator(text);
  try {
    if (!file_) {
      pending_.append(text);
      return;
    }
    if (const std::optional<std::string> bytes = system_.ToAnsi(text)) {
      file_->Write(*bytes);
    }
  } catch (const std::bad_alloc&) {
    // A line that finds no memory is dropped.
  }
}

DiagnosticLog& TheLog() {
  static DiagnosticLog log(DefaultLogSystem());
  return log;
}

}  // namespace lantern
