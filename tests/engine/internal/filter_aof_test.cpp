// Expression filters and optimised filters through the C interface, against a model of the
// same random records: navigation both ways, counts, visibility, optimisation levels and the
// non-optimised part, both filters at once, customised record sets, the filter kinds, the exact
// setting, and malformed expressions.
#include <algorithm>
#include <string>

#include "support/filter_fixture.h"

namespace filtertest {
namespace {

constexpr UNSIGNED32 kDynamicLater = 2;
constexpr UNSIGNED32 kDynamicNow = 1;
constexpr UNSIGNED32 kKeySet = 4 + 1;
constexpr UNSIGNED32 kFixed = 8 + 1;

std::string NonOptimized(ADSHANDLE h, UNSIGNED16* level) {
  char16_t buf[512];
  UNSIGNED16 len = 512;
  EXPECT_EQ(AdsGetAOFOptLevel(h, level, reinterpret_cast<WCHAR*>(buf), &len), 0u) << LastText();
  std::string out;
  for (UNSIGNED16 i = 0; i < len; ++i) out += static_cast<char>(buf[i]);
  return out;
}

struct Case {
  const char* expr;
  UNSIGNED16 level;     // 1 full, 2 part, 3 none
  const char* nonOpt;   // expected non-optimised part
  bool exact;
  std::function<bool(const Row&)> model;
};

class FilterAof : public FilterTable {
 protected:
  void SetUp() override { Build(3000); }
};

TEST_F(FilterAof, NavigationCountsAndLevelsMatchTheModel) {
  auto cmp = [](const std::string& a, const char* b, bool exact) { return CompareText(a, b, exact); };
  const Case cases[] = {
      {"N = 17", 1, "", false, [](const Row& r) { return r.n == 17; }},
      {"17 = N", 1, "", false, [](const Row& r) { return r.n == 17; }},
      {"N >= 10 .AND. N < 20", 1, "", false, [](const Row& r) { return r.n >= 10 && r.n < 20; }},
      {"N < 5 .OR. N > 95", 1, "", false, [](const Row& r) { return r.n < 5 || r.n > 95; }},
      {"n <> 50", 1, "", false, [](const Row& r) { return r.n != 50; }},
      {"NAME = 'K1'", 1, "", false, [&](const Row& r) { return cmp(r.name, "K1", false) == 0; }},
      {"NAME = 'K1'", 1, "", true, [&](const Row& r) { return cmp(r.name, "K1", true) == 0; }},
      {"NAME == 'K12a'", 1, "", false, [&](const Row& r) { return cmp(r.name, "K12a", true) == 0; }},
      {"NAME = ''", 1, "", false, [](const Row&) { return true; }},
      {"NAME > 'K3' .AND. NAME <= 'K5'", 1, "", false,
       [&](const Row& r) { return cmp(r.name, "K3", false) > 0 && cmp(r.name, "K5", false) <= 0; }},
      {"ACTIVE", 1, "", false, [](const Row& r) { return r.active; }},
      {".NOT. ACTIVE", 1, "", false, [](const Row& r) { return !r.active; }},
      {"N = 17 .AND. CITY = 'Rome'", 2, "CITY = 'Rome'", false,
       [&](const Row& r) { return r.n == 17 && cmp(r.city, "Rome", false) == 0; }},
      {"(N = 3 .OR. N = 4) .AND. CITY <> 'Rome' .AND. ACTIVE", 2, "CITY <> 'Rome'", false,
       [&](const Row& r) { return (r.n == 3 || r.n == 4) && cmp(r.city, "Rome", false) != 0 && r.active; }},
      {"UPPER(NAME) = 'K1A'", 2, "UPPER(NAME) = 'K1A'", false,
       [&](const Row& r) { return r.name.rfind("K1a", 0) == 0; }},
      {"N = 3 .OR. (N = 9 .AND. CITY = 'Oslo')", 2, "N = 3 .OR. (N = 9 .AND. CITY = 'Oslo')", false,
       [&](const Row& r) { return r.n == 3 || (r.n == 9 && cmp(r.city, "Oslo", false) == 0); }},
      {"CITY = 'Rome'", 3, "CITY = 'Rome'", false, [&](const Row& r) { return cmp(r.city, "Rome", false) == 0; }},
      {"N = 3 .OR. CITY = 'Rome'", 3, "N = 3 .OR. CITY = 'Rome'", false,
       [&](const Row& r) { return r.n == 3 || cmp(r.city, "Rome", false) == 0; }},
      {".NOT. (N = 3 .AND. CITY = 'Rome')", 3, ".NOT. (N = 3 .AND. CITY = 'Rome')", false,
       [&](const Row& r) { return !(r.n == 3 && cmp(r.city, "Rome", false) == 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.expr) + (c.exact ? " (exact)" : ""));
    std::vector<uint32_t> want = c.model ? Expected(c.model) : std::vector<uint32_t>{};
    ASSERT_EQ(AdsSetExact22(h_, c.exact), 0u);
    for (UNSIGNED32 options : {kDynamicLater, kDynamicNow, kKeySet, kFixed}) {
      SCOPED_TRACE("options " + std::to_string(options));
      ASSERT_EQ(AdsSetAOF100(h_, U(c.expr), options), 0u) << LastText();
      UNSIGNED16 level = 0;
      EXPECT_EQ(NonOptimized(h_, &level), c.nonOpt);
      EXPECT_EQ(level, c.level);
      EXPECT_EQ(Forward(h_), want);
      std::vector<uint32_t> back = Backward(h_);
      std::reverse(back.begin(), back.end());
      EXPECT_EQ(back, want);
      EXPECT_EQ(Count(h_), want.size());
    }
    UNSIGNED16 evaluated = 0;
    EXPECT_EQ(AdsEvalAOF(h_, U(c.expr), &evaluated), 0u);
    EXPECT_EQ(evaluated, c.level);
    ASSERT_EQ(AdsClearAOF(h_), 0u);

    // The expression filter shows the same records, evaluating every one.
    ASSERT_EQ(AdsSetFilter100(h_, U(c.expr), 0), 0u) << LastText();
    EXPECT_EQ(Forward(h_), want);
    EXPECT_EQ(Count(h_), want.size());
    ASSERT_EQ(AdsClearFilter(h_), 0u);
  }
  AdsSetExact22(h_, 0);
}

// Descending tags answer the same ranges; a named collation orders texts otherwise than the
// language compares them, so its text comparisons narrow at most.
class FilterAofTags : public FilterTable {};

TEST_F(FilterAofTags, DescendingTagsAndNamedCollationsGiveTheSameRecords) {
  struct Setup {
    uint32_t options;
    const char* collation;
    UNSIGNED16 textEqualLevel, textRangeLevel;
  } setups[] = {{8, "", 1, 1}, {0, "GENERAL_VFP_CI_AS_1252", 2, 3}};
  for (const Setup& s : setups) {
    SCOPED_TRACE(std::string("options ") + std::to_string(s.options) + " " + s.collation);
    if (h_) AdsCloseTable(h_);
    h_ = 0;
    rows_.clear();
    Build(2500, 5, s.options, s.collation);
    struct Q {
      const char* expr;
      UNSIGNED16 level;
      std::function<bool(const Row&)> model;
    } qs[] = {
        {"N < 7", 1, [](const Row& r) { return r.n < 7; }},
        {"N >= 93", 1, [](const Row& r) { return r.n >= 93; }},
        {"N > 40 .AND. N <= 44", 1, [](const Row& r) { return r.n > 40 && r.n <= 44; }},
        {"N <> 0", 1, [](const Row& r) { return r.n != 0; }},
        {"NAME = 'K2'", s.textEqualLevel, [](const Row& r) { return CompareText(r.name, "K2", false) == 0; }},
        {"NAME < 'K2'", s.textRangeLevel, [](const Row& r) { return CompareText(r.name, "K2", false) < 0; }},
    };
    for (const Q& q : qs) {
      SCOPED_TRACE(q.expr);
      ASSERT_EQ(AdsSetAOF100(h_, U(q.expr), 2), 0u) << LastText();
      UNSIGNED16 level = 0;
      ASSERT_EQ(AdsGetAOFOptLevel(h_, &level, nullptr, nullptr), 0u);
      EXPECT_EQ(level, q.level);
      EXPECT_EQ(Forward(h_), Expected(q.model));
      EXPECT_EQ(Count(h_), Expected(q.model).size());
    }
  }
}

TEST_F(FilterAof, FilterAndOptimisedFilterTogetherShowTheirIntersection) {
  ASSERT_EQ(AdsSetAOF100(h_, U("N < 30"), kDynamicLater), 0u);
  ASSERT_EQ(AdsSetFilter100(h_, U("CITY = 'Lima' .OR. ACTIVE"), 0), 0u);
  auto want = Expected([](const Row& r) { return r.n < 30 && (r.city.rfind("Lima", 0) == 0 || r.active); });
  EXPECT_EQ(Forward(h_), want);
  EXPECT_EQ(Count(h_), want.size());
  // Visibility of each record follows both.
  for (const Row& r : rows_) {
    if (r.deleted) continue;
    ASSERT_EQ(AdsGotoRecord(h_, r.recno), 0u);
    UNSIGNED16 visible = 9;
    ASSERT_EQ(AdsIsRecordVisible(h_, &visible), 0u);
    EXPECT_EQ(visible != 0, std::binary_search(want.begin(), want.end(), r.recno)) << r.recno;
  }
  ASSERT_EQ(AdsClearFilter(h_), 0u);
  EXPECT_EQ(Forward(h_), Expected([](const Row& r) { return r.n < 30; }));
}

TEST_F(FilterAof, CustomisedRecordsOverrideTheExpression) {
  ASSERT_EQ(AdsSetAOF100(h_, U("N = 42"), kDynamicLater), 0u);
  auto want = Expected([](const Row& r) { return r.n == 42; });
  ASSERT_GE(want.size(), 3u);
  uint32_t outsider = 0;
  for (const Row& r : rows_)
    if (!r.deleted && r.n != 42) {
      outsider = r.recno;
      break;
    }
  UNSIGNED32 add[] = {outsider};
  ASSERT_EQ(AdsCustomizeAOF(h_, 1, add, 1), 0u);
  UNSIGNED32 remove[] = {want[0]};
  ASSERT_EQ(AdsCustomizeAOF(h_, 1, remove, 2), 0u);
  UNSIGNED32 toggle[] = {want[1], outsider};  // a member leaves, the added one leaves again
  ASSERT_EQ(AdsCustomizeAOF(h_, 2, toggle, 3), 0u);
  std::vector<uint32_t> expect(want.begin() + 2, want.end());
  EXPECT_EQ(Forward(h_), expect);
  UNSIGNED16 in = 9;
  EXPECT_EQ(AdsIsRecordInAOF(h_, want[0], &in), 0u);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(AdsIsRecordInAOF(h_, want[2], &in), 0u);
  EXPECT_EQ(in, 1);
  // A record that does not exist changes nothing and is refused.
  UNSIGNED32 bad[] = {want[2], 999999};
  EXPECT_EQ(AdsCustomizeAOF(h_, 2, bad, 2), 5022u);
  EXPECT_EQ(Forward(h_), expect);
  // A refresh drops the customisations.
  ASSERT_EQ(AdsRefreshAOF(h_), 0u);
  EXPECT_EQ(Forward(h_), want);
}

TEST_F(FilterAof, KindsDifferInHowChangedRecordsAreTreated) {
  // Record a leaves the expression by an edit, record b enters it.
  uint32_t a = Expected([](const Row& r) { return r.n == 60; }).at(0);
  uint32_t b = Expected([](const Row& r) { return r.n == 61; }).at(0);
  struct Kind {
    UNSIGNED32 options;
    bool showsA, showsB;
  } kinds[] = {{kDynamicLater, false, true}, {kDynamicNow, false, true}, {kKeySet, false, false}, {kFixed, true, false}};
  for (const Kind& k : kinds) {
    SCOPED_TRACE("options " + std::to_string(k.options));
    ASSERT_EQ(AdsSetAOF100(h_, U("N = 60"), k.options), 0u);
    ASSERT_EQ(AdsGotoRecord(h_, a), 0u);
    ASSERT_EQ(AdsSetLong(h_, U("N"), 70), 0u);
    ASSERT_EQ(AdsWriteRecord(h_), 0u);
    ASSERT_EQ(AdsGotoRecord(h_, b), 0u);
    ASSERT_EQ(AdsSetLong(h_, U("N"), 60), 0u);
    ASSERT_EQ(AdsWriteRecord(h_), 0u);
    std::vector<uint32_t> seen = Forward(h_);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), a), k.showsA ? 1 : 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), b), k.showsB ? 1 : 0);
    // Put both back for the next kind.
    ASSERT_EQ(AdsClearAOF(h_), 0u);
    ASSERT_EQ(AdsGotoRecord(h_, a), 0u);
    ASSERT_EQ(AdsSetLong(h_, U("N"), 60), 0u);
    ASSERT_EQ(AdsWriteRecord(h_), 0u);
    ASSERT_EQ(AdsGotoRecord(h_, b), 0u);
    ASSERT_EQ(AdsSetLong(h_, U("N"), 61), 0u);
    ASSERT_EQ(AdsWriteRecord(h_), 0u);
  }
}

