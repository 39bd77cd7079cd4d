// Index orders through the C interface on a small table: creation, the order of a walk, seeks,
// scopes and key numbers, every record change reflected at once, the orders kept when the table
// is opened again, and a deleted index file repaired by an exclusive open and reported by a
// shared one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

struct Row {
  std::string name;
  int n;
};

const std::vector<Row> kRows = {{"Miller", 5}, {"adams", 2}, {"Baker", 9}, {"miller", 1},
                                {"Clark", 7},  {"Evans", 2}, {"Adams", 4}};

class IndexApiBasic : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("crew"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("NAME,Char,10;N,Integer"), 0,
                               nullptr, &table_),
              0u)
        << acetest::Last().text;
    for (const Row& r : kRows) Append(r);
    ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYNAME"), U8("UPPER(NAME)"), nullptr, nullptr, 0, 0, nullptr,
                               &byName_),
              0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("BYN"), U8("N"), U8("N > 1"), nullptr, 8, 0, nullptr, &byN_), 0u)
        << acetest::Last().text;
  }
  void TearDown() override {
    if (table_) AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  void Append(const Row& r) {
    ASSERT_EQ(AdsAppendRecord(table_), 0u);
    ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(r.name), static_cast<UNSIGNED32>(r.name.size())), 0u);
    ASSERT_EQ(AdsSetLong(table_, U8("N"), r.n), 0u);
    ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  }

  // The record numbers of a walk from the top along `order`.
  static std::vector<UNSIGNED32> Walk(ADSHANDLE order) {
    std::vector<UNSIGNED32> out;
    EXPECT_EQ(AdsGotoTop(order), 0u) << acetest::Last().text;
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(order, &eof) == 0 && !eof) {
      UNSIGNED32 rec = 0;
      AdsGetRecordNum(order, 1, &rec);
      out.push_back(rec);
      if (AdsSkip(order, 1) != 0 || out.size() > 100) break;
    }
    return out;
  }

  // The same walk computed from rows: records sorted by (key, record number).
  template <typename Key>
  static std::vector<UNSIGNED32> Expected(const std::vector<Row>& rows, Key key, bool (*in)(const Row&), bool descending) {
    std::vector<std::pair<decltype(key(rows[0])), UNSIGNED32>> keyed;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (in(rows[i])) keyed.push_back({key(rows[i]), static_cast<UNSIGNED32>(i + 1)});
    }
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      if (a.first != b.first) return descending ? a.first > b.first : a.first < b.first;
      return a.second < b.second;  // ties by record number, in both directions
    });
    std::vector<UNSIGNED32> out;
    for (const auto& k : keyed) out.push_back(k.second);
    return out;
  }

  static std::string Upper(const Row& r) {
    std::string s = r.name;
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return s;
  }
  static int N(const Row& r) { return r.n; }
  static bool All(const Row&) { return true; }
  static bool OverOne(const Row& r) { return r.n > 1; }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0, byName_ = 0, byN_ = 0;
  std::vector<Row> rows_ = kRows;
};

TEST_F(IndexApiBasic, WalksFollowTheirTagsAndEveryChangeShowsAtOnce) {
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
  EXPECT_EQ(Walk(byN_), Expected(rows_, N, OverOne, true));  // descending, condition N > 1

  // An edit moves the record in both orders; a new record takes its place; a record whose key
  // leaves the condition leaves the order.
  ASSERT_EQ(AdsGotoRecord(table_, 3), 0u);
  ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8("Zeta"), 4), 0u);
  ASSERT_EQ(AdsSetLong(table_, U8("N"), 1), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  rows_[2] = {"Zeta", 1};
  Append({"Brown", 6});
  rows_.push_back({"Brown", 6});
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
  EXPECT_EQ(Walk(byN_), Expected(rows_, N, OverOne, true));

  // The orders are in the index file: a shared open sees the same walks.
  AdsCloseTable(table_);
  table_ = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &table_), 0u) << acetest::Last().text;
  ADSHANDLE byName = 0, byN = 0;
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("byname"), &byName), 0u) << acetest::Last().text;  // names ignore case
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYN"), &byN), 0u);
  EXPECT_EQ(Walk(byName), Expected(rows_, Upper, All, false));
  EXPECT_EQ(Walk(byN), Expected(rows_, N, OverOne, true));
  ADSHANDLE again = 0;
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &again), 0u);
  EXPECT_EQ(again, byName);  // one handle per order
}

