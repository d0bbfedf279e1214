// How a stub says it is one: a resource (RCDATA "LANTERN_STUB") holding
// "Lantern stub <version>". A bootstrapper keeps it, so that it can be told
// which Lantern made it.
#pragma once

#include <string_view>

namespace lantern::pack {

inline constexpr char16_t kStubMarkerName[] = u"LANTERN_STUB";
inline constexpr std::string_view kStubMarkerPrefix = "Lantern stub ";
// The version of this Lantern, which its stub carries and its tool packs.
inline constexpr std::string_view kLanternVersion = LANTERN_VERSION_TEXT;

}  // namespace lantern::pack
