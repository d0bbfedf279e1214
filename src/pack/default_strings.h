// This build's string table, as the stub carries it: the defaults a
// bootstrapper's own entries are compared with.
#pragma once

#include "pack/string_table_resource.h"

namespace lantern::pack {

const StringEntries& DefaultStrings();

}  // namespace lantern::pack
