// A string table for tests: the entries it is given, and no others.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/config_strings.h"

namespace lantern::testing_fakes {

class MapStringTable final : public StringTable {
 public:
  MapStringTable() = default;
  explicit MapStringTable(std::map<unsigned, std::wstring> initial) : entries(std::move(initial)) {}
  std::optional<std::wstring> Find(unsigned id) const override {
    const auto entry = entries.find(id);
    if (entry == entries.end()) return std::nullopt;
    return entry->second;
  }
  std::map<unsigned, std::wstring> entries;
};

}  // namespace lantern::testing_fakes
