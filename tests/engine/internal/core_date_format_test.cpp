// Date formats, Julian day numbers and the date conversion entry points.
#include <gtest/gtest.h>

#include "ace/ace.h"
#include "engine/core/date_format.h"
#include "support/api_fixture.h"

namespace {

using engine::core::DateFormat;

TEST(CoreDateFormat, JulianDayNumbersMatchTheCalendar) {
  EXPECT_EQ(engine::core::JulianFromCivil(1899, 12, 30), 2415019);
  EXPECT_EQ(engine::core::JulianFromCivil(2000, 1, 1), 2451545);
  EXPECT_EQ(engine::core::JulianFromCivil(1, 1, 1), 1721426);
  int y;
  unsigned m, d;
  engine::core::CivilFromJulian(2460000, &y, &m, &d);
  EXPECT_EQ(engine::core::JulianFromCivil(y, m, d), 2460000);
}

TEST(CoreDateFormat, FormatsWriteAndReadDates) {
  const struct {
    const char* format;
    const char* text;
    int year;
    unsigned month, day;
  } cases[] = {
      {"MM/DD/CCYY", "02/29/2024", 2024, 2, 29}, {"DD.MM.YYYY", "31.12.1999", 1999, 12, 31},
      {"YYYY-MM-DD", "0001-01-01", 1, 1, 1},     {"DD-MMM-YY", "05-MAR-07", 2007, 3, 5},
      {"M/D/YY", "7/4/76", 1976, 7, 4},          {"YYYYMMDD", "20230615", 2023, 6, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    DateFormat f = DateFormat::Parse(c.format);
    int32_t julian = engine::core::JulianFromCivil(c.year, c.month, c.day);
    EXPECT_EQ(f.Format(julian), c.text);
    EXPECT_EQ(f.ParseDate(c.text), julian);
  }
  DateFormat us = DateFormat::Parse("MM/DD/YYYY");
  for (const char* bad : {"02/30/2024", "13/01/2024", "1/1", "aa/bb/cccc", "01/01/2024x"}) {
    EXPECT_FALSE(us.ParseDate(bad).has_value()) << bad;
  }
  EXPECT_EQ(us.ParseDate("          "), 0);
  for (const char* bad : {"", "DD/MM", "DD/MM/YYYY/YY", "QQ/MM/YYYY", "DD/MM/YYYYYY", "DD.MM.YYYY.."}) {
    EXPECT_FALSE(DateFormat::TryParse(bad).has_value()) << bad;
  }
}

TEST(CoreDateFormat, TheEntryPointsConvertDatesAndKeepTheProcessFormat) {
  using acetest::U8;
  UNSIGNED8 saved[12];
  UNSIGNED16 len = 12;
  ASSERT_EQ(AdsGetDateFormat(saved, &len), 0u);
  std::string original(reinterpret_cast<char*>(saved), len);
  EXPECT_EQ(AdsSetDateFormat(U8("DD/MM/YYYY")), 0u);
  EXPECT_EQ(AdsSetDateFormat(U8("not a format")), 5911u);
  UNSIGNED8 now[12];
  len = 12;
  ASSERT_EQ(AdsGetDateFormat(now, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(now), len), "DD/MM/YYYY") << "a refused format changes nothing";
  DOUBLE julian = 0;
  ASSERT_EQ(AdsConvertDateToJulian(0, U8("30/12/1899"), 10, &julian), 0u);
  EXPECT_EQ(julian, 2415019.0);
  EXPECT_EQ(AdsConvertDateToJulian(0, U8("12/30/1899"), 10, &julian), 5903u);
  UNSIGNED8 text[69];
  len = 69;
  ASSERT_EQ(AdsConvertJulianToString(2451545.0, text, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "20000101");
  ASSERT_EQ(AdsConvertStringToJulian(U8("20000101"), 8, &julian), 0u);
  EXPECT_EQ(julian, 2451545.0);
  EXPECT_EQ(AdsConvertStringToJulian(U8("2000-01-01"), 10, &julian), 5903u);
  ASSERT_EQ(AdsSetDateFormat(U8(original)), 0u);
}

TEST(CoreDateFormat, AConnectionKeepsItsOwnFormatAndServerTimeUsesIt) {
  using acetest::U8;
  acetest::Workspace ws;
  ADSHANDLE h = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws.WinFolder() + ";DateFormat=YYYY-MM-DD;", &h), 0u);
  DOUBLE julian = 0;
  ASSERT_EQ(AdsConvertDateToJulian(h, U8("2024-02-29"), 10, &julian), 0u) << acetest::Last().text;
  EXPECT_EQ(julian, engine::core::JulianFromCivil(2024, 2, 29));
  ASSERT_EQ(AdsSetDateFormat60(h, U8("DD.MM.YYYY")), 0u);
  EXPECT_EQ(AdsSetDateFormat60(h, U8("DD.MM")), 5911u);
  UNSIGNED8 date[69], time[69];
  UNSIGNED16 dlen = 69, tlen = 69;
  SIGNED32 ms = -1;
  ASSERT_EQ(AdsGetServerTime(h, date, &dlen, &ms, time, &tlen), 0u);
  ASSERT_EQ(AdsConvertDateToJulian(h, date, dlen, &julian), 0u) << std::string(reinterpret_cast<char*>(date), dlen);
  UNSIGNED8 ymd[69];
  UNSIGNED16 ylen = 69;
  ASSERT_EQ(AdsConvertJulianToString(julian, ymd, &ylen), 0u);
  EXPECT_EQ(ylen, 8u);
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 86400000);
  EXPECT_EQ(tlen, 8u);
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

}  // namespace