TEST_F(IndexApiBasic, SeeksScopesAndKeyNumbers) {
  UNSIGNED16 found = 0;
  // A soft seek of a partial text key stands on the first key that starts with it.
  ASSERT_EQ(AdsSeek(byName_, U8("MIL"), 3, ADS_STRINGKEY, ADS_SOFTSEEK, &found), 0u) << acetest::Last().text;
  EXPECT_EQ(found, 1);
  UNSIGNED32 rec = 0;
  AdsGetRecordNum(table_, 1, &rec);
  EXPECT_EQ(rec, 1u);  // "Miller", record 1, before "miller", record 4
  UNSIGNED32 keyNum = 0;
  ASSERT_EQ(AdsGetKeyNum(byName_, ADS_IGNOREFILTERS, &keyNum), 0u);
  EXPECT_EQ(keyNum, 6u);  // ADAMS ADAMS BAKER CLARK EVANS MILLER

  // A hard seek that misses goes to the end; a soft one to the next key.
  ASSERT_EQ(AdsSeek(byName_, U8("DOE"), 3, ADS_STRINGKEY, ADS_HARDSEEK, &found), 0u);
  EXPECT_EQ(found, 0);
  UNSIGNED16 eof = 0;
  AdsAtEOF(table_, &eof);
  EXPECT_EQ(eof, 1);
  ASSERT_EQ(AdsSeek(byName_, U8("DOE"), 3, ADS_STRINGKEY, ADS_SOFTSEEK, &found), 0u);
  EXPECT_EQ(found, 0);
  AdsGetRecordNum(table_, 1, &rec);
  EXPECT_EQ(rec, 6u);  // EVANS

  // A scope from "B" to "E" holds BAKER, CLARK and EVANS (a partial bound admits every key
  // starting with it).
  UNSIGNED32 count = 0;
  EXPECT_EQ(AdsGetScope(byName_, ADS_TOP, nullptr, nullptr), AE_NO_SCOPE);
  ASSERT_EQ(AdsSetScope(byName_, ADS_TOP, U8("B"), 1, ADS_STRINGKEY), 0u);
  ASSERT_EQ(AdsSetScope(byName_, ADS_BOTTOM, U8("E"), 1, ADS_STRINGKEY), 0u);
  EXPECT_EQ(Walk(byName_), (std::vector<UNSIGNED32>{3, 5, 6}));
  ASSERT_EQ(AdsGetKeyCount(byName_, ADS_RESPECTSCOPES, &count), 0u);
  EXPECT_EQ(count, 3u);
  ASSERT_EQ(AdsGetKeyCount(byName_, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 7u);
  ASSERT_EQ(AdsClearScope(byName_, ADS_TOP), 0u);
  EXPECT_EQ(AdsClearScope(byName_, ADS_TOP), AE_NO_SCOPE);
  EXPECT_EQ(Walk(byName_).size(), 5u);  // ADAMS ADAMS BAKER CLARK EVANS
  ASSERT_EQ(AdsClearAllScopes(table_), 0u);
  EXPECT_EQ(Walk(byName_).size(), 7u);

  // Relative positions run from 0 at the first key to 1 at the last.
  ASSERT_EQ(AdsSetRelKeyPos(byName_, 1.0), 0u);
  AdsGetRecordNum(table_, 1, &rec);
  EXPECT_EQ(rec, 4u);  // the last MILLER
  DOUBLE pos = 0;
  ASSERT_EQ(AdsGetRelKeyPos(byName_, &pos), 0u);
  EXPECT_DOUBLE_EQ(pos, 1.0);
}

TEST_F(IndexApiBasic, DescribesItsOrdersAndRefusesUnknownOnes) {
  UNSIGNED16 n = 0;
  ASSERT_EQ(AdsGetNumIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 2);
  ADSHANDLE handles[2] = {0, 0};
  UNSIGNED16 len = 1;
  EXPECT_EQ(AdsGetAllIndexes(table_, handles, &len), AE_INSUFFICIENT_BUFFER);
  EXPECT_EQ(len, 2);
  ASSERT_EQ(AdsGetAllIndexes(table_, handles, &len), 0u);
  EXPECT_EQ(handles[0], byName_);
  EXPECT_EQ(handles[1], byN_);
  ADSHANDLE second = 0;
  ASSERT_EQ(AdsGetIndexHandleByOrder(table_, 2, &second), 0u);
  EXPECT_EQ(second, byN_);

  UNSIGNED8 text[64];
  UNSIGNED16 textLen = sizeof text;
  ASSERT_EQ(AdsGetIndexExpr(byName_, text, &textLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "UPPER(NAME)");
  textLen = sizeof text;
  ASSERT_EQ(AdsGetIndexCondition(byN_, text, &textLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "N > 1");
  textLen = sizeof text;
  ASSERT_EQ(AdsGetSegmentFieldname(byName_, 0, text, &textLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "NAME");
  textLen = sizeof text;
  ASSERT_EQ(AdsGetIndexFilename(byName_, 2, text, &textLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "crew.adi");
  UNSIGNED16 flag = 0;
  ASSERT_EQ(AdsIsIndexDescending(byN_, &flag), 0u);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(AdsIsIndexDescending(byName_, &flag), 0u);
  EXPECT_EQ(flag, 0);

  ADSHANDLE none = 0;
  EXPECT_EQ(AdsGetIndexHandle(table_, U8("NOSUCH"), &none), AE_NO_SUCH_INDEX_ORDER);
  EXPECT_EQ(AdsGetIndexHandleByOrder(table_, 3, &none), AE_NO_SUCH_INDEX_ORDER);
  ASSERT_EQ(AdsGetIndexHandle(table_, nullptr, &none), 0u);
  EXPECT_EQ(none, 0u);  // a table handle has no order of its own
  ASSERT_EQ(AdsGetNumFTSIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 0);

  // A deleted tag is gone with its handle; the other keeps working.
  ASSERT_EQ(AdsDeleteIndex(byN_), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGetNumIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 1);
  EXPECT_NE(AdsGotoTop(byN_), 0u);
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
}

// A field name may hold letters of the upper half of the code page: each segment of a key
// names the field it reads.
TEST_F(IndexApiBasic, SegmentsNameFieldsWithLettersBeyondAscii) {
  const std::string size = "Gr\xf6\xdf" "e";
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsCreateTable90(conn_, U8("sizes"), nullptr, ADS_ADT, 1, 0, 0, 0, U8(size + ",Char,4;N,Integer;\xc4" "x,Integer"),
                             0, nullptr, &t),
            0u)
      << acetest::Last().text;
  struct Case {
    std::string expression;
    std::vector<std::string> segments;
  };
  const std::vector<Case> cases = {
      {size, {size}},
      {"UPPER(" + size + ")+STR(N,3)", {size, "N"}},
      {"N;" + size, {"N", size}},
      {"\xc4x;" + size, {"\xc4x", size}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].expression);
    ADSHANDLE order = 0;
    const std::string tag = "T" + std::to_string(i);
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, U8(tag), U8(cases[i].expression), nullptr, nullptr, 0, 0, nullptr, &order), 0u)
        << acetest::Last().text;
    UNSIGNED16 count = 0;
    ASSERT_EQ(AdsGetNumSegments(order, &count), 0u) << acetest::Last().text;
    std::vector<std::string> segments;
    for (UNSIGNED16 s = 0; s < count; ++s) {
      UNSIGNED8 text[64] = {};
      UNSIGNED16 len = sizeof text;
      ASSERT_EQ(AdsGetSegmentFieldname(order, s, text, &len), 0u) << acetest::Last().text;
      segments.emplace_back(reinterpret_cast<char*>(text), len);
    }
    EXPECT_EQ(segments, cases[i].segments);
  }
  AdsCloseTable(t);
}

// Opening an index file that is already open answers 5065 and the handles of its orders, so a
// caller that only knows the file's name can close it.
TEST_F(IndexApiBasic, AnIndexFileOpenedAgainAnswersItsOrders) {
  ADSHANDLE first = 0, second = 0;
  ASSERT_EQ(AdsCreateIndex90(table_, U8("pair.adi"), U8("P1"), U8("N"), nullptr, nullptr, 0, 0, nullptr, &first), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsCreateIndex90(table_, U8("pair.adi"), U8("P2"), U8("NAME"), nullptr, nullptr, 0, 0, nullptr, &second), 0u)
      << acetest::Last().text;
  ADSHANDLE handles[3] = {0, 0, 0};
  UNSIGNED16 len = 3;
  EXPECT_EQ(AdsOpenIndex(table_, U8("pair.adi"), handles, &len), AE_INDEX_ALREADY_OPEN);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(handles[0], first);
  EXPECT_EQ(handles[1], second);
  // With room for one, the first order; the other orders are still open.
  ADSHANDLE one[1] = {0};
  len = 1;
  EXPECT_EQ(AdsOpenIndex(table_, U8("pair.adi"), one, &len), AE_INDEX_ALREADY_OPEN);
  EXPECT_EQ(len, 1);
  EXPECT_EQ(one[0], first);
  UNSIGNED16 n = 0;
  ASSERT_EQ(AdsGetNumIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 4);
  // Closing through that handle closes the whole file.
  ASSERT_EQ(AdsCloseIndex(one[0]), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGetNumIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
}

TEST_F(IndexApiBasic, AMissingIndexFileIsReportedSharedAndRebuiltExclusive) {
  AdsCloseTable(table_);
  table_ = 0;
  std::filesystem::remove(ws_.Host("crew.adi"));

  // A shared open works; its orders say why they cannot be used.
  ASSERT_EQ(AdsOpenTable90(conn_, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &table_), 0u) << acetest::Last().text;
  ADSHANDLE order = 0;
  UNSIGNED32 rc = AdsGetIndexHandle(table_, U8("BYNAME"), &order);
  EXPECT_NE(rc, 0u);
  EXPECT_NE(acetest::Last().text.find("crew.adi"), std::string::npos) << acetest::Last().text;
  AdsCloseTable(table_);
  table_ = 0;

  // An exclusive open repairs it from the definitions the table holds.
  ASSERT_EQ(AdsOpenTable90(conn_, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, ADS_EXCLUSIVE, nullptr, &table_), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &order), 0u) << acetest::Last().text;
  EXPECT_EQ(Walk(order), Expected(rows_, Upper, All, false));
  ASSERT_EQ(AdsReindex61(table_, 0), 0u) << acetest::Last().text;
  EXPECT_EQ(Walk(order), Expected(rows_, Upper, All, false));  // the handle survives a reindex
}

TEST_F(IndexApiBasic, ACandidateTagRefusesASecondRecordWithItsKeyAndChangesNothing) {
  ADSHANDLE byNameOnce = 0;
  // Two "MILLER" and two "ADAMS" already: the tag cannot be built.
  EXPECT_EQ(AdsCreateIndex90(table_, nullptr, U8("ONCE"), U8("UPPER(NAME)"), nullptr, nullptr, ADS_CANDIDATE, 0, nullptr,
                             &byNameOnce),
            AE_DUPLICATE_KEY);
  UNSIGNED16 n = 0;
  ASSERT_EQ(AdsGetNumIndexes(table_, &n), 0u);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("ONCE"), U8("N"), nullptr, nullptr, ADS_CANDIDATE, 0, nullptr, &byNameOnce), AE_DUPLICATE_KEY);
  ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("ONCE"), U8("NAME"), nullptr, nullptr, ADS_CANDIDATE, 0, nullptr, &byNameOnce),
            0u)
      << acetest::Last().text;
  // A new record with an existing key is refused and leaves the table and every tag as they were.
  ASSERT_EQ(AdsAppendRecord(table_), 0u);
  ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8("Baker"), 5), 0u);
  EXPECT_EQ(AdsWriteRecord(table_), AE_DUPLICATE_KEY);
  AdsCancelUpdate(table_);
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
  EXPECT_EQ(Walk(byNameOnce).size(), rows_.size());
}

