// The bootstrapper is a 32-bit program. Machines that cannot run 32-bit code
// at all run the Wine tests on an x86-64 build of the same sources instead
// (see cmake/wine/loader); what only a 32-bit program shows (WOW64 file
// redirection, the 32-bit registry view, 32-bit structure sizes) is then
// skipped, and the skip says why.
#pragma once

#include <gtest/gtest.h>

namespace lantern::test {

constexpr bool kThirtyTwoBitBuild = sizeof(void*) == 4;

}  // namespace lantern::test

#define LANTERN_SKIP_UNLESS_32_BIT()                                                          \
  do {                                                                                        \
    if (!::lantern::test::kThirtyTwoBitBuild) GTEST_SKIP() << "shown only by a 32-bit build"; \
  } while (0)
