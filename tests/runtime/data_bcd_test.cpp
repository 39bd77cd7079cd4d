// TBcd: the 34-byte record layout and its text, integer and double conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/data/bcd.h"
#include "runtime/exception.h"

namespace {

struct TextCase {
  const char* input;
  const char* shortest;  // BcdToStr
  int precision;
  int scale;
  bool negative;
};

TEST(Bcd, TextRoundTripsThroughThePackedRecord) {
  const TextCase cases[] = {
      {"0", "0", 1, 0, false},
      {"-0", "0", 1, 0, false},
      {"00012", "12", 2, 0, false},
      {"12.50", "12.5", 4, 2, false},
      {"-12.345", "-12.345", 5, 3, true},
      {"0.05", "0.05", 2, 2, false},
      {"  +7  ", "7", 1, 0, false},
      {".5", "0.5", 1, 1, false},
      {"5.", "5", 1, 0, false},
      {"1234567890123456789012345678901234567890123456789012345678901234",
       "1234567890123456789012345678901234567890123456789012345678901234", 64, 0, false},
      {"-922337203685477.5808", "-922337203685477.5808", 19, 4, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TBcd bcd;
    ASSERT_TRUE(TryStrToBcd(QString::fromLatin1(c.input), bcd));
    EXPECT_EQ(BcdToStr(bcd), QString::fromLatin1(c.shortest));
    EXPECT_EQ(BcdPrecision(bcd), c.precision);
    EXPECT_EQ(BcdScale(bcd), c.scale);
    EXPECT_EQ(IsBcdNegative(bcd), c.negative);
  }
}

TEST(Bcd, LayoutPacksTwoDigitsPerByteWithSignAndScale) {
  TBcd bcd = StrToBcd(QStringLiteral("-123.45"));
  EXPECT_EQ(bcd.Precision, 5);
  EXPECT_EQ(bcd.SignSpecialPlaces, 0x80 | 2);
  EXPECT_EQ(bcd.Fraction[0], 0x12);
  EXPECT_EQ(bcd.Fraction[1], 0x34);
  EXPECT_EQ(bcd.Fraction[2], 0x50);
  for (int i = 3; i < 32; ++i) EXPECT_EQ(bcd.Fraction[i], 0) << i;
}

TEST(Bcd, MalformedOrOversizedTextIsRefused) {
  const char* bad[] = {"", " ", "-", "1.2.3", "12a", "1e5", "--1", "1,5",
                       "12345678901234567890123456789012345678901234567890123456789012345"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    TBcd bcd = IntegerToBcd(42);
    EXPECT_FALSE(TryStrToBcd(QString::fromLatin1(text), bcd));
    EXPECT_EQ(BcdToInteger(bcd), 42) << "a refused text leaves the record unchanged";
    EXPECT_THROW(StrToBcd(QString::fromLatin1(text)), EConvertError);
  }
}

TEST(Bcd, OtherDecimalSeparatorsAreHonoured) {
  TBcd bcd = StrToBcd(QStringLiteral("3,25"), QLatin1Char(','));
  EXPECT_EQ(BcdToStr(bcd), QStringLiteral("3.25"));
  EXPECT_EQ(BcdToStr(bcd, QLatin1Char(',')), QStringLiteral("3,25"));
  EXPECT_FALSE(TryStrToBcd(QStringLiteral("3.25"), bcd, QLatin1Char(',')));
}

TEST(Bcd, IntegerConversionsRoundHalfAwayFromZero) {
  struct Case {
    const char* text;
    int64_t rounded;
    int64_t truncated;
  } cases[] = {
      {"2.5", 3, 2},   {"-2.5", -3, -2}, {"2.49", 2, 2}, {"-0.5", -1, 0},
      {"0.4", 0, 0},   {"123", 123, 123}, {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TBcd bcd = StrToBcd(QString::fromLatin1(c.text));
    EXPECT_EQ(BcdToInt64(bcd), c.rounded);
    EXPECT_EQ(BcdToInt64(bcd, true), c.truncated);
  }
  EXPECT_THROW(BcdToInt64(StrToBcd(QStringLiteral("9223372036854775808"))), EConvertError);
  EXPECT_THROW(BcdToInt64(StrToBcd(QStringLiteral("9223372036854775807.5"))), EConvertError);
  EXPECT_THROW(BcdToInteger(StrToBcd(QStringLiteral("2147483648"))), EConvertError);
  EXPECT_EQ(BcdToInteger(StrToBcd(QStringLiteral("-2147483648"))), INT32_MIN);
}

TEST(Bcd, ScaledIntegersMatchTheCurrencyForm) {
  // A money value stored as a 64-bit integer with four implied decimals.
  TBcd money = Int64ToBcd(-1234567, 4);
  EXPECT_EQ(BcdToStr(money), QStringLiteral("-123.4567"));
  EXPECT_EQ(BcdScale(money), 4);
  EXPECT_EQ(BcdToScaledInt64(money, 4), -1234567);
  EXPECT_EQ(BcdToScaledInt64(StrToBcd(QStringLiteral("1.23456")), 4), 12346);
  EXPECT_EQ(BcdToScaledInt64(StrToBcd(QStringLiteral("7")), 4), 70000);
  EXPECT_EQ(BcdToStr(Int64ToBcd(5, 4)), QStringLiteral("0.0005"));
  EXPECT_EQ(BcdToStr(Int64ToBcd(INT64_MIN)), QStringLiteral("-9223372036854775808"));
  EXPECT_THROW(BcdToScaledInt64(StrToBcd(QStringLiteral("922337203685478")), 4), EConvertError);
}

TEST(Bcd, DoublesConvertBothWays) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"}, {-2.5, "-2.5"}, {1e20, "100000000000000000000"}, {1.5e-7, "0.00000015"},
      {123456.789, "123456.789"}, {0.0, "0"}, {-0.0, "0"}, {-1.25e-12, "-0.00000000000125"},
      {1234567890123456.0, "1234567890123456"}, {0.30000000000000004, "0.30000000000000004"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TBcd bcd = DoubleToBcd(c.value);
    EXPECT_EQ(BcdToStr(bcd), QString::fromLatin1(c.text));
    EXPECT_EQ(BcdToDouble(bcd), c.value);
  }
  EXPECT_THROW(DoubleToBcd(std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_THROW(DoubleToBcd(std::numeric_limits<double>::quiet_NaN()), EConvertError);
}

TEST(Bcd, FixedTextRoundsAndFallsBackToScientificBeyondThePrecision) {
  struct Case {
    const char* value;
    int precision;
    int digits;
    const char* text;
  } cases[] = {
      {"12.345", 18, 2, "12.35"},
      {"-12.345", 18, 2, "-12.35"},
      {"12", 18, 2, "12.00"},
      {"0.004", 10, 2, "0.00"},
      {"-0.004", 10, 2, "0.00"},
      {"9.995", 10, 2, "10.00"},
      {"12345", 4, 0, "1.235E+04"},
      {"99999", 4, 0, "1E+05"},
      {"1234", 4, 0, "1234"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(BcdToStrFixed(StrToBcd(QString::fromLatin1(c.value)), c.precision, c.digits),
              QString::fromLatin1(c.text));
  }
}

TEST(Bcd, NormalizeSetsPrecisionAndScaleOrRefusesOverflow) {
  TBcd out;
  ASSERT_TRUE(NormalizeBcd(StrToBcd(QStringLiteral("1.23456")), out, 10, 4));
  EXPECT_EQ(BcdPrecision(out), 10);
  EXPECT_EQ(BcdScale(out), 4);
  EXPECT_EQ(BcdToStr(out), QStringLiteral("1.2346"));
  EXPECT_EQ(BcdToStrFixed(out, 10, 4), QStringLiteral("1.2346"));

  TBcd untouched = IntegerToBcd(9);
  EXPECT_FALSE(NormalizeBcd(StrToBcd(QStringLiteral("123456.7")), untouched, 6, 2));
  EXPECT_EQ(BcdToInteger(untouched), 9);
}

TEST(Bcd, CompareOrdersNumerically) {
  auto cmp = [](const char* a, const char* b) {
    return BcdCompare(StrToBcd(QString::fromLatin1(a)), StrToBcd(QString::fromLatin1(b)));
  };
  EXPECT_EQ(cmp("1.50", "1.5"), 0);
  EXPECT_EQ(cmp("-0", "0"), 0);
  EXPECT_EQ(cmp("2", "10"), -1);
  EXPECT_EQ(cmp("-2", "-10"), 1);
  EXPECT_EQ(cmp("-1", "0.1"), -1);
  EXPECT_EQ(cmp("0.001", "0.0009"), 1);
}

}  // namespace
