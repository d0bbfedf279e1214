// The printf-style formatter: every conversion, the flags, and what happens when
// a format and its arguments do not agree.
#include "core/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace lantern {
namespace {

struct FormatCase {
  const wchar_t* format;
  std::vector<FormatArg> args;
  std::wstring expected;
};

void ExpectFormats(const std::vector<FormatCase>& cases) {
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format \"" << c.format << "\"");
    EXPECT_EQ(FormatText(c.format, c.args), c.expected);
  }
}

const std::uint32_t kTickCount = 0xFFFFFFFF;  // what GetTickCount returns after 49.7 days
const std::int32_t kDotNetRuntime = static_cast<std::int32_t>(0x80131700);

TEST(FormatText, IntegerConversions) {
  ExpectFormats({
      {L"%d", {42}, L"42"},
      {L"%i", {-42}, L"-42"},
      {L"Started %ld\n", {kTickCount}, L"Started -1\n"},
      {L"%d", {std::numeric_limits<int>::min()}, L"-2147483648"},
      {L"%I64d", {-1234567890123LL}, L"-1234567890123"},
      {L"%I64d", {std::numeric_limits<long long>::min()}, L"-9223372036854775808"},
      {L"%lld", {std::numeric_limits<std::uint64_t>::max()}, L"-1"},
      {L"%u", {-1}, L"4294967295"},
      {L"%u", {-1LL}, L"18446744073709551615"},
      {L"%x", {-1}, L"ffffffff"},
      {L"%x", {-1LL}, L"ffffffffffffffff"},
      {L"%X", {0xBEEFu}, L"BEEF"},
      {L"%0x", {0x1F}, L"1f"},
      {L"%x", {0}, L"0"},
      {L"%08x", {1}, L"00000001"},
      {L"%08x", {kDotNetRuntime}, L"80131700"},
      {L"%o", {8}, L"10"},
      {L"%#o", {8}, L"010"},
      {L"%#x", {255}, L"0xff"},
      {L"%#X", {255}, L"0XFF"},
      {L"%#x", {0}, L"0"},
      {L"%hd %hhd %zd %jd %td %Id %I32d %wd", {1, 2, 3, 4, 5, 6, 7, 8}, L"1 2 3 4 5 6 7 8"},
  });
}

TEST(FormatText, FlagsWidthAndPrecision) {
  ExpectFormats({
      {L"[%5d]", {42}, L"[   42]"},
      {L"[%-5d]", {42}, L"[42   ]"},
      {L"[%05d]", {-42}, L"[-0042]"},
      {L"[%+d]", {42}, L"[+42]"},
      {L"[% d]", {42}, L"[ 42]"},
      {L"[%+d]", {-42}, L"[-42]"},
      {L"[%.3d]", {7}, L"[007]"},
      {L"[%6.3d]", {7}, L"[   007]"},
      {L"[%06.3d]", {7}, L"[   007]"},  // a precision turns zero padding off
      {L"[%.0d]", {0}, L"[]"},
      {L"[%-08x]", {1}, L"[1       ]"},
      {L"[%*d]", {4, 7}, L"[   7]"},
      {L"[%*d]", {-4, 7}, L"[7   ]"},
      {L"[%.*s]", {2, L"abcdef"}, L"[ab]"},
      {L"[%.*s]", {-1, L"abc"}, L"[abc]"},
      {L"[%#10x]", {255}, L"[      0xff]"},
      {L"[%#010x]", {255}, L"[0x000000ff]"},
  });
}

TEST(FormatText, TextCharacterAndPointer) {
  const std::wstring owned = L"owned";
  const wchar_t* null_text = nullptr;
  const std::wstring pointer_digits(2 * sizeof(void*) - 4, L'0');
  ExpectFormats({
      {L"Temp folder '%s'\n", {L"C:\\Temp\\"}, L"Temp folder 'C:\\Temp\\'\n"},
      {L"%S", {owned}, L"owned"},
      {L"%ls", {std::wstring_view(L"view")}, L"view"},
      {L"%s", {L"Gr\u00fc\u00dfe \u4e2d\u6587"}, L"Gr\u00fc\u00dfe \u4e2d\u6587"},
      {L"[%.3s]", {L"abcdef"}, L"[abc]"},
      {L"[%8s]", {L"abc"}, L"[     abc]"},
      {L"[%-8s]", {L"abc"}, L"[abc     ]"},
      {L"%s", {null_text}, L"(null)"},
      {L"%s", {L""}, L""},
      {L"%c%c", {L'h', 0x4E2D}, L"h\u4e2d"},
      {L"[%3c]", {L'x'}, L"[  x]"},
      {L"%p", {reinterpret_cast<const void*>(0xBEEF)}, pointer_digits + L"BEEF"},
      {L"%%", {}, L"%"},
      {L"100%% done", {}, L"100% done"},
  });
}

