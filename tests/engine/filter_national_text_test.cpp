// Filters handed over as UTF-16 on national (UTF-16) character fields compare the fields' own
// characters with the literals' own characters: under an ANSI code page that cannot spell
// "Жук", neither the field nor the literal reads as "???", so "Жук" does not match "Щук".
// Both the expression filter and the optimised filter are checked, with a tag on an ANSI
// field present so that the optimised filter would answer from it if it could.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr UNSIGNED32 kUtf16 = 8192;
constexpr UNSIGNED32 kResolveNow = 1;

class FilterNationalText : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("names"), nullptr, ADS_ADT, 1, 0, 0, 0,
                               U8("ID,Integer;NC,NChar,6;NV,NVarChar,6;C,Char,6"), 0, nullptr, &table_),
              0u)
        << acetest::Last().text;
    int id = 0;
    for (std::u16string w : {std::u16string(u"Щук"), std::u16string(u"Smith"), std::u16string(u"Жук"),
                                    std::u16string(u"SMITH"), std::u16string(u"Ёж"), std::u16string(u"жук")}) {
      ASSERT_EQ(AdsAppendRecord(table_), 0u);
      ASSERT_EQ(AdsSetLong(table_, U8("ID"), ++id), 0u);
      ASSERT_EQ(AdsSetStringW(table_, U8("NC"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u);
      ASSERT_EQ(AdsSetStringW(table_, U8("NV"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u);
      // The ANSI field holds what the code page makes of the text ("???" for the Cyrillic ones).
      ASSERT_EQ(AdsSetStringW(table_, U8("C"), w.data(), static_cast<UNSIGNED32>(w.size())), 0u);
      ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
    }
    ADSHANDLE tag = 0;
    ASSERT_EQ(AdsCreateIndex90(table_, nullptr, U8("C"), U8("C"), nullptr, nullptr, 2, 0, nullptr, &tag), 0u)
        << acetest::Last().text;
  }
  void TearDown() override {
    AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  std::vector<int> Visible() {
    std::vector<int> ids;
    EXPECT_EQ(AdsGotoTop(table_), 0u) << acetest::Last().text;
    for (;;) {
      UNSIGNED16 eof = 0;
      EXPECT_EQ(AdsAtEOF(table_, &eof), 0u);
      if (eof) break;
      SIGNED32 id = 0;
      EXPECT_EQ(AdsGetLong(table_, U8("ID"), &id), 0u);
      ids.push_back(id);
      EXPECT_EQ(AdsSkip(table_, 1), 0u);
    }
    return ids;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0;
  ADSHANDLE table_ = 0;
};

}  // namespace

TEST_F(FilterNationalText, Utf16FiltersCompareNationalCharactersExactly) {
  struct Case {
    std::u16string filter;
    std::vector<int> ids;
  };
  const Case cases[] = {
      {u"NC = 'Жук'", {3}},
      {u"NV = 'Жук'", {3}},
      {u"NC = 'Жу'", {3}},  // "=" without exact compares over the literal's length
      {u"NC == 'Жук'", {3}},
      {u"NC <> 'Жук'", {1, 2, 4, 5, 6}},
      {u"NC > 'Жук' .AND. NC < 'Я'", {1}},  // code-unit order: Ё < Ж < Щ < Я < ж
      {u"'ук' $ NC", {1, 3, 6}},
      {u"NC = 'Щук' .OR. NV = 'Ёж'", {1, 5}},
      {u"ALLTRIM(NV) + '!' == 'Жук!'", {3}},
      {u"UPPER(NC) = 'ЖУК'", {3, 6}},
      {u"LOWER(TRIM(NV)) == 'жук'", {3, 6}},
      {u"NC = NV", {1, 2, 3, 4, 5, 6}},
      {u"NC = 'Smith'", {2}},
      // An ANSI field holds "???" for these texts: an exact literal matches none of them, and
      // the tag on C (built from "???") must not answer for it.
      {u"C = 'Жук'", {}},
      {u"C = 'Smith'", {2}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    std::u16string text = c.filter;
    ASSERT_EQ(AdsSetFilter100(table_, text.data(), kUtf16), 0u) << acetest::Last().text;
    EXPECT_EQ(Visible(), c.ids) << "filter";
    ASSERT_EQ(AdsClearFilter(table_), 0u);

    ASSERT_EQ(AdsSetAOF100(table_, text.data(), kUtf16 | kResolveNow), 0u) << acetest::Last().text;
    EXPECT_EQ(Visible(), c.ids) << "optimised filter";
    // The optimised filter hands back the text as it was given.
    std::u16string back(64, u'\0');
    UNSIGNED32 length = static_cast<UNSIGNED32>(back.size());
    ASSERT_EQ(AdsGetAOF100(table_, kUtf16, back.data(), &length), 0u) << acetest::Last().text;
    back.resize(length);
    EXPECT_EQ(back, c.filter);
    ASSERT_EQ(AdsClearAOF(table_), 0u);
  }
}

TEST_F(FilterNationalText, AnsiTextAndTheTagStillServeTextsTheCodePageHolds) {
  // Given as ANSI, the literal is what it always was; the tag answers for the ANSI field.
  char text[] = "C = 'Smith' .OR. C = 'SMITH'";
  ASSERT_EQ(AdsSetAOF100(table_, text, kResolveNow), 0u) << acetest::Last().text;
  UNSIGNED16 level = 0;
  ASSERT_EQ(AdsGetAOFOptLevel(table_, &level, nullptr, nullptr), 0u);
  EXPECT_EQ(level, 1);  // fully optimised
  EXPECT_EQ(Visible(), (std::vector<int>{2, 4}));
  ASSERT_EQ(AdsClearAOF(table_), 0u);
  // A UTF-16 text whose literals the code page holds is optimised as well.
  std::u16string wide = u"C = 'Smith'";
  ASSERT_EQ(AdsSetAOF100(table_, wide.data(), kUtf16 | kResolveNow), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsGetAOFOptLevel(table_, &level, nullptr, nullptr), 0u);
  EXPECT_EQ(level, 1);
  EXPECT_EQ(Visible(), (std::vector<int>{2}));
}
