// Creating index tags with a WHILE condition and a page size, opening a table whose tags were
// built with another collation (refused, rebuilt with option 0x100, ignored with 0x200), and a
// shared open of a table whose index file is damaged: its orders say they are not available,
// the records stay usable, and an exclusive open rebuilds an index that holds every record,
// those written meanwhile included.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr UNSIGNED32 kRebuildOnMismatch = 0x100;
constexpr UNSIGNED32 kIgnoreMismatch = 0x200;

class IndexCreateOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("crew"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("NAME,Char,10;N,Integer"), 0, nullptr,
                               &table_),
              0u)
        << acetest::Last().text;
    // N runs 1..20; NAME alternates so that a walk by name differs from record order.
    for (int i = 1; i <= 20; ++i) Append(std::string(1, static_cast<char>('a' + (i * 7) % 20)) + "x", i);
  }
  void TearDown() override {
    if (table_) AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  void Append(const std::string& name, int n) {
    ASSERT_EQ(AdsAppendRecord(table_), 0u);
    ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
    ASSERT_EQ(AdsSetLong(table_, U8("N"), n), 0u);
    ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  }

  UNSIGNED32 Reopen(UNSIGNED32 options, const char* collation = nullptr) {
    if (table_) AdsCloseTable(table_);
    table_ = 0;
    return AdsOpenTable90(conn_, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, options, collation ? U8(collation) : nullptr,
                          &table_);
  }

  std::vector<int> WalkN(ADSHANDLE order) {
    std::vector<int> out;
    EXPECT_EQ(AdsGotoTop(order), 0u) << acetest::Last().text;
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(order, &eof) == 0 && !eof && out.size() < 100) {
      SIGNED32 n = 0;
      EXPECT_EQ(AdsGetLong(table_, U8("N"), &n), 0u);
      out.push_back(n);
      EXPECT_EQ(AdsSkip(order, 1), 0u);
    }
    return out;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0;
};

TEST_F(IndexCreateOpen, AWhileConditionTakesRecordsFromTheCurrentOneWhileItHolds) {
  ADSHANDLE byN = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYN"), U8("N"), nullptr, nullptr, ADS_DESCENDING, 0, nullptr, &byN), 0u);
  struct Case {
    const char* what;
    ADSHANDLE from;      // 0: the table handle in record order
    int start;           // N of the record to start from
    const char* cond;    // FOR condition (may be null)
    const char* whileC;  // WHILE condition
    std::vector<int> expect;  // N in the new tag's order
  };
  const std::vector<Case> cases = {
      {"record order from record 5", 0, 5, nullptr, "N < 9", {5, 6, 7, 8}},
      {"record order, the start fails at once", 0, 12, nullptr, "N < 9", {}},
      {"along a descending order", byN, 15, nullptr, "N > 10", {11, 12, 13, 14, 15}},
      {"with a FOR condition inside the WHILE range", 0, 1, "INT(N / 2) * 2 = N", "N <= 10", {2, 4, 6, 8, 10}},
  };
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(AdsGotoRecord(table_, static_cast<UNSIGNED32>(c.start)), 0u);
    ADSHANDLE from = c.from ? c.from : table_;
    ADSHANDLE tag = 0;
    std::string name = "W" + std::to_string(k++);
    ASSERT_EQ(AdsCreateIndex90(from, nullptr, U8(name), U8("N"), c.cond ? U8(c.cond) : nullptr, U8(c.whileC), 0, 0,
                               nullptr, &tag),
              0u)
        << acetest::Last().text;
    UNSIGNED32 rec = 0;
    ASSERT_EQ(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, &rec), 0u);
    EXPECT_EQ(rec, static_cast<UNSIGNED32>(c.start));  // the position stays
    EXPECT_EQ(WalkN(tag), c.expect);
  }
  // A WHILE condition that does not compile changes nothing.
  UNSIGNED16 before = 0, after = 0;
  ASSERT_EQ(AdsGetNumIndexes(table_, &before), 0u);
  ADSHANDLE bad = 0;
  EXPECT_NE(AdsCreateIndex90(table_, nullptr, U8("BAD"), U8("N"), nullptr, U8("N <"), 0, 0, nullptr, &bad), 0u);
  ASSERT_EQ(AdsGetNumIndexes(table_, &after), 0u);
  EXPECT_EQ(after, before);
  // A reindex builds every tag complete again: the WHILE condition limits only the creation.
  ASSERT_EQ(AdsReindex61(table_, 0), 0u) << acetest::Last().text;
  ADSHANDLE w0 = 0;
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("W0"), &w0), 0u);
  EXPECT_EQ(WalkN(w0).size(), 20u);
}

