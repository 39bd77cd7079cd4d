#include "runtime/datetime.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace {

// Restores the process-wide settings a test changes.
class DateTimeText : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = FormatSettings(); }
  void TearDown() override { FormatSettings() = saved_; }
  TFormatSettings saved_;
};

TEST(DateTimeValue, CountsDaysFromTheEpochWithTheTimeAsFraction) {
  struct Case {
    int y, m, d;
    double value;
  } cases[] = {{1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {1899, 12, 29, -1},
               {2000, 1, 1, 36526}, {2026, 12, 9, 46365}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value);
    int y, m, d;
    DecodeDate(c.value + (c.value < 0 ? -0.75 : 0.75), y, m, d);
    EXPECT_EQ(QDate(y, m, d), QDate(c.y, c.m, c.d));
  }
  EXPECT_DOUBLE_EQ(EncodeTime(18, 0, 0, 0), 0.75);
  int h, n, s, ms;
  DecodeTime(EncodeDate(2026, 1, 2) + EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ((std::vector<int>{h, n, s, ms}), (std::vector<int>{23, 59, 59, 999}));
  // Before the epoch the fraction is still the time of day: -1.25 is 1899-12-29 06:00.
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(DateTimeToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
  EXPECT_DOUBLE_EQ(QDateTimeToDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
  EXPECT_DOUBLE_EQ(QDateTimeToDateTime(QDateTime(QDate(2000, 1, 1), QTime(12, 0))), 36526.5);
}

TEST(DateTimeValue, RefusesDatesAndTimesThatDoNotExist) {
  for (auto [y, m, d] : {std::tuple{2023, 2, 29}, {2024, 13, 1}, {0, 1, 1}, {10000, 1, 1}, {2024, 4, 31}}) {
    TDateTime r = -5;
    EXPECT_FALSE(TryEncodeDate(y, m, d, r));
    EXPECT_EQ(r, -5);
    EXPECT_THROW(EncodeDate(y, m, d), EConvertError);
  }
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, *std::make_unique<TDateTime>()));
  for (auto [h, n, s, ms] : {std::tuple{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}}) {
    EXPECT_THROW(EncodeTime(h, n, s, ms), EConvertError);
  }
}

TEST_F(DateTimeText, DateTimeToStrWritesTheDateAloneAtExactMidnight) {
  FormatSettings().ShortDateFormat = "dd/mm/yyyy";
  FormatSettings().DateSeparator = u'.';
  FormatSettings().LongTimeFormat = "hh:nn:ss";
  FormatSettings().TimeSeparator = u':';
  const TDateTime day = EncodeDate(2026, 3, 7);
  EXPECT_EQ(DateTimeToStr(day), QStringLiteral("07.03.2026"));
  EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 0, 1)), QStringLiteral("07.03.2026 00:00:00"));
  EXPECT_EQ(DateTimeToStr(day + EncodeTime(9, 5, 3, 0)), QStringLiteral("07.03.2026 09:05:03"));
  FormatSettings().TimeSeparator = u'.';
  EXPECT_EQ(DateTimeToStr(day + EncodeTime(9, 5, 3, 0)), QStringLiteral("07.03.2026 09.05.03"));
}

TEST_F(DateTimeText, FixedDefaultsGiveIsoLikeText) {
  FormatSettings() = TFormatSettings();
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 9) + EncodeTime(23, 4, 5, 0)), QStringLiteral("2026-12-09 23:04:05"));
}

TEST_F(DateTimeText, FormatTokensIncludingMinutesAfterHours) {
  const TDateTime dt = EncodeDate(2026, 2, 3) + EncodeTime(14, 7, 9, 45);  // a Tuesday
  struct Case {
    const char* format;
    const char* text;
  } cases[] = {
      {"hh:mm:ss", "14:07:09"},
      {"h:m:s", "14:7:9"},
      {"hh nn", "14 07"},
      {"mm/dd/yy", "02-03-26"},
      {"d.m.yyyy", "3.2.2026"},
      {"ddd dddd mmm mmmm", "Tue Tuesday Feb February"},
      {"hh:mm 'mm' \"dd\"", "14:07 mm dd"},
      {"zzz z", "045 45"},
      {"h:nn am/pm", "2:07 pm"},
      {"hh:nn A/P", "02:07 P"},
      {"hh ampm", "02 PM"},
      {"t|tt", "14:07|14:07:09"},
      {"ddddd", "2026-02-03"},
      {"c", "2026-02-03 14:07:09"},
      {"[x]", "[x]"},
  };
  FormatSettings() = TFormatSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatDateTime(QString::fromUtf8(c.format), dt), QString::fromUtf8(c.text));
  }
  // "hh:mm:ss" as the short time format writes minutes, not the month.
  FormatSettings().ShortTimeFormat = "hh:mm:ss";
  EXPECT_EQ(FormatDateTime("t", dt), QStringLiteral("14:07:09"));
  EXPECT_EQ(FormatDateTime("h am/pm", EncodeTime(0, 30, 0, 0)), QStringLiteral("12 am"));
}

}  // namespace
