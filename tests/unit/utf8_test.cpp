// UTF-8 and UTF-16 as the packing tool and the signature reader take them.
#include "core/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace lantern {
namespace {

TEST(Utf8, WellFormedTextGoesBothWays) {
  for (const std::string text : {"", "plain",
                                 "Pr\xC3\xBC"
                                 "fung \xE2\x9C\x93",
                                 "\xF0\x9F\x94\xA6 lamp", "\xEF\xBF\xBF end of the plane"}) {
    const auto wide = Utf16FromUtf8(text);
    ASSERT_TRUE(wide) << text;
    EXPECT_EQ(Utf8FromUtf16(*wide), text);
  }
  EXPECT_EQ(*Utf16FromUtf8("\xF0\x9F\x94\xA6"), u"\U0001F526");
}

TEST(Utf8, WhatIsNotUtf8IsRefused) {
  for (const std::string bytes : {
           "\x80",              // a continuation without a lead
           "\xC3",              // cut short
           "\xC0\xAF",          // an overlong "/"
           "\xE0\x80\xAF",      // the same in three bytes
           "\xED\xA0\x80",      // a surrogate
           "\xF4\x90\x80\x80",  // beyond U+10FFFF
           "\xFF",              // no lead at all
           "ok\xC3(",           // a lead without its continuation
       }) {
    EXPECT_FALSE(DecodeUtf8(bytes)) << testing::PrintToString(bytes);
    EXPECT_FALSE(Utf16FromUtf8(bytes)) << testing::PrintToString(bytes);
  }
}

TEST(Utf8, UnpairedSurrogatesAndValuesBeyondUnicodeBecomeTheReplacementCharacter) {
  EXPECT_EQ(Utf8FromUtf16(std::u16string(u"a") + char16_t{0xD800} + u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
  std::string out;
  AppendUtf8(out, 0x110000);
  AppendUtf8(out, 0xDFFF);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace lantern
