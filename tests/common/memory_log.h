// A log for tests whose lines never reach a file: they all stay pending, in order.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "log/log.h"

namespace lantern::testing_fakes {

class MemoryLogSystem final : public LogSystem {
 public:
  std::optional<std::string> ToAnsi(std::wstring_view text) override { return std::string(text.begin(), text.end()); }
  std::unique_ptr<LogFile> Open(const std::wstring&, bool) override { return nullptr; }
};

// A log over a MemoryLogSystem, with its lines at hand.
struct MemoryLog {
  MemoryLogSystem system;
  DiagnosticLog log{system};
  const std::wstring& Lines() const { return log.Pending(); }
};

}  // namespace lantern::testing_fakes