TEST_F(FilterAof, ADynamicFilterKeepsFollowingThisHandlesChangesAfterARefresh) {
  uint32_t b = Expected([](const Row& r) { return r.n == 61; }).at(0);
  ASSERT_EQ(AdsSetAOF100(h_, U("N = 60"), kDynamicNow), 0u);
  ASSERT_EQ(AdsGotoRecord(h_, b), 0u);
  ASSERT_EQ(AdsSetLong(h_, U("N"), 60), 0u);
  ASSERT_EQ(AdsWriteRecord(h_), 0u);
  ASSERT_EQ(AdsRefreshAOF(h_), 0u);
  auto want = Expected([&](const Row& r) { return r.n == 60 || r.recno == b; });
  EXPECT_EQ(Forward(h_), want);
  EXPECT_EQ(Count(h_), want.size());
  UNSIGNED16 in = 0;
  ASSERT_EQ(AdsIsRecordInAOF(h_, b, &in), 0u);
  EXPECT_EQ(in, 1);
}

// An exclusive open writes its index changes in batches; a filter resolved through the index
// must see the changes made since the last batch, not refuse the file as half-updated.
TEST_F(FilterAof, AnExclusiveOpenResolvesThroughIndexChangesNotYetWritten) {
  ASSERT_EQ(AdsCloseTable(h_), 0u);
  h_ = 0;
  ASSERT_EQ(AdsOpenTable90(0, U(path_), nullptr, 3, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &h_), 0u) << LastText();
  uint32_t b = Expected([](const Row& r) { return r.n == 61; }).at(0);
  ASSERT_EQ(AdsSetAOF100(h_, U("N = 60"), kDynamicNow), 0u) << LastText();
  ASSERT_EQ(AdsGotoRecord(h_, b), 0u);
  ASSERT_EQ(AdsSetLong(h_, U("N"), 60), 0u);
  ASSERT_EQ(AdsWriteRecord(h_), 0u);
  ASSERT_EQ(AdsRefreshAOF(h_), 0u) << LastText();
  auto want = Expected([&](const Row& r) { return r.n == 60 || r.recno == b; });
  EXPECT_EQ(Forward(h_), want);
  // A filter set after the change resolves through the changed index too.
  ASSERT_EQ(AdsClearAOF(h_), 0u);
  ASSERT_EQ(AdsSetAOF100(h_, U("N = 60"), kDynamicNow), 0u) << LastText();
  EXPECT_EQ(Forward(h_), want);
  UNSIGNED16 level = 0;
  ASSERT_EQ(AdsGetAOFOptLevel(h_, &level, nullptr, nullptr), 0u) << LastText();
  EXPECT_EQ(level, 1) << "fully optimised through the BYN tag";
}

