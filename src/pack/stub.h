// How a stub says it is one: a resource (RCDATA "LANTERN_STUB") holding
// "Lantern stub <version>". A bootstrapper keeps it, so that it can be told
// which Lantern made it. The stub that decodes compressed payload files says
// so with a second one (RCDATA "LANTERN_DECODER", holding "zstd"); the plain
// stub carries no decoder and no such resource.
#pragma once

#include <string_view>

namespace lantern::pack {

inline constexpr char16_t kStubMarkerName[] = u"LANTERN_STUB";
inline constexpr std::string_view kStubMarkerPrefix = "Lantern stub ";
inline constexpr char16_t kDecoderMarkerName[] = u"LANTERN_DECODER";
inline constexpr std::string_view kDecoderMarkerText = "zstd";
// The stubs' file names, as the build makes them and installs them.
inline constexpr char kPlainStubFileName[] = "lantern-stub.exe";
inline constexpr char kDecoderStubFileName[] = "lantern-stub-zstd.exe";
// The version of this Lantern, which its stub carries and its tool packs.
inline constexpr std::string_view kLanternVersion = LANTERN_VERSION_TEXT;

}  // namespace lantern::pack