TEST(FormatText, RealConversions) {
  ExpectFormats({
      {L"%.1f %s", {12.34, L"MB"}, L"12.3 MB"},
      {L"%.1f", {0.05}, L"0.1"},
      {L"%f", {1.5}, L"1.500000"},
      {L"[%8.2f]", {-3.14159}, L"[   -3.14]"},
      {L"[%-8.2f]", {3.14159}, L"[3.14    ]"},
      {L"%+.0f", {2.0}, L"+2"},
      {L"%e", {12345.678}, L"1.234568e+04"},
      {L"%E", {0.00012}, L"1.200000E-04"},
      {L"%g %G", {0.0001, 1e20}, L"0.0001 1E+20"},
      {L"%.3g", {3.14159}, L"3.14"},
      {L"%.1f", {1e20}, L"100000000000000000000.0"},
      {L"[%08.2f] [%+08.1f] [%-+8.1f]", {-3.14159, 2.26, 2.5}, L"[-0003.14] [+00002.3] [+2.5    ]"},
      {L"% .2e %.0e %e", {1.0, 5e-300, 1e100}, L" 1.00e+00 5e-300 1.000000e+100"},
      {L"[%#.0f] [%#g]", {3.0, 2.0}, L"[3.] [2.00000]"},
      {L"%f %F [%5f] [%-+6e] [%06f]",
       {HUGE_VAL, -HUGE_VAL, NAN, -NAN, NAN},
       L"inf -INF [  nan] [-nan  ] [   nan]"},
  });
}

// A format that does not match its arguments shows each value as its own kind
// allows and never reads an argument that is not there.
TEST(FormatText, MismatchedArguments) {
  ExpectFormats({
      {L"%d", {L"text"}, L"text"},
      {L"[%5x]", {L"ab"}, L"[   ab]"},
      {L"%s", {-5}, L"-5"},
      {L"%s", {0xFFFFFFFFu}, L"-1"},
      {L"%s", {reinterpret_cast<const void*>(0x10)}, std::wstring(2 * sizeof(void*) - 2, L'0') + L"10"},
      {L"%s", {2.5}, L"2.5"},
      {L"%d", {2.5}, L"2.5"},
      {L"%x", {0.25}, L"0.25"},
      {L"%.1f", {3}, L"3.0"},
      {L"%.1f", {-3}, L"-3.0"},
      {L"%.1f", {0xFFFFFFFFu}, L"4294967295.0"},
      {L"%f", {L"text"}, L"text"},
      {L"%c", {L"text"}, L"text"},
      {L"%p", {L"text"}, L"text"},
      {L"%d", {reinterpret_cast<const void*>(0x20)}, L"32"},
  });
}

TEST(FormatText, MissingArgumentsAndMalformedConversions) {
  ExpectFormats({
      {L"%s failed with exit code 0x%08x.", {L"Setup"}, L"Setup failed with exit code 0x%08x."},
      {L"%d %d %d", {1}, L"1 %d %d"},
      {L"%s", {}, L"%s"},
      {L"%*d", {5}, L"%*d"},
      {L"%.*f", {}, L"%.*f"},
      {L"100%", {}, L"100%"},
      {L"%", {}, L"%"},
      {L"%-5", {1}, L"%-5"},
      {L"%l", {1}, L"%l"},
      {L"%I64", {1}, L"%I64"},
      {L"%y %d", {1}, L"%y 1"},          // an unknown conversion takes no argument
      {L"%n %d", {1}, L"%n 1"},          // nothing is ever written through an argument
      {L"%*d|%d", {L"w", 3}, L"%*d|w"},  // a width that is not a number
      {L"%99999999d", {1}, L"%99999999d"},
      {L"%.99999999f", {1.0}, L"%.99999999f"},
      {L"%*d", {1 << 30, 1}, L"%*d"},
  });
}

TEST(FormatText, FormatHelperTakesArgumentsOfEveryType) {
  const std::wstring name = L"Vantrel Studio Download";
  EXPECT_EQ(Format(L"%s Version %d.%d.%d.%d", name, 1, 2u, 3L, 4ULL),
            L"Vantrel Studio Download Version 1.2.3.4");
  EXPECT_EQ(Format(L"no arguments %d"), L"no arguments %d");
  EXPECT_EQ(Format(L"%s%s", name, std::wstring_view(L"!")), name + L"!");
}

}  // namespace
}  // namespace lantern
