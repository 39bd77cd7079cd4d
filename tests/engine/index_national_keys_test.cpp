// Index tags on national (UTF-16) character fields: a segment that names such a field keys the
// field's own UTF-16 text, so texts the ANSI code page cannot spell are told apart; the order
// holds through appends, edits and a reindex; seeks by UTF-16 text and by raw keys built with
// AdsSetFieldW find exactly their records; and optimised filters do not read such tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

class IndexNationalKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("names"), nullptr, ADS_ADT, 1, 0, 0, 0,
                               U8("ID,Integer;NC,NChar,6;NV,NVarChar,6;N,Integer"), 0, nullptr, &table_),
              0u)
        << acetest::Last().text;
    int id = 0;
    for (const std::u16string& w : {std::u16string(u"Щук"), std::u16string(u"Smith"), std::u16string(u"Жук"),
                                    std::u16string(u"SMITH"), std::u16string(u"Ёж")}) {
      Append(++id, w);
    }
    for (const char* tag : {"NC", "NV", "NV;N"}) {
      ADSHANDLE h = 0;
      const std::string name = std::string(tag) == "NV;N" ? "NV_N" : tag;
      ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8(name), U8(tag), nullptr, nullptr, 2, 0, nullptr, &h), 0u)
          << tag << ": " << acetest::Last().text;
    }
  }
  void TearDown() override {
    AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  void Append(int id, std::u16string w) {
    ASSERT_EQ(AdsAppendRecord(table_), 0u);
    ASSERT_EQ(AdsSetLong(table_, U8("ID"), id), 0u);
    ASSERT_EQ(AdsSetLong(table_, U8("N"), 10 * id), 0u);
    ASSERT_EQ(AdsSetStringW(table_, U8("NC"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsSetStringW(table_, U8("NV"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  }

  ADSHANDLE Order(const char* tag) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsGetIndexHandle(table_, U8(tag), &h), 0u) << acetest::Last().text;
    return h;
  }

  int Id() {
    SIGNED32 id = 0;
    EXPECT_EQ(AdsGetLong(table_, U8("ID"), &id), 0u) << acetest::Last().text;
    return id;
  }

  std::vector<int> Walk(ADSHANDLE order) {
    std::vector<int> ids;
    EXPECT_EQ(AdsGotoTop(order), 0u);
    for (;;) {
      UNSIGNED16 eof = 0;
      EXPECT_EQ(AdsAtEOF(table_, &eof), 0u);
      if (eof) break;
      ids.push_back(Id());
      EXPECT_EQ(AdsSkip(order, 1), 0u);
    }
    return ids;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0;
  ADSHANDLE table_ = 0;
};

// A key or condition that would read a national field through an 8-bit expression (where
// every character outside the code page is "?") is refused, naming the field and why, at the
// position counted from the start of the whole key.
TEST_F(IndexNationalKeys, ExpressionsThatCannotReadANationalFieldExactlyAreRefusedWithTheReason) {
  const struct {
    const char* key;
    const char* condition;
    const char* message;
  } cases[] = {
      {"UPPER(NC)", nullptr, "position 7: the national character field NC can be read by an index only as a key segment of its own"},
      {"ID", "NV = 'x'", "position 1: the national character field NV can be read by an index only as a key segment of its own"},
      {"NC;TRIM(NV)", nullptr, "position 9: the national character field NV"},
      {"NOSUCH", nullptr, "position 1: unknown field NOSUCH"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsCreateIndex90(table_, nullptr, U8("BAD"), U8(c.key), U8(c.condition ? c.condition : ""), nullptr, 2, 0,
                               nullptr, &h),
              5303u);
    const std::string text = acetest::Last().text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
}

}  // namespace

TEST_F(IndexNationalKeys, TagsOrderTheUtf16TextAndFollowChanges) {
  // Byte order of the table: UTF-16 code units ("SMITH" < "Smith" < "Ёж" < "Жук" < "Щук").
  const std::vector<int> order = {4, 2, 5, 3, 1};
  EXPECT_EQ(Walk(Order("NC")), order);
  EXPECT_EQ(Walk(Order("NV")), order);
  EXPECT_EQ(Walk(Order("NV_N")), order);
  // An edit moves the key; an append and a reindex keep the order.
  ASSERT_EQ(AdsGotoRecord(table_, 2), 0u);
  std::u16string a = u"Aa";
  ASSERT_EQ(AdsSetStringW(table_, U8("NV"), a.data(), 2), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u);
  Append(6, u"Юла");
  EXPECT_EQ(Walk(Order("NV")), (std::vector<int>{2, 4, 5, 3, 1, 6}));
  ASSERT_EQ(AdsReindex61(table_, 0), 0u) << acetest::Last().text;
  EXPECT_EQ(Walk(Order("NV")), (std::vector<int>{2, 4, 5, 3, 1, 6}));
  EXPECT_EQ(Walk(Order("NC")), (std::vector<int>{4, 2, 5, 3, 1, 6}));
}

TEST_F(IndexNationalKeys, SeeksFindExactlyTheirText) {
  struct Case {
    std::u16string text;
    int id;  // 0: not found
  };
  for (const Case& c :
       {Case{u"Жук", 3}, Case{u"Щук", 1}, Case{u"Smith", 2}, Case{u"SMITH", 4}, Case{u"Зук", 0}}) {
    SCOPED_TRACE(static_cast<int>(c.id));
    // By UTF-16 text.
    std::u16string key = c.text;
    UNSIGNED16 found = 0;
    ASSERT_EQ(AdsSeek(Order("NC"), reinterpret_cast<UNSIGNED8*>(key.data()),
                      static_cast<UNSIGNED16>(2 * key.size()), 8, 2, &found),
              0u)
        << acetest::Last().text;
    EXPECT_EQ(found != 0, c.id != 0);
    if (c.id) {
      EXPECT_EQ(Id(), c.id);
    }
    // By a raw key of whole values on the compound tag.
    ADSHANDLE order = Order("NV_N");
    ASSERT_EQ(AdsInitRawKey(order), 0u);
    ASSERT_EQ(AdsSetFieldW(order, U8("NV"), key.data(), static_cast<UNSIGNED32>(key.size())), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsSetLong(order, U8("N"), 10 * c.id), 0u);
    UNSIGNED8 raw[200];
    UNSIGNED16 length = sizeof raw;
    ASSERT_EQ(AdsBuildRawKey100(order, raw, &length, 1), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSeek(order, raw, length, 1, 2, &found), 0u);
    EXPECT_EQ(found != 0, c.id != 0);
    if (c.id) {
      EXPECT_EQ(Id(), c.id);
    }
  }
}

TEST_F(IndexNationalKeys, OptimisedFiltersEvaluateNationalFieldsInsteadOfReadingTheirTags) {
  char text[] = "NC = 'Smith'";
  ASSERT_EQ(AdsSetAOF100(table_, text, 1), 0u) << acetest::Last().text;  // ANSI text, resolved now
  UNSIGNED16 level = 0;
  ASSERT_EQ(AdsGetAOFOptLevel(table_, &level, nullptr, nullptr), 0u);
  EXPECT_EQ(level, 3);
  EXPECT_EQ(Walk(table_), (std::vector<int>{2}));
}