TEST_F(FilterAof, TextsComeBackAndMissingFiltersAre5037) {
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  EXPECT_EQ(AdsGetFilter(h_, buf, &len), 5037u);
  EXPECT_EQ(AdsClearFilter(h_), 5037u);
  EXPECT_EQ(AdsClearAOF(h_), 5037u);
  EXPECT_EQ(AdsRefreshAOF(h_), 5037u);
  UNSIGNED16 level = 0;
  EXPECT_EQ(AdsGetAOFOptLevel(h_, &level, nullptr, &len), 5037u);
  UNSIGNED16 in = 0;
  EXPECT_EQ(AdsIsRecordInAOF(h_, 1, &in), 5037u);

  const std::u16string wide = u"N > 90";
  ASSERT_EQ(AdsSetFilter100(h_, const_cast<char16_t*>(wide.c_str()), 8192), 0u);
  len = 0;
  EXPECT_EQ(AdsGetFilter(h_, nullptr, &len), 5005u);
  EXPECT_EQ(len, 7u);
  len = sizeof buf;
  ASSERT_EQ(AdsGetFilter(h_, buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "N > 90");

  ASSERT_EQ(AdsSetAOF100(h_, const_cast<char16_t*>(wide.c_str()), 8192 + 2), 0u);
  char16_t wbuf[32];
  UNSIGNED32 wlen = 32;
  ASSERT_EQ(AdsGetAOF100(h_, 8192, wbuf, &wlen), 0u);
  EXPECT_EQ(std::u16string(wbuf, wlen), wide);
  len = sizeof buf;
  ASSERT_EQ(AdsGetAOF(h_, buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "N > 90");
  EXPECT_EQ(AdsSetAOF100(h_, U("N > 1"), 4 + 8), 5903u);
}

TEST_F(FilterAof, MalformedExpressionsNameThePositionAndKeepThePreviousFilter) {
  ASSERT_EQ(AdsSetAOF100(h_, U("N = 17"), kDynamicLater), 0u);
  ASSERT_EQ(AdsSetFilter100(h_, U("ACTIVE"), 0), 0u);
  struct Bad {
    const char* expr;
    UNSIGNED32 code;
    const char* text;
  } bad[] = {{"N = ", 5301, "position 5"},
             {"N = 3 .AND. FOO(1)", 5302, "position 13"},
             {"SURNAME = 'x'", 5303, "position 1"},
             {"N + 1", 5307, "logical"}};
  for (const Bad& b : bad) {
    EXPECT_EQ(AdsSetAOF100(h_, U(b.expr), kDynamicLater), b.code) << b.expr;
    EXPECT_NE(LastText().find(b.text), std::string::npos) << LastText();
    EXPECT_EQ(AdsSetFilter100(h_, U(b.expr), 0), b.code) << b.expr;
    EXPECT_NE(LastText().find(b.text), std::string::npos) << LastText();
    UNSIGNED16 level = 0;
    EXPECT_EQ(AdsEvalAOF(h_, U(b.expr), &level), b.code) << b.expr;
  }
  EXPECT_EQ(Forward(h_), Expected([](const Row& r) { return r.n == 17 && r.active; }));
}

}  // namespace
}  // namespace filtertest
