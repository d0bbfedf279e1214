// The diagnostic log: whole lines of text, kept in memory until a log file is
// named and then written to it in the thread's ANSI code page. The program
// makes one and hands it to every step of a run.
#pragma once

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "core/format.h"
#include "core/when_memory_fails.h"

namespace lantern {

// An open log file. Text mode: every "\n" reaches the disk as CR LF. Closing
// (destruction) flushes it.
class LogFile {
 public:
  virtual ~LogFile() = default;
  virtual void Write(std::string_view bytes) = 0;
  // Hands what was written so far to the system.
  virtual void Flush() {}
};

// What the log needs from the system: code-page conversion and files.
class LogSystem {
 public:
  virtual ~LogSystem() = default;
  // Wide text of any length to the thread's ANSI code page; characters it
  // cannot represent become the default character. Empty when the
  // conversion fails.
  virtual std::optional<std::string> ToAnsi(std::wstring_view text) = 0;
  // Opens a file by its full wide path in text mode, truncating it ("wt") or
  // appending ("at"). Null when it cannot be opened.
  virtual std::unique_ptr<LogFile> Open(const std::wstring& path, bool append) = 0;
};

// This platform's conversions and files: the thread's ANSI code page, and
// files whose "\n" reach the disk as CR LF.
class PlatformLogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override;
  std::unique_ptr<LogFile> Open(const std::wstring& path, bool append) override;
};

class DiagnosticLog {
 public:
  explicit DiagnosticLog(LogSystem& system) : system_(system) {}

  // Opens the file for writing, or keeps it when it is already the open file.
  // The path is the wide one the user gave, so that no code page stands
  // between it and the file; only the text inside is in the ANSI code page.
  void OpenLogFile(std::wstring_view path);
  // Reopens the last file for appending, when no file is open.
  void ReopenLogFile();
  void CloseLogFile();
  void LogText(std::wstring_view text);
  template <class... Args>
  void LogFormat(std::wstring_view format, const Args&... args) {
    std::wstring line;
    LANTERN_TRY {
      line = Format(format, args...);
    } LANTERN_CATCH(const std::bad_alloc&) {
      return;  // a line that finds no memory is dropped
    }
    LogText(line);
  }

  // Writes `bytes` straight to the open file and flushes it, converting and
  // allocating nothing; nothing when no file is open. For a last line when
  // memory has run out.
  void WriteLastWords(std::string_view bytes) noexcept;

  bool IsOpen() const { return file_ != nullptr; }
  const std::wstring& Path() const { return path_; }
  const std::wstring& Pending() const { return pending_; }

 private:
  LogSystem& system_;
  std::unique_ptr<LogFile> file_;  // set while the log is open
  std::wstring path_;
  std::wstring pending_;  // lines written while no file is open
};

// The log that receives the process's last line when memory runs out where
// nothing can catch it (see core/when_memory_fails.h); null for none. Set by
// the program that owns the run's log, for as long as it lives.
void SetLastWordsLog(DiagnosticLog* log) noexcept;
DiagnosticLog* LastWordsLog() noexcept;

}  // namespace lantern
