// What index keys, conditions and filters read from the records: a field read twice in one
// expression gives the same value both times, and keys that the clock changes are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr int kRecords = 300;

class IndexKeyValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("crew"), nullptr, ADS_ADT, 1, 0, 0, 0,
                               U8("NAME,Char,30;WIDE,NChar,24;NOTE,Memo;BORN,Date"), 0, nullptr, &table_),
              0u)
        << acetest::Last().text;
    for (int i = 0; i < kRecords; ++i) {
      // Long enough that a copy of the text lives in memory of its own, not inside a string.
      std::string name = i % 10 == 0 ? "" : "Crew member number " + std::to_string(1000 + (i * 7919) % 1000);
      names_.push_back(name);
      ASSERT_EQ(AdsAppendRecord(table_), 0u);
      ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
      ASSERT_EQ(AdsSetString(table_, U8("WIDE"), U8(name), static_cast<UNSIGNED32>(std::min<size_t>(name.size(), 24))), 0u);
      ASSERT_EQ(AdsSetString(table_, U8("NOTE"), U8(name + name), static_cast<UNSIGNED32>(2 * name.size())), 0u);
      ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
    }
  }
  void TearDown() override {
    if (table_) AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  // The records of a walk along `h` (an order, or the table with its filter).
  static std::vector<UNSIGNED32> Walk(ADSHANDLE h) {
    std::vector<UNSIGNED32> out;
    EXPECT_EQ(AdsGotoTop(h), 0u) << acetest::Last().text;
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(h, &eof) == 0 && !eof) {
      UNSIGNED32 rec = 0;
      AdsGetRecordNum(h, 1, &rec);
      out.push_back(rec);
      if (AdsSkip(h, 1) != 0 || out.size() > kRecords) break;
    }
    return out;
  }

  // Every record, ordered by the key `key` gives it (ties by record number).
  std::vector<UNSIGNED32> OrderBy(std::string (*key)(const std::string&)) const {
    std::vector<std::pair<std::string, UNSIGNED32>> keyed;
    for (size_t i = 0; i < names_.size(); ++i) keyed.push_back({key(names_[i]), static_cast<UNSIGNED32>(i + 1)});
    std::sort(keyed.begin(), keyed.end());
    std::vector<UNSIGNED32> out;
    for (const auto& k : keyed) out.push_back(k.second);
    return out;
  }

  std::vector<UNSIGNED32> All() const {
    std::vector<UNSIGNED32> out;
    for (UNSIGNED32 r = 1; r <= kRecords; ++r) out.push_back(r);
    return out;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0;
  std::vector<std::string> names_;
};

std::string Padded(const std::string& name) {
  std::string s = name + std::string(30 - name.size(), ' ');
  return s;
}

// PADR(NAME, 40, NAME): the 30 stored characters, then ten of the first one.
std::string PaddedWithItself(const std::string& name) {
  std::string s = Padded(name);
  return s + std::string(10, s[0]);
}

TEST_F(IndexKeyValues, AFieldReadTwiceGivesOneValueInEveryTag) {
  struct Case {
    const char* key;
    const char* condition;
    bool everyRecord;  // else none
  };
  const Case conditions[] = {
      {"NAME", "NAME = NAME", true},
      {"NAME", "NAME == NAME", true},
      {"NAME", "NAME + NAME = NAME + NAME", true},
      {"NAME", "UPPER(NAME) == UPPER(NAME)", true},
      {"NAME", "NAME <> NAME", false},
      {"NAME", "AT(NAME, NAME) = 1", true},
  };
  for (const Case& c : conditions) {
    SCOPED_TRACE(c.condition);
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("COND"), U8(c.key), U8(c.condition), nullptr, 0, 0, nullptr, &order), 0u)
        << acetest::Last().text;
    UNSIGNED32 keys = 0;
    ASSERT_EQ(AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys), 0u);
    EXPECT_EQ(keys, c.everyRecord ? static_cast<UNSIGNED32>(kRecords) : 0u);
    EXPECT_EQ(Walk(order), c.everyRecord ? OrderBy(Padded) : std::vector<UNSIGNED32>{});
    // A rebuild computes the same keys again.
    ASSERT_EQ(AdsReindex61(table_, 0), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsGetIndexHandle(table_, U8("COND"), &order), 0u);
    EXPECT_EQ(AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys), 0u);
    EXPECT_EQ(keys, c.everyRecord ? static_cast<UNSIGNED32>(kRecords) : 0u);
  }

  ADSHANDLE padded = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("PADDED"), U8("PADR(NAME, 40, NAME)"), nullptr, nullptr, 0, 0, nullptr,
                             &padded),
            0u)
      << acetest::Last().text;
  EXPECT_EQ(Walk(padded), OrderBy(PaddedWithItself));
}

TEST_F(IndexKeyValues, FiltersReadingAConvertedFieldTwiceSeeOneValue) {
  // National characters and memos are converted into text of their own per record.
  for (const char* filter : {"WIDE = WIDE", "NOTE == NOTE", "TRIM(WIDE) + WIDE = TRIM(WIDE) + WIDE", "NOTE + WIDE = NOTE + WIDE"}) {
    SCOPED_TRACE(filter);
    ASSERT_EQ(AdsSetFilter100(table_, U8(filter), 0), 0u) << acetest::Last().text;
    EXPECT_EQ(Walk(table_), All());
    ASSERT_EQ(AdsClearFilter(table_), 0u);
  }
}

TEST_F(IndexKeyValues, KeysAndConditionsThatReadTheClockAreRefused) {
  struct Case {
    const char* key;
    const char* condition;
  };
  const Case refused[] = {
      {"NOW()", nullptr},
      {"TIME()", nullptr},
      {"DTOS(DATE())", nullptr},
      {"NAME + TTOC(NOW())", nullptr},
      {"NAME;TODAY()", nullptr},
      {"NAME", "BORN < DATE()"},
      {"NAME", "TIME() > '12:00:00'"},
  };
  UNSIGNED16 before = 0;
  ASSERT_EQ(AdsGetNumIndexes(table_, &before), 0u);
  for (const Case& c : refused) {
    SCOPED_TRACE(std::string(c.key) + " FOR " + (c.condition ? c.condition : ""));
    ADSHANDLE order = 0;
    EXPECT_EQ(AdsCreateIndex90(table_, nullptr, U8("CLOCK"), U8(c.key), c.condition ? U8(c.condition) : nullptr, nullptr,
                               0, 0, nullptr, &order),
              7050u);
    acetest::LastError e = acetest::Last();
    EXPECT_EQ(e.code, 7050u);
    EXPECT_NE(e.text.find("reads the clock"), std::string::npos) << e.text;
    UNSIGNED16 after = 0;
    ASSERT_EQ(AdsGetNumIndexes(table_, &after), 0u);
    EXPECT_EQ(after, before);
  }
  // Dates from the record are what keys are made of.
  ADSHANDLE born = 0;
  EXPECT_EQ(AdsCreateIndex90(table_, nullptr, U8("BORN"), U8("DTOS(BORN) + NAME"), U8("BORN < {2100-01-01}"), nullptr,
                             0, 0, nullptr, &born),
            0u)
      << acetest::Last().text;
}

}  // namespace
