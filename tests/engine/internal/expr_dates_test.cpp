// Dates, times and timestamps: the calendar, the connection's date format, the epoch for
// two-digit years and the text conversions in both directions.
#include "expr_fixture.h"

namespace exprtest {
namespace {

TEST(ExprCalendar, JulianDayNumbersRoundTrip) {
  EXPECT_EQ(JulianFromYmd(2000, 1, 1), 2451545);
  EXPECT_EQ(JulianFromYmd(1970, 1, 1), 2440588);
  EXPECT_EQ(JulianFromYmd(2024, 2, 29) - JulianFromYmd(2024, 2, 28), 1);
  struct Bad {
    int y, m, d;
  } bad[] = {{2023, 2, 29}, {1900, 2, 29}, {2024, 13, 1}, {2024, 0, 1}, {2024, 4, 31}, {0, 1, 1}, {10000, 1, 1}};
  for (const Bad& b : bad) EXPECT_EQ(JulianFromYmd(b.y, b.m, b.d), 0) << b.y << "-" << b.m << "-" << b.d;
  EXPECT_NE(JulianFromYmd(2000, 2, 29), 0);
  for (int64_t j = JulianFromYmd(1, 1, 1); j < JulianFromYmd(9999, 12, 31); j += 997) {
    int y, m, d;
    engine::expr::YmdFromJulian(j, y, m, d);
    ASSERT_EQ(JulianFromYmd(y, m, d), j);
  }
}

TEST_F(ExprTest, DtocAndCtodFollowTheDateFormat) {
  struct Case {
    const char* format;
    const char* written;  // DTOC of 1982-03-07
    const char* empty;    // DTOC of the empty date
  } cases[] = {
      {"MM/DD/YYYY", "03/07/1982", "  /  /    "},
      {"DD.MM.YYYY", "07.03.1982", "  .  .    "},
      {"DD.MM.YY", "07.03.82", "  .  .  "},
      {"YYYY-MM-DD", "1982-03-07", "    -  -  "},
      {"YYYYMMDD", "19820307", "        "},
      {"dd/mm/yyyy", "07/03/1982", "  /  /    "},
      {"CCYY/MM/DD", "1982/03/07", "    /  /  "},
      {"DD-MMM-YYYY", "07-MAR-1982", "  -   -    "},
      {"M/D/YYYY", "3/7/1982", "  /  /    "},
  };
  for (const Case& c : cases) {
    options.dateFormat = c.format;
    EXPECT_EQ(str("DTOC(BORN)"), c.written) << c.format;
    EXPECT_EQ(str("DTOC({})"), c.empty) << c.format;
    EXPECT_EQ(date(std::string("CTOD('") + c.written + "')"), JulianFromYmd(1982, 3, 7)) << c.format;
    EXPECT_TRUE(logic("CTOD(DTOC(BORN)) = BORN")) << c.format;
    EXPECT_EQ(date(std::string("CTOD('") + c.empty + "')"), 0) << c.format;
    EXPECT_EQ(compile("DTOC(BORN)")->length(), std::string(c.empty).size()) << c.format;
  }
}

TEST(ExprDateFormat, OnlyPatternsWithOneDayMonthAndYearAreAccepted) {
  for (const char* good : {"MM/DD/YYYY", "DD.MM.YY", "YYYYMMDD", "D/M/YY", "DD MMM CCYY", "mm-dd-yyyy"})
    EXPECT_TRUE(engine::expr::IsValidDateFormat(good)) << good;
  for (const char* bad : {"", "MM/DD", "MM/DD/YYY", "MM/DD/Y", "MM/MM/YYYY", "DDD/MM/YY", "MMMM/DD/YY", "CC/MM/DD",
                          "MM/DD/YYYYY", "DD/MM/YY/YY"})
    EXPECT_FALSE(engine::expr::IsValidDateFormat(bad)) << bad;
}

TEST_F(ExprTest, MonthNamesAndSingleDigitFieldsAreRead) {
  options.dateFormat = "DD-MMM-YYYY";
  EXPECT_EQ(date("CTOD('07-mar-1982')"), JulianFromYmd(1982, 3, 7));
  EXPECT_EQ(date("CTOD('07-XYZ-1982')"), 0);
  EXPECT_EQ(date("CTOD('07-03-1982')"), 0);
  options.dateFormat = "M/D/YYYY";
  EXPECT_EQ(date("CTOD('12/31/2024')"), JulianFromYmd(2024, 12, 31));
  EXPECT_EQ(str("DTOC({2024-12-31})"), "12/31/2024");
  EXPECT_EQ(str("DTOC({2024-01-02})"), "1/2/2024");
  options.dateFormat = "YYYYMMDD";
  EXPECT_EQ(date("CTOD('19820307')"), JulianFromYmd(1982, 3, 7));
  EXPECT_EQ(date("CTOD('1982037')"), 0);
}

TEST_F(ExprTest, CtodReadsLenientlyAndGivesTheEmptyDateForNonsense) {
  struct Case {
    const char* text;
    int y, m, d;  // 0 for the empty date
  } cases[] = {
      {"3/7/1982", 1982, 3, 7},   {"03-07-1982", 1982, 3, 7}, {" 03/07/1982 ", 1982, 3, 7},
      {"12/31/99", 1999, 12, 31}, {"01/01/00", 1900, 1, 1},   {"02/30/2024", 0, 0, 0},
      {"13/01/2024", 0, 0, 0},    {"abc", 0, 0, 0},           {"", 0, 0, 0},
      {"03/07", 0, 0, 0},         {"03/07/1982x", 0, 0, 0},
  };
  for (const Case& c : cases) {
    int64_t want = c.y ? JulianFromYmd(c.y, c.m, c.d) : 0;
    EXPECT_EQ(date(std::string("CTOD('") + c.text + "')"), want) << c.text;
  }
}

TEST_F(ExprTest, TwoDigitYearsFallIntoTheEpochsCentury) {
  options.dateFormat = "DD.MM.YY";
  options.epoch = 1950;
  EXPECT_EQ(date("CTOD('01.01.49')"), JulianFromYmd(2049, 1, 1));
  EXPECT_EQ(date("CTOD('01.01.50')"), JulianFromYmd(1950, 1, 1));
  EXPECT_EQ(date("CTOD('01.01.1949')"), JulianFromYmd(1949, 1, 1));
  options.epoch = 1900;
  EXPECT_EQ(date("CTOD('01.01.49')"), JulianFromYmd(1949, 1, 1));
}

TEST_F(ExprTest, TimesAndTimestamps) {
  struct TimeCase {
    const char* text;
    int64_t ms;  // -1 for no value
  } times[] = {
      {"10:20:30", ((10 * 60 + 20) * 60 + 30) * 1000LL},
      {"10:20", (10 * 60 + 20) * 60 * 1000LL},
      {"00:00:00", 0},
      {"23:59:59.5", ((23 * 60 + 59) * 60 + 59) * 1000LL + 500},
      {"12:00:00 AM", 0},
      {"1:05 PM", (13 * 60 + 5) * 60 * 1000LL},
      {"12:30 pm", (12 * 60 + 30) * 60 * 1000LL},
      {"24:00", -1},
      {"10:60", -1},
      {"13:00 PM", -1},
      {"ten", -1},
      {"", -1},
  };
  for (const TimeCase& c : times) {
    Result r = eval(std::string("CTOT('") + c.text + "')");
    EXPECT_EQ(r.type, ExprType::Time);
    if (c.ms < 0) {
      EXPECT_TRUE(r.value.null) << c.text;
    } else {
      EXPECT_FALSE(r.value.null) << c.text;
      EXPECT_EQ(r.value.integer, c.ms) << c.text;
    }
  }
  EXPECT_EQ(str("TTOC(START)"), "08:30:00");
  EXPECT_EQ(str("TTOC(STAMP)"), "01/31/2024 13:05:09");
  EXPECT_EQ(compile("TTOC(STAMP)")->length(), 19u);
  EXPECT_TRUE(logic("CTOTS('01/31/2024 13:05:09') = STAMP"));
  EXPECT_TRUE(logic("CTOTS(TTOC(STAMP)) = STAMP"));
  EXPECT_TRUE(logic("CTOTS('01/31/2024') = {2024-01-31}"));
  EXPECT_TRUE(logic("EMPTY(CTOTS('garbage'))"));
  EXPECT_TRUE(logic("EMPTY(CTOTS('01/31/2024 25:00'))"));
  options.dateFormat = "DD.MM.YYYY";
  EXPECT_EQ(str("TTOC(STAMP)"), "31.01.2024 13:05:09");
  EXPECT_TRUE(logic("CTOTS('31.01.2024 13:05:09') = STAMP"));
  EXPECT_EQ(str("TTOC(CTOTS(''))"), "  .  .       :  :  ");
}

TEST_F(ExprTest, DateLiteralsAndStod) {
  EXPECT_EQ(date("{2024-01-31}"), JulianFromYmd(2024, 1, 31));
  EXPECT_EQ(date("{2024/01/31}"), JulianFromYmd(2024, 1, 31));
  EXPECT_EQ(date("{^2024.1.31}"), JulianFromYmd(2024, 1, 31));
  EXPECT_EQ(date("{ }"), 0);
  EXPECT_EQ(date("STOD('20240131')"), JulianFromYmd(2024, 1, 31));
  EXPECT_EQ(date("STOD(DTOS(BORN))"), JulianFromYmd(1982, 3, 7));
  EXPECT_EQ(date("STOD('2024013')"), 0);
  EXPECT_EQ(date("STOD('20241331')"), 0);
  EXPECT_EQ(eval("{2024-01-31 13:05:09}").type, ExprType::Timestamp);
  for (const char* bad : {"{2024-01-31 25:00}", "{2024-01-31x}", "{31.01.2024}", "{2024-1}"})
    EXPECT_EQ(fail(bad).code, engine::err::kExprSyntax) << bad;
}

TEST_F(ExprTest, OneEvaluationSeesOneInstantAndTheClockOtherwise) {
  EXPECT_TRUE(logic("DTOS(DATE()) + TIME() = '2026120922:15:30'"));
  options.fixedNowMs.reset();
  auto e = compile("YEAR(DATE())");
  double year = e->Evaluate(&table, options).number;
  EXPECT_GE(year, 2024);
  EXPECT_LE(year, 9999);
}

}  // namespace
}  // namespace exprtest
