// A diagnostic log that never reaches a file: every line stays pending, in
// order, for a test to read.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "log/log.h"

namespace lantern::testing_support {

class MemoryLogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override {
    std::string out;
    for (const wchar_t c : text) out += static_cast<char>(c);
    return out;
  }
  std::wstring FromAnsi(std::string_view text) override { return std::wstring(text.begin(), text.end()); }
  std::unique_ptr<LogFile> Open(const std::string&, bool) override { return nullptr; }
};

struct MemoryLog {
  MemoryLogSystem system;
  DiagnosticLog log{system};
  const std::wstring& Lines() const { return log.Pending(); }
};

}  // namespace lantern::testing_support
