// Raw keys built from field values on an index order handle (AdsInitRawKey, the field setters on
// the index handle, AdsBuildRawKey, AdsBuildRawKey100 with options 1 and 4) and stepped to their
// neighbours (AdsStepIndexKey), as key searches and ranges use them: every built key must select
// exactly the records whose values start with (or, for whole values, equal) the values given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;
using Bytes = std::vector<UNSIGNED8>;
constexpr UNSIGNED16 kRTrim = 2;  // AdsGetString without trailing blanks

struct Row {
  std::string name;
  std::string city;
  std::optional<int> n;
  std::u16string w;
};

const std::vector<Row> kRows = {
    {"Abel", "Rome", 5, u"abc"},   {"abbot", "Oslo", 2, u"Abc"},  {"Abe", "Riga", 9, u"ab"},
    {"Abelard", "Rome", 1, u"b"},  {"Abel", "Oslo", 7, u"abd"},   {"Baker", "Rome", 5, u"ab"},
    {"bakers", "Bonn", 3, u"x"},   {"", "", std::nullopt, u""},   {"Abel", "Roma", 5, u"ac"},
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}
bool Starts(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

// One field value given to the raw key: text (8-bit or UTF-16), an integer, or empty.
struct Give {
  const char* field;
  std::string text;
  int kind = 0;  // 0 text (AdsSetField with the text's length), 1 UTF-16 text, 2 integer, 3 empty
  int number = 0;
};

struct Case {
  const char* what;
  const char* tag;
  std::vector<Give> gives;
  int build;  // -1 AdsBuildRawKey, else the AdsBuildRawKey100 option
  std::function<bool(const Row&)> selects;
};

class IndexRawKey : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("crew"), nullptr, ADS_ADT, 1, 0, 0, 0,
                               U8("NAME,Char,8;CITY,Char,5;N,Integer;W,NChar,4"), 0, nullptr, &table_),
              0u)
        << acetest::Last().text;
    for (const Row& r : kRows) {
      ASSERT_EQ(AdsAppendRecord(table_), 0u);
      if (r.name.empty()) {
        ASSERT_EQ(AdsSetEmpty(table_, U8("NAME")), 0u);
      } else {
        ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(r.name), static_cast<UNSIGNED32>(r.name.size())), 0u);
      }
      ASSERT_EQ(AdsSetString(table_, U8("CITY"), U8(r.city), static_cast<UNSIGNED32>(r.city.size())), 0u);
      if (r.n) {
        ASSERT_EQ(AdsSetLong(table_, U8("N"), *r.n), 0u);
      }
      std::u16string w = r.w;
      ASSERT_EQ(AdsSetFieldW(table_, U8("W"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u) << acetest::Last().text;
      ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
    }
    struct TagDef {
      const char* name;
      const char* expr;
      UNSIGNED32 options;
    };
    for (const TagDef& t : {TagDef{"BYUPPER", "UPPER(NAME)", 0}, TagDef{"BYNAMEN", "NAME;N", 0},
                            TagDef{"BYCAT", "NAME+CITY", 0},
                            TagDef{"BYDESC", "NAME", ADS_DESCENDING}}) {
      ADSHANDLE h = 0;
      ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8(t.name), U8(t.expr), nullptr, nullptr, t.options, 0, nullptr, &h), 0u)
          << t.name << ": " << acetest::Last().text;
    }
  }
  void TearDown() override {
    AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  ADSHANDLE Order(const char* tag) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsGetIndexHandle(table_, U8(tag), &h), 0u) << acetest::Last().text;
    return h;
  }

  Bytes Build(ADSHANDLE order, const Case& c) {
    EXPECT_EQ(AdsInitRawKey(order), 0u) << acetest::Last().text;
    for (const Give& g : c.gives) {
      UNSIGNED32 rc = 0;
      if (g.kind == 0) {
        rc = AdsSetField(order, U8(g.field), U8(g.text), static_cast<UNSIGNED32>(g.text.size()));
      } else if (g.kind == 1) {
        std::u16string w(g.text.begin(), g.text.end());
        rc = AdsSetFieldW(order, U8(g.field), w.data(), static_cast<UNSIGNED32>(w.size()));
      } else if (g.kind == 2) {
        UNSIGNED8 raw[4];
        std::memcpy(raw, &g.number, 4);
        rc = AdsSetFieldRaw(order, U8(g.field), raw, 4);
      } else {
        rc = AdsSetEmpty(order, U8(g.field));
      }
      EXPECT_EQ(rc, 0u) << c.what << ": " << acetest::Last().text;
    }
    UNSIGNED8 key[256];
    UNSIGNED16 len = sizeof key;
    UNSIGNED32 rc = c.build < 0 ? AdsBuildRawKey(order, key, &len)
                                : AdsBuildRawKey100(order, key, &len, static_cast<UNSIGNED32>(c.build));
    EXPECT_EQ(rc, 0u) << c.what << ": " << acetest::Last().text;
    return Bytes(key, key + (rc == 0 ? len : 0));
  }

  // The records whose own key on the order starts with `key`.
  std::vector<UNSIGNED32> Selected(ADSHANDLE order, const Bytes& key) {
    std::vector<UNSIGNED32> out;
    for (UNSIGNED32 r = 1; r <= kRows.size(); ++r) {
      EXPECT_EQ(AdsGotoRecord(table_, r), 0u);
      UNSIGNED8 own[256];
      UNSIGNED16 len = sizeof own;
      EXPECT_EQ(AdsExtractKey(order, own, &len), 0u) << acetest::Last().text;
      if (len >= key.size() && std::equal(key.begin(), key.end(), own)) out.push_back(r);
    }
    return out;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0;
};

