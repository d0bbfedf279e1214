// What the About box shows besides the product's name: the version, four
// parts fixed when the bootstrapper is built (the same as its version
// record), and the copyright line. Each bootstrapper's build supplies it.
#pragma once

#include <cstdint>

namespace lantern {

struct AboutInfo {
  std::uint16_t version[4];
  const wchar_t* copyright;
};

// Defined in the source file the build writes for each bootstrapper.
extern const AboutInfo kLanternAboutInfo;

}  // namespace lantern
