// What the field entry points keep between calls to answer the next one faster must never make
// an answer differ from what a first call would give: fields named in any order and case, the
// date format in force changed between two calls, a statement handle after a table handle, and
// the text of every empty field read into the string the thread reuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr UNSIGNED16 kTrim = 3;    // both ends
constexpr UNSIGNED32 kShared = 0;  // open option: neither exclusive nor read-only

UNSIGNED8* Fld(const char* name) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(name)); }

class FieldCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.WinFolder() + ";", &connection_), 0u) << acetest::Last().text;
  }
  void TearDown() override { EXPECT_EQ(AdsDisconnect(connection_), 0u); }

  // Creates the table and opens it shared.
  ADSHANDLE Create(const std::string& name, const char* fields) {
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsCreateTable90(connection_, U8(name), nullptr, ADS_ADT, 1, 0, 2, 0, Fld(fields), 0, nullptr, &t), 0u)
        << acetest::Last().text;
    EXPECT_EQ(AdsCloseTable(t), 0u);
    EXPECT_EQ(AdsOpenTable90(connection_, U8(name), nullptr, ADS_ADT, 1, 0, 2, kShared, nullptr, &t), 0u)
        << acetest::Last().text;
    return t;
  }

  // The field's text with option `trim`, or "error <code>".
  static std::string Get(ADSHANDLE t, const UNSIGNED8* field, UNSIGNED16 trim = 0) {
    UNSIGNED8 buf[256];
    UNSIGNED32 len = sizeof buf;
    UNSIGNED32 rc = AdsGetField(t, const_cast<UNSIGNED8*>(field), buf, &len, trim);
    if (rc != 0) return "error " + std::to_string(rc);
    return std::string(reinterpret_cast<char*>(buf), len);
  }

  acetest::Workspace ws_;
  ADSHANDLE connection_ = 0;
};