TEST_F(IndexRawKey, BuiltKeysSelectTheRecordsWhoseValuesTheyGive) {
  const std::vector<Case> cases = {
      {"a text prefix under UPPER", "BYUPPER", {{"NAME", "ab"}}, -1,
       [](const Row& r) { return Starts(Upper(r.name), "AB"); }},
      {"a whole text under UPPER", "BYUPPER", {{"NAME", "abe"}}, 1, [](const Row& r) { return Upper(r.name) == "ABE"; }},
      {"the first segment whole, the second not given", "BYNAMEN", {{"NAME", "Abel"}}, 1,
       [](const Row& r) { return r.name == "Abel"; }},
      {"both segments whole", "BYNAMEN", {{"NAME", "Abel"}, {"N", "", 2, 5}}, 1,
       [](const Row& r) { return r.name == "Abel" && r.n == 5; }},
      {"the first segment as a prefix", "BYNAMEN", {{"NAME", "Abel"}}, -1,
       [](const Row& r) { return Starts(r.name, "Abel"); }},
      {"the second segment without the first", "BYNAMEN", {{"N", "", 2, 5}}, 1, [](const Row&) { return true; }},
      {"both segments given empty", "BYNAMEN", {{"NAME", "", 3}, {"N", "", 3}}, 1,
       [](const Row& r) { return r.name.empty() && !r.n; }},
      {"a concatenation: the first field padded whole, the second as a prefix", "BYCAT",
       {{"NAME", "Abel    "}, {"CITY", "Ro"}}, -1, [](const Row& r) { return r.name == "Abel" && Starts(r.city, "Ro"); }},
      {"a concatenation: a short first field ends the key inside it", "BYCAT", {{"NAME", "Abel"}, {"CITY", "Rome"}}, -1,
       [](const Row& r) { return Starts(r.name, "Abel"); }},
      {"a UTF-16 prefix on a text field", "BYUPPER", {{"NAME", "ab", 1}}, 4,
       [](const Row& r) { return Starts(Upper(r.name), "AB"); }},
      {"a whole UTF-16 text on a text field", "BYCAT", {{"NAME", "Abel", 1}, {"CITY", "Rome", 1}}, 1,
       [](const Row& r) { return r.name == "Abel" && r.city == "Rome"; }},
      {"a prefix on a descending tag", "BYDESC", {{"NAME", "Ab"}}, -1, [](const Row& r) { return Starts(r.name, "Ab"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ADSHANDLE order = Order(c.tag);
    Bytes key = Build(order, c);
    std::vector<UNSIGNED32> expect;
    for (UNSIGNED32 r = 1; r <= kRows.size(); ++r) {
      if (c.selects(kRows[r - 1])) expect.push_back(r);
    }
    EXPECT_EQ(Selected(order, key), expect);
    // A raw soft seek with the key stands on the first of them in the order.
    UNSIGNED16 found = 0;
    key.reserve(1);  // an empty key is still passed in a buffer
    ASSERT_EQ(AdsSeek(order, key.data(), static_cast<UNSIGNED16>(key.size()), ADS_RAWKEY, ADS_SOFTSEEK, &found), 0u)
        << acetest::Last().text;
    EXPECT_EQ(found, expect.empty() ? 0 : 1);
    if (!expect.empty()) {
      UNSIGNED32 at = 0;
      ASSERT_EQ(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, &at), 0u);
      EXPECT_NE(std::find(expect.begin(), expect.end(), at), expect.end()) << "seek stood on record " << at;
      UNSIGNED32 keyNum = 0, firstNum = ~0u;
      ASSERT_EQ(AdsGetKeyNum(order, ADS_IGNOREFILTERS, &keyNum), 0u);
      for (UNSIGNED32 r : expect) {
        UNSIGNED32 k = 0;
        ASSERT_EQ(AdsGotoRecord(table_, r), 0u);
        ASSERT_EQ(AdsGetKeyNum(order, ADS_IGNOREFILTERS, &k), 0u);
        firstNum = std::min(firstNum, k);
      }
      EXPECT_EQ(keyNum, firstNum);
    }
  }
}

TEST_F(IndexRawKey, SettersOnTheIndexHandleFillTheKeyNotTheRecordUntilItIsBuilt) {
  ADSHANDLE order = Order("BYUPPER");
  ASSERT_EQ(AdsGotoRecord(table_, 1), 0u);
  ASSERT_EQ(AdsInitRawKey(order), 0u);
  ASSERT_EQ(AdsSetField(order, U8("NAME"), U8("Zed"), 3), 0u);
  UNSIGNED8 text[32];
  UNSIGNED32 len = sizeof text;
  ASSERT_EQ(AdsGetString(table_, U8("NAME"), text, &len, kRTrim), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "Abel");
  UNSIGNED8 key[64];
  UNSIGNED16 keyLen = 1;
  EXPECT_EQ(AdsBuildRawKey(order, key, &keyLen), AE_INSUFFICIENT_BUFFER);  // the key stays being built
  EXPECT_EQ(keyLen, 4u);                                                     // marker and "ZED"
  keyLen = sizeof key;
  ASSERT_EQ(AdsBuildRawKey(order, key, &keyLen), 0u) << acetest::Last().text;
  EXPECT_EQ(keyLen, 4u);
  EXPECT_NE(AdsBuildRawKey(order, key, &keyLen), 0u);  // built: a new key starts with AdsInitRawKey
  // Once built, the setters on the index handle change the current record again.
  ASSERT_EQ(AdsSetField(order, U8("NAME"), U8("Zed"), 3), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  len = sizeof text;
  ASSERT_EQ(AdsGetString(table_, U8("NAME"), text, &len, kRTrim), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "Zed");
}

TEST_F(IndexRawKey, SteppedKeysBoundRangesThatExcludeTheKeyItself) {
  // Names in the order of BYUPPER: (empty) ABBOT ABE ABEL ABEL ABEL ABELARD BAKER BAKERS.
  ADSHANDLE order = Order("BYUPPER");
  struct Step {
    const char* top;
    const char* bottom;
    std::vector<std::string> names;  // UPPER(NAME) of the records in the range
  };
  const std::vector<Step> steps = {
      {"ABE", "BAKER", {"ABEL", "ABEL", "ABEL", "ABELARD"}},  // whole keys: both ends excluded
      {"ABEL", "BAKERS", {"ABELARD", "BAKER"}},
      {"", "ABBOT", {}},  // nothing lies between the empty name and the first one
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.top) + " .. " + s.bottom);
    for (int bound : {1, 2}) {
      Case c{"bound", "BYUPPER", {{"NAME", bound == 1 ? s.top : s.bottom}}, 1, nullptr};
      Bytes key = Build(order, c);
      UNSIGNED16 full = 0;
      ASSERT_EQ(AdsGetKeyLength(order, &full), 0u);
      ASSERT_EQ(key.size(), full);
      ASSERT_EQ(AdsStepIndexKey(order, key.data(), full, bound == 1 ? 1 : -1), 0u) << acetest::Last().text;
      ASSERT_EQ(AdsSetScope(order, static_cast<UNSIGNED16>(bound), key.data(), full, ADS_RAWKEY), 0u);
    }
    std::vector<std::string> names;
    ASSERT_EQ(AdsGotoTop(order), 0u);
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(table_, &eof) == 0 && !eof && names.size() < 20) {
      UNSIGNED8 text[32];
      UNSIGNED32 len = sizeof text;
      ASSERT_EQ(AdsGetString(table_, U8("NAME"), text, &len, kRTrim), 0u);
      names.push_back(Upper(std::string(reinterpret_cast<char*>(text), len)));
      ASSERT_EQ(AdsSkip(order, 1), 0u);
    }
    EXPECT_EQ(names, s.names);
    ASSERT_EQ(AdsClearAllScopes(table_), 0u);
  }
  // A key of all 0xFF bytes has nothing above it; a length beyond the key's is refused.
  UNSIGNED16 full = 0;
  ASSERT_EQ(AdsGetKeyLength(order, &full), 0u);
  Bytes top(full, 0xFF);
  EXPECT_NE(AdsStepIndexKey(order, top.data(), full, 1), 0u);
  Bytes longer(full + 1u, 0x41);
  EXPECT_NE(AdsStepIndexKey(order, longer.data(), static_cast<UNSIGNED16>(full + 1), 1), 0u);
}

}  // namespace

