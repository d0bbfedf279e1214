// The diagnostic log's states: lines wait in memory until a file is named, go
// to the file while it is open, and wait again while another program holds it.
#include "log/log.h"

#include <atomic>
#include <new>

#include "core/when_memory_fails.h"

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

std::atomic<DiagnosticLog*> last_words_log{nullptr};

}  // namespace

void SetLastWordsLog(DiagnosticLog* log) noexcept { last_words_log.store(log); }

DiagnosticLog* LastWordsLog() noexcept { return last_words_log.load(); }

void DiagnosticLog::WriteLastWords(std::string_view bytes) noexcept {
  if (!file_) return;
  file_->Write(bytes);
  file_->Flush();
}

void DiagnosticLog::OpenLogFile(std::wstring_view path) {
  LANTERN_TRY {
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
  } LANTERN_CATCH(const std::bad_alloc&) {
    // Out of memory while naming the file: the log stays as it was left.
  }
}

void DiagnosticLog::ReopenLogFile() {
  if (file_ || path_.empty()) {
    return;
  }
  LANTERN_TRY {
    file_ = system_.Open(path_, true);
  } LANTERN_CATCH(const std::bad_alloc&) {
  }
}

void DiagnosticLog::CloseLogFile() { file_.reset(); }

void DiagnosticLog::LogText(std::wstring_view text) {
  text = UpToTerminator(text);
  LANTERN_TRY {
    if (!file_) {
      pending_.append(text);
      return;
    }
    file_->Write(FileBytes(system_, text));
  } LANTERN_CATCH(const std::bad_alloc&) {
    // A line that finds no memory is dropped.
  }
}

}  // namespace lantern