TEST_F(FieldCalls, FieldsAreFoundByNameInAnyOrderAndCase) {
  // Names that begin like one another, so that the field tried first is often a near miss.
  ADSHANDLE t = Create("names", "A,Char,4;AB,Char,4;ABC,Char,4;NAME,Char,4;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  ASSERT_EQ(AdsSetString(t, Fld("A"), U8("1"), 1), 0u);
  ASSERT_EQ(AdsSetString(t, Fld("AB"), U8("2"), 1), 0u);
  ASSERT_EQ(AdsSetString(t, Fld("ABC"), U8("3"), 1), 0u);
  ASSERT_EQ(AdsSetString(t, Fld("NAME"), U8("4"), 1), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  const struct {
    const char* name;  // null: field number 2
    std::string expected;
  } calls[] = {
      {"A", "1"},    {"AB", "2"},   {"ABC", "3"}, {"NAME", "4"}, {"A", "1"},      {"ab", "2"},
      {"a", "1"},    {"Ab", "2"},   {"aBc", "3"}, {"AB", "2"},   {"A", "1"},      {"ABCD", "error 5409"},
      {"ABC", "3"},  {"AB ", "error 5409"},       {"NAME", "4"}, {nullptr, "2"},  {"ABC", "3"},
      {"name", "4"}, {"NAMEX", "error 5409"},     {"A", "1"},    {"", "error 5409"}, {"AB", "2"},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.name ? c.name : "#2");
    const UNSIGNED8* field = c.name ? Fld(c.name) : reinterpret_cast<UNSIGNED8*>(static_cast<uintptr_t>(2));
    EXPECT_EQ(Get(t, field, kTrim), c.expected);
  }
  // Two handles on one table do not share where they are in the fields.
  ADSHANDLE other = 0;
  ASSERT_EQ(AdsOpenTable90(connection_, U8("names"), nullptr, ADS_ADT, 1, 0, 2, kShared, nullptr, &other), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsGotoTop(other), 0u);
  EXPECT_EQ(Get(other, Fld("AB"), kTrim), "2");
  EXPECT_EQ(Get(t, Fld("AB"), kTrim), "2");
  EXPECT_EQ(Get(other, Fld("ABC"), kTrim), "3");
  EXPECT_EQ(Get(t, Fld("A"), kTrim), "1");
  EXPECT_EQ(AdsCloseTable(other), 0u);
  EXPECT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(FieldCalls, DatesFollowTheFormatInForceAtEachCall) {
  ADSHANDLE t = Create("dates", "D,Date;TS,TimeStamp;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  ASSERT_EQ(AdsSetDate(t, Fld("D"), U8("02/29/2024"), 10), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsSetField(t, Fld("TS"), U8("12/31/1999 23:59:58"), 19), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  EXPECT_EQ(Get(t, Fld("D")), "02/29/2024");

  // The connection's format, changed between two reads of the same field.
  ASSERT_EQ(AdsSetDateFormat60(connection_, U8("DD.MM.YYYY")), 0u);
  EXPECT_EQ(Get(t, Fld("D")), "29.02.2024");
  EXPECT_EQ(Get(t, Fld("TS")), "31.12.1999 23:59:58");
  // Day 13 reads only with the day first.
  EXPECT_EQ(AdsSetDate(t, Fld("D"), U8("03/13/2024"), 10), 5415u) << "the old format no longer reads";
  ASSERT_EQ(AdsSetDate(t, Fld("D"), U8("13.03.2024"), 10), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  SIGNED32 julian = 0;
  ASSERT_EQ(AdsGetJulian(t, Fld("D"), &julian), 0u);
  EXPECT_EQ(julian, 2460383);  // 2024-03-13
  ASSERT_EQ(AdsSetDateFormat60(connection_, U8("YYYY-MM-DD")), 0u);
  EXPECT_EQ(Get(t, Fld("D")), "2024-03-13");

  // A table opened without a connection follows the process's format, which the connection's
  // own does not follow.
  UNSIGNED8 saved[16];
  UNSIGNED16 savedLen = sizeof saved;
  ASSERT_EQ(AdsGetDateFormat(saved, &savedLen), 0u);
  ADSHANDLE free = 0;
  const std::string path = ws_.Host("dates.adt");
  ASSERT_EQ(AdsOpenTable90(0, U8(path), nullptr, ADS_ADT, 1, 0, 2, kShared, nullptr, &free), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGotoTop(free), 0u);
  ASSERT_EQ(AdsSetDateFormat(U8("MM/DD/CCYY")), 0u);
  EXPECT_EQ(Get(free, Fld("D")), "03/13/2024");
  ASSERT_EQ(AdsSetDateFormat(U8("DD-MMM-YY")), 0u);
  EXPECT_EQ(Get(free, Fld("D")), "13-MAR-24");
  EXPECT_EQ(Get(t, Fld("D")), "2024-03-13");
  EXPECT_EQ(Get(free, Fld("D")), "13-MAR-24");
  ASSERT_EQ(AdsSetDateFormat(U8(std::string(reinterpret_cast<char*>(saved), savedLen))), 0u);
  EXPECT_EQ(AdsCloseTable(free), 0u);
  EXPECT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(FieldCalls, AnEmptyFieldOfEveryTypeReadsAsTheSameTextEveryTime) {
  ADSHANDLE t = Create("empty",
                       "C,Char,6;V,VarChar,8;M,Memo;L,Logical;D,Date;T,Time;TS,TimeStamp;SI,ShortInt;I,Integer;"
                       "DB,Double,2;CD,CurDouble,2;MO,Money;N,Numeric,8,2;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  const struct {
    const char* field;
    std::string untrimmed;
  } cases[] = {
      {"C", "      "}, {"V", ""},  {"M", ""},  {"L", " "},  {"D", ""},  {"T", ""}, {"TS", ""},
      {"SI", ""},       {"I", ""}, {"DB", ""}, {"CD", ""}, {"MO", ""}, {"N", ""},
  };
  // Twice through, the second time after a long text has filled the thread's string.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.field) + " pass " + std::to_string(pass));
      EXPECT_EQ(Get(t, Fld(c.field)), c.untrimmed);
      EXPECT_EQ(Get(t, Fld(c.field), kTrim), "");
    }
    ASSERT_EQ(AdsSetString(t, Fld("M"), U8(std::string(200, 'm')), 200), 0u);
    EXPECT_EQ(Get(t, Fld("M")), std::string(200, 'm'));
    ASSERT_EQ(AdsSetEmpty(t, Fld("M")), 0u);
  }
  EXPECT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(FieldCalls, AStatementHandleAfterATableHandleTakesItsParameter) {
  ADSHANDLE t = Create("items", "ID,Integer;NAME,Char,10;");
  for (int id = 1; id <= 3; ++id) {
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetLong(t, Fld("ID"), id), 0u);
    ASSERT_EQ(AdsSetString(t, Fld("NAME"), U8("n" + std::to_string(id)), 2), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
  }
  ADSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(AdsCreateSQLStatement(connection_, &statement), 0u);
  ASSERT_EQ(AdsPrepareSQLW(statement, const_cast<WCHAR*>(u"SELECT NAME FROM items WHERE ID = ?")), 0u) << acetest::Last().text;
  // Setters alternate between the two handles, each call right after one on the other.
  for (int id = 1; id <= 3; ++id) {
    SCOPED_TRACE(id);
    ASSERT_EQ(AdsSetLong(t, Fld("ID"), id * 10), 0u);  // the table's current record
    ASSERT_EQ(AdsSetLong(statement, reinterpret_cast<UNSIGNED8*>(static_cast<uintptr_t>(1)), id), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsExecuteSQL(statement, &cursor), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsGotoTop(cursor), 0u);
    EXPECT_EQ(Get(cursor, Fld("NAME"), kTrim), "n" + std::to_string(id));
    ASSERT_EQ(AdsCloseTable(cursor), 0u);
  }
  EXPECT_EQ(AdsWriteRecord(t), 0u);
  SIGNED32 id = 0;
  ASSERT_EQ(AdsGetLong(t, Fld("ID"), &id), 0u);
  EXPECT_EQ(id, 30);
  EXPECT_EQ(AdsCloseSQLStatement(statement), 0u);
  EXPECT_EQ(AdsCloseTable(t), 0u);
}

}  // namespace
