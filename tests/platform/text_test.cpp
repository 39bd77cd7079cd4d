// Text helpers: UTF conversions, a..z-only case folding, wildcard matching.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextTest, ConvertsBetweenUtf8AndUtf16) {
  const std::string samples[] = {"", "plain",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e",
                                 "\xE2\x82\xAC", "\xF0\x9F\x98\x80 x"};
  const size_t lengths[] = {0, 5, 5, 1, 4};
  for (size_t i = 0; i < std::size(samples); ++i) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(samples[i])), samples[i]);
    EXPECT_EQ(Utf8ToUtf16(samples[i]).size(), lengths[i]) << samples[i];
    EXPECT_EQ(Utf16Length(samples[i]), lengths[i]) << samples[i];
  }
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextTest, CaseFoldingTouchesOnlyAToZ) {
  EXPECT_EQ(UpperAscii("abc-xyz \xC3\xA4"), "ABC-XYZ \xC3\xA4");
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Pellmar$", "PELLMAR$"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC3\xA4", "\xC3\x84"));  // ä and Ä stay different
  EXPECT_FALSE(EqualsIgnoreAsciiCase("abc", "abcd"));
  EXPECT_LT(CompareIgnoreAsciiCase("abc", "ABD"), 0);
  EXPECT_GT(CompareIgnoreAsciiCase("b", "A"), 0);
  EXPECT_EQ(CompareIgnoreAsciiCase("DB", "db"), 0);
  EXPECT_LT(CompareIgnoreAsciiCase("db", "DB1"), 0);
}

TEST(TextTest, WildcardsMatchLikeTheOriginalPlatform) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "anything", true},
      {"*.*", "noext", true},
      {"*.*", ".hidden", true},
      {"", "x", true},
      {"*.adt", "TABLE.ADT", true},
      {"*.adt", "table.adt.bak", false},
      {"*.adt", "adt", false},
      {"?.adt", "a.adt", true},
      {"?.adt", "ab.adt", false},
      {"a?c",
       "a\xC3\xA4"
       "c",
       true},
      {"*a*b*", "xxaYYbZZ", true},
      {"*a*b", "xxaYYbZZ", false},
      {"data.*", "data", true},
      {"data.*", "data.add", true},
      {"sitedb.add", "SiteDB.ADD", true},
      {"???????", "0000001", true},
      {"???????", "000001", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
}

}  // namespace
}  // namespace platform
