// What every fuzz harness shares: turning the fuzzer's bytes into the wide
// text the program reads, a check that stops the run with a readable reason,
// and a string table made of given texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/config_strings.h"

namespace lantern::fuzzing {

// The bytes as UTF-8 where they are well formed, each other byte as the
// character of the same value. Seeds stay readable, and every 16-bit unit a
// Windows wide string can hold is reachable: characters beyond the basic
// plane become surrogate pairs, as in UTF-16.
inline std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  text.reserve(size);
  std::size_t at = 0;
  while (at < size) {
    const std::uint8_t lead = data[at];
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
    }
    bool well_formed = length != 0 && at + length <= size;
    for (std::size_t i = 1; well_formed && i < length; ++i) {
      const std::uint8_t next = data[at + i];
      well_formed = (next & 0xC0u) == 0x80u;
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!well_formed || code < smallest[length] || code > 0x10FFFF) {
      text.push_back(static_cast<wchar_t>(lead));
      ++at;
      continue;
    }
    if (code > 0xFFFF) {
      code -= 0x10000;
      text.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      text.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      text.push_back(static_cast<wchar_t>(code));
    }
    at += length;
  }
  return text;
}

// Text for a report: printable ASCII as it is, everything else escaped.
inline std::string Show(std::wstring_view text) {
  std::string shown;
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != L'\\') {
      shown.push_back(static_cast<char>(c));
    } else if (c == L'\\') {
      shown += "\\\\";
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(c));
      shown += escaped;
    }
  }
  return shown;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "\n%s:%d: invariant broken: %s\n", file, line, condition);
  if (!detail.empty()) {
    std::fprintf(stderr, "  %s\n", detail.c_str());
  }
  std::fflush(stderr);
  std::abort();  // libFuzzer reports it as a crash and saves the input
}

// Stops the run, with the input saved as a reproducer, when `condition` does
// not hold. `detail` is only evaluated then.
#define FUZZ_CHECK(condition, detail)                                     \
  do {                                                                    \
    if (!(condition)) {                                                   \
      ::lantern::fuzzing::Fail(__FILE__, __LINE__, #condition, (detail)); \
    }                                                                     \
  } while (false)

// A string table that holds exactly the entries it is given.
class TextTable final : public StringTable {
 public:
  std::optional<std::wstring> Find(unsigned id) const override {
    const auto entry = entries.find(id);
    if (entry == entries.end()) {
      return std::nullopt;
    }
    return entry->second;
  }

  std::map<unsigned, std::wstring> entries;
};

}  // namespace lantern::fuzzing