std::vector<std::pair<UNSIGNED16, UNSIGNED32>> gCalls;
UNSIGNED32 gStopAt = 1000;
UNSIGNED32 RecordCall(UNSIGNED16 percent, UNSIGNED32 id) {
  gCalls.push_back({percent, id});
  return percent >= gStopAt ? 1 : 0;
}

TEST_F(IndexApiBasic, AReindexReportsToTheCallbackFunctionWithItsIdentifierAndStopsWhenAsked) {
  gCalls.clear();
  gStopAt = 1000;
  ASSERT_EQ(AdsRegisterCallbackFunction(RecordCall, 42), 0u);
  ASSERT_EQ(AdsReindex61(table_, 0), 0u) << acetest::Last().text;
  ASSERT_FALSE(gCalls.empty());
  EXPECT_EQ(gCalls.back().first, 100);
  for (const auto& c : gCalls) EXPECT_EQ(c.second, 42u);

  gStopAt = 0;  // the first report asks to stop: the old index stays
  EXPECT_EQ(AdsReindex61(table_, 0), 7049u);
  EXPECT_EQ(Walk(byName_), Expected(rows_, Upper, All, false));
  ASSERT_EQ(AdsClearCallbackFunction(), 0u);
  gCalls.clear();
  ASSERT_EQ(AdsReindex61(table_, 0), 0u);
  EXPECT_TRUE(gCalls.empty());
}

