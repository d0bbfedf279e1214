// A module's string-table resource as a StringTable: the program's own
// configuration strings, or another module's.
#pragma once

#include <windows.h>

#include "core/config_strings.h"

namespace lantern {

class ResourceStringTable final : public StringTable {
 public:
  explicit ResourceStringTable(HMODULE module) : module_(module) {}
  std::optional<std::wstring> Find(unsigned id) const override;

 private:
  HMODULE module_;
};

}  // namespace lantern
