// The build's configuration strings where there are no Windows resources:
// the default entries, made into data from the same list the resource
// script is made from.
#pragma once

#include "core/config_strings.h"

namespace lantern {

class BuiltInStringTable final : public StringTable {
 public:
  std::optional<std::wstring> Find(unsigned id) const override;
};

}  // namespace lantern