// Counting through an order keeps to what the order holds (its condition and scopes) as well
// as to the filter; counting through the table or ignoring filters does not.
TEST_F(IndexApiBasic, RecordCountsThroughAnOrderKeepToItsConditionScopesAndFilter) {
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(byN_, ADS_RESPECTFILTERS, &count), 0u) << acetest::Last().text;
  EXPECT_EQ(count, 6u);  // every record but "miller" (N = 1): the condition is N > 1
  ASSERT_EQ(AdsGetRecordCount(byN_, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 7u);
  ASSERT_EQ(AdsGetRecordCount(table_, ADS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 7u);

  ASSERT_EQ(AdsSetScope(byName_, ADS_TOP, U8("B"), 1, ADS_STRINGKEY), 0u);
  ASSERT_EQ(AdsSetScope(byName_, ADS_BOTTOM, U8("E"), 1, ADS_STRINGKEY), 0u);
  ASSERT_EQ(AdsGetRecordCount(byName_, ADS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 3u);  // BAKER, CLARK, EVANS
  char filter[] = "N > 4";
  ASSERT_EQ(AdsSetFilter100(table_, filter, 0), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGetRecordCount(byName_, ADS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 2u);  // BAKER (9), CLARK (7)
  ASSERT_EQ(AdsGetRecordCount(byN_, ADS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 3u);  // Miller (5), Baker (9), Clark (7)
  ASSERT_EQ(AdsGetRecordCount(byName_, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 7u);
}

}  // namespace