namespace {

// A table whose key fields stand beside numbers of every kind and a counter: the fields a raw
// key leaves unset are filled with the extremes they can hold, which must fit each field.
TEST(IndexRawKeyBesideNumbers, KeysOfEveryFieldAreBuiltAndSelectTheirRecord) {
  acetest::Workspace ws;
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect60(U8(ws.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsCreateTable90(conn, U8("prices"), nullptr, ADS_ADT, 1, 0, 0, 0,
                             U8("NAME,Char,4;N,Numeric,5,2;M,Money;D,Double;A,AutoInc;"), 0, nullptr, &table),
            0u)
      << acetest::Last().text;
  const struct {
    const char* name;
    double n, m, d;
  } rows[] = {{"a", 1.5, 2.25, -3}, {"b", -1.5, -100000000000.5, 1e300}, {"c", 99.99, 1, 0}};
  for (const auto& r : rows) {
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsSetString(table, U8("NAME"), U8(r.name), 1), 0u);
    ASSERT_EQ(AdsSetDouble(table, U8("N"), r.n), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetDouble(table, U8("M"), r.m), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetDouble(table, U8("D"), r.d), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsWriteRecord(table), 0u) << acetest::Last().text;
  }
  for (const char* tag : {"NAME", "N", "M", "D"}) {
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsCreateIndex90(table, nullptr, U8(tag), U8(tag), nullptr, nullptr, 0, 0, nullptr, &h), 0u) << tag;
  }
  for (const char* tag : {"NAME", "N", "M", "D"}) {
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsGetIndexHandle(table, U8(tag), &order), 0u);
    for (UNSIGNED32 r = 1; r <= 3; ++r) {
      SCOPED_TRACE(std::string(tag) + " of record " + std::to_string(r));
      const auto& row = rows[r - 1];
      ASSERT_EQ(AdsInitRawKey(order), 0u);
      const std::string field(tag);
      const UNSIGNED32 set = field == "NAME" ? AdsSetString(order, U8("NAME"), U8(row.name), 1)
                                             : AdsSetDouble(order, U8(tag), field == "N" ? row.n : field == "M" ? row.m : row.d);
      ASSERT_EQ(set, 0u) << acetest::Last().text;
      UNSIGNED8 key[64];
      UNSIGNED16 len = sizeof key;
      ASSERT_EQ(AdsBuildRawKey100(order, key, &len, 1), 0u) << acetest::Last().text;
      ASSERT_EQ(AdsGotoRecord(table, r), 0u);
      UNSIGNED8 own[64];
      UNSIGNED16 ownLen = sizeof own;
      ASSERT_EQ(AdsExtractKey(order, own, &ownLen), 0u);
      EXPECT_EQ(Bytes(key, key + len), Bytes(own, own + ownLen));
    }
  }
  AdsCloseTable(table);
  AdsDisconnect(conn);
}

}  // namespace
