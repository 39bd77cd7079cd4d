// ANSI (Windows-1252), UTF-8 and UTF-16 conversions and the a..z case folding.
#include <gtest/gtest.h>

#include "engine/core/codepage.h"

namespace {

using namespace engine::core;

TEST(CoreCodepage, Windows1252RoundTripsThroughUnicode) {
  const struct {
    std::string ansi;
    std::u16string wide;
  } cases[] = {
      {"abc", u"abc"}, {"\x80", u"\u20AC"}, {"M\xFC" "ller", u"M\u00FCller"}, {"\x9C", u"\u0153"}, {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToUtf16(c.ansi), c.wide);
    EXPECT_EQ(Utf16ToAnsi(c.wide), c.ansi);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(c.ansi)), c.ansi);
  }
  EXPECT_EQ(Utf16ToAnsi(u"\u4E2D"), "?") << "characters ANSI cannot hold become ?";
  EXPECT_EQ(Utf16ToUtf8(u"\u20AC"), "\xE2\x82\xAC");
}

TEST(CoreCodepage, CaseFoldingTouchesOnlyAToZ) {
  EXPECT_EQ(AsciiUpper("adssys \xE4z"), "ADSSYS \xE4Z");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("AdsSys", "ADSSYS"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE4", "\xC4"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("ab", "abc"));
}

}  // namespace
