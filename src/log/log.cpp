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

// The bytes of `text` for the file. Should the code page refuse the text
// altogether, its ASCII still reads as it is and every other character
// becomes '?': a line is never lost for want of a conversion.
std::string FileBytes(LogSystem& system, std::wstring_view text) {
  if (std::optional<std::string> bytes = system.ToAnsi(text)) return std::move(*bytes);
  std::string ascii(text.size(), '?');
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) ascii[i] = static_cast<char>(text[i]);
  }
  return ascii;
}

}  // namespace

void DiagnosticLog::OpenLogFile(std::wstring_view path) {
  try {
    if (file_) {
      // Exactly, case included: a second parse of the same command line keeps
      // the file (and what it holds so far).
      if (path_ == path) {
        return;
      }
      file_.reset();
    }
    path_ = path;
    std::unique_ptr<LogFile> file = system_.Open(path_, false);
    if (!file) {
      return;  // not reported: the run goes on and its lines stay pending
    }
    file_ = std::move(file);
    file_->Write(FileBytes(system_, pending_));
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
    file_ = system_.Open(path_, true);
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
    file_->Write(FileBytes(system_, text));
  } catch (const std::bad_alloc&) {
    // A line that finds no memory is dropped.
  }
}

}  // namespace lantern