TEST_F(IndexCreateOpen, ThePageSizeGivenAtCreationIsKeptByLaterRebuilds) {
  ADSHANDLE tag = 0;
  EXPECT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYN"), U8("N"), nullptr, nullptr, 0, 1000, nullptr, &tag),
            7047u);
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYN"), U8("N"), nullptr, nullptr, 0, 2048, nullptr, &tag), 0u)
      << acetest::Last().text;
  UNSIGNED32 size = 0;
  ASSERT_EQ(AdsGetIndexPageSize(tag, &size), 0u);
  EXPECT_EQ(size, 2048u);
  ADSHANDLE byName = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYNAME"), U8("NAME"), nullptr, nullptr, 0, 0, nullptr, &byName), 0u);
  ASSERT_EQ(AdsGetIndexPageSize(byName, &size), 0u);
  EXPECT_EQ(size, 2048u);  // one file, one page size
  ASSERT_EQ(AdsReindex61(table_, 0), 0u);
  ASSERT_EQ(AdsGetIndexPageSize(tag, &size), 0u);
  EXPECT_EQ(size, 2048u);
  ASSERT_EQ(AdsReindex61(table_, 4096), 0u);
  ASSERT_EQ(AdsGetIndexPageSize(tag, &size), 0u);
  EXPECT_EQ(size, 4096u);
  EXPECT_EQ(WalkN(tag).size(), 20u);
}

TEST_F(IndexCreateOpen, ACollationMismatchAtOpenIsRefusedRebuiltOrIgnored) {
  ADSHANDLE tag = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYNAME"), U8("NAME"), nullptr, nullptr, 0, 0, nullptr, &tag), 0u);
  const char* other = "GERMAN_VFP_CI_AS_1252";
  struct Case {
    const char* what;
    UNSIGNED32 options;
    bool fails;
  };
  const std::vector<Case> cases = {
      {"another collation without an option is refused", 0, true},
      {"a shared open cannot rebuild", kRebuildOnMismatch, true},
      {"ignored", kIgnoreMismatch, false},
      {"ignored in an exclusive open too", ADS_EXCLUSIVE | kIgnoreMismatch, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UNSIGNED32 rc = Reopen(c.options, other);
    if (c.fails) {
      EXPECT_NE(rc, 0u);
      EXPECT_NE(acetest::Last().text.find("BYNAME"), std::string::npos) << acetest::Last().text;
    } else {
      ASSERT_EQ(rc, 0u) << acetest::Last().text;
      ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &tag), 0u);
      EXPECT_EQ(WalkN(tag).size(), 20u);
    }
  }
  // Rebuilt with the collation asked for: later opens with it need no option.
  ASSERT_EQ(Reopen(ADS_EXCLUSIVE | kRebuildOnMismatch, other), 0u) << acetest::Last().text;
  ASSERT_EQ(Reopen(0, other), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &tag), 0u) << acetest::Last().text;
  EXPECT_EQ(WalkN(tag).size(), 20u);
  ASSERT_EQ(Reopen(0, nullptr), 0u) << acetest::Last().text;  // no collation asked: any will do
}

TEST_F(IndexCreateOpen, ASharedOpenOfADamagedIndexReportsItAndLosesNothing) {
  ADSHANDLE tag = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYN"), U8("N"), nullptr, nullptr, ADS_DESCENDING, 0, nullptr, &tag), 0u);
  AdsCloseTable(table_);
  table_ = 0;
  const std::string index = ws_.Host("crew.adi");
  std::string good = acetest::ReadFile(index);
  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const std::vector<Damage> damages = {
      {"missing", [&] { std::filesystem::remove(index); }},
      {"truncated", [&] { acetest::WriteFile(index, good.substr(0, good.size() / 2)); }},
      {"garbage", [&] { acetest::WriteFile(index, std::string(good.size(), '\x5a')); }},
      {"empty", [&] { acetest::WriteFile(index, ""); }},
  };
  int n = 20;
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    d.apply();
    ASSERT_EQ(Reopen(0), 0u) << acetest::Last().text;
    UNSIGNED32 rc = AdsGetIndexHandle(table_, U8("BYN"), &tag);
    EXPECT_NE(rc, 0u);
    std::string text = acetest::Last().text;
    EXPECT_NE(text.find("crew.adi"), std::string::npos) << text;
    EXPECT_NE(text.find("rebuild"), std::string::npos) << text;
    UNSIGNED16 count = 0;
    EXPECT_NE(AdsGetNumIndexes(table_, &count), 0u);
    // The records stay readable and writable in record order.
    Append("zz", ++n);
    UNSIGNED32 records = 0;
    ASSERT_EQ(AdsGetRecordCount(table_, ADS_IGNOREFILTERS, &records), 0u);
    EXPECT_EQ(records, static_cast<UNSIGNED32>(n));
    // An exclusive open rebuilds the index with every record, the new ones included.
    ASSERT_EQ(Reopen(ADS_EXCLUSIVE), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYN"), &tag), 0u) << acetest::Last().text;
    std::vector<int> expect;
    for (int i = n; i >= 1; --i) expect.push_back(i);
    EXPECT_EQ(WalkN(tag), expect);
    AdsCloseTable(table_);
    table_ = 0;
    good = acetest::ReadFile(index);
  }
}

}  // namespace
