// The texts datasets hand to the engine's expression language: trailing wildcards of a Filter
// text, literals that hold any value, date and time literals, and the optimised filter options.
#include <gtest/gtest.h>

#include "ads/adsdata/filter_text.h"

namespace {

TEST(FilterText, TrailingWildcardsOfLiteralsAreRemovedOnce) {
  struct Case {
    const char* text;
    const char* expected;
    bool exact;
  };
  const Case cases[] = {
      {"NAME = 'Smi*'", "NAME = 'Smi'", false},
      {"NAME = \"Smi*\"", "NAME = \"Smi\"", false},
      {"NAME = 'Smi**'", "NAME = 'Smi*'", false},  // only the last star
      {"NAME = '*'", "NAME = '*'", true},          // stars only: left alone
      {"NAME = '***'", "NAME = '***'", true},
      {"NAME = 'a*b'", "NAME = 'a*b'", true},  // not before the closing quote
      {"NAME = 'Smi*' .OR. CITY = \"O*\"", "NAME = 'Smi' .OR. CITY = \"O\"", false},
      {"NAME = \"it's*\"", "NAME = \"it's\"", false},  // the other quote inside a literal
      {"NAME = 'say \"hi*\"'", "NAME = 'say \"hi*\"'", true},
      {"N * 2 > 3", "N * 2 > 3", true},  // a star outside literals is arithmetic
      {"CONTAINS(NOTE, 'rain*') .AND. NAME = 'A*'", "CONTAINS(NOTE, 'rain*') .AND. NAME = 'A'", false},
      {"contains (NOTE, \"(a*)\" AND [b*]) .AND. X = 'y*'",
       "contains (NOTE, \"(a*)\" AND [b*]) .AND. X = 'y'", false},
      {"CONTAINS(NOTE, 'rain*'", "CONTAINS(NOTE, 'rain'", false},  // does not close: not skipped
      {"XCONTAINS('a*')", "XCONTAINS('a')", false},                // not the word CONTAINS
      {"NAME = [O\"Neil] .OR. CITY = \"Par*\"", "NAME = [O\"Neil] .OR. CITY = \"Par\"", false},
      {"NAME = [Par*]", "NAME = [Par*]", true},  // bracketed literals are taken as they stand
      {"NAME = 'open*", "NAME = 'open*", true},  // unterminated: nothing to close
      {"", "", true},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    const bool exact = adsdata::RemoveTrailingWildcards(text);
    EXPECT_EQ(text, c.expected) << c.text;
    EXPECT_EQ(exact, c.exact) << c.text;
  }
}

TEST(FilterText, QuotedLiteralsCannotBeEndedByTheirValue) {
  struct Case {
    QString value;
    QString expected;
  };
  const Case cases[] = {
      {"Smith", "\"Smith\""},
      {"", "\"\""},
      {"O\"Neil", "\"O\"+ Chr(34) + \"Neil\""},
      {"\"", "\"\"+ Chr(34) + \"\""},
      {"it's [x] ) .OR. (.T.", "\"it's [x] ) .OR. (.T.\""},
      {QString("a") + QChar(0) + "b", "\"a\"+ Chr(0) + \"b\""},
      {QString::fromUtf8("Жук €"), QString::fromUtf8("\"Жук €\"")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(adsdata::QuotedFilterLiteral(c.value), c.expected) << c.value.toStdString();
}

TEST(FilterText, LiteralsOfNumbersDatesAndTimes) {
  EXPECT_EQ(adsdata::FilterNumberText(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(adsdata::FilterNumberText(2.5), "2.5");
  EXPECT_EQ(adsdata::FilterNumberText(-1e21), "-1e+21");
  EXPECT_EQ(adsdata::FilterDateLiteral(2451545), "{^2000-01-01}");
  EXPECT_EQ(adsdata::FilterDateLiteral(1721426), "{^0001-01-01}");
  EXPECT_EQ(adsdata::FilterTimeText(0), "00:00:00.000");
  EXPECT_EQ(adsdata::FilterTimeText(86399999), "23:59:59.999");
  EXPECT_EQ(adsdata::FilterTimestampLiteral(2460385, 37230123), "{^2024-03-15 10:20:30.123}");
  for (const char* plain : {"0", "-12", "3.25", "-0.5"})
    EXPECT_TRUE(adsdata::IsPlainNumberText(plain)) << plain;
  for (const char* other : {"", "-", ".", "1.2.3", "1e5", "1 .OR. .T.", "0x10"})
    EXPECT_FALSE(adsdata::IsPlainNumberText(other)) << other;
}

TEST(FilterText, OptimisedFilterOptionBits) {
  struct Case {
    TAdsAOFTypes type;
    bool immediate;
    uint32_t bits;
  };
  const Case cases[] = {
      {atDynamic, false, 8194}, {atDynamic, true, 8193}, {atKeySet, false, 8198},
      {atKeySet, true, 8197},   {atFixed, false, 8202},  {atFixed, true, 8201},
  };
  for (const Case& c : cases)
    EXPECT_EQ(adsdata::AofOptionBits(c.type, c.immediate), c.bits) << c.type << c.immediate;
}

}  // namespace
