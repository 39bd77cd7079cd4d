// Locating records and the expression calls on table and index handles through the C
// interface: AdsLocate and AdsContinue both ways against the model, the evaluation calls on the
// current record with the handle's exact setting, their errors with the position, the long and
// short field-name forms, and the clipboard call this host cannot serve.
#include <string>

#include "support/filter_fixture.h"

namespace filtertest {
namespace {

class FilterLocate : public FilterTable {
 protected:
  void SetUp() override { Build(2000, 11); }
  uint32_t Recno() {
    UNSIGNED32 n = 0;
    AdsGetRecordNum(h_, 1, &n);
    return n;
  }
};

TEST_F(FilterLocate, LocateAndContinueVisitEveryMatchBothWays) {
  auto want = Expected([](const Row& r) { return r.n == 33 && r.active; });
  ASSERT_GE(want.size(), 2u);
  for (bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    std::vector<uint32_t> seen;
    UNSIGNED16 found = 0;
    ASSERT_EQ(AdsLocate(h_, U("N = 33 .AND. ACTIVE"), forward, &found), 0u) << LastText();
    while (found) {
      seen.push_back(Recno());
      ASSERT_EQ(AdsContinue(h_, &found), 0u);
    }
    if (!forward) std::reverse(seen.begin(), seen.end());
    EXPECT_EQ(seen, want);
    UNSIGNED16 end = 0;
    forward ? AdsAtEOF(h_, &end) : AdsAtBOF(h_, &end);
    EXPECT_EQ(end, 1);
  }
  // A filter narrows what locate sees.
  ASSERT_EQ(AdsSetFilter100(h_, U("CITY = 'Oslo'"), 0), 0u);
  auto narrowed = Expected([](const Row& r) { return r.n == 33 && r.active && r.city.rfind("Oslo", 0) == 0; });
  UNSIGNED16 found = 0;
  ASSERT_EQ(AdsLocate(h_, U("N = 33 .AND. ACTIVE"), 1, &found), 0u);
  EXPECT_EQ(found != 0, !narrowed.empty());
  if (found) EXPECT_EQ(Recno(), narrowed.front());
}

TEST_F(FilterLocate, ContinueWithoutLocateAndMalformedTextsAreRefused) {
  UNSIGNED16 found = 0;
  EXPECT_EQ(AdsContinue(h_, &found), 5501u);
  ASSERT_EQ(AdsGotoRecord(h_, 5), 0u);
  EXPECT_EQ(AdsLocate(h_, U("N = = 3"), 1, &found), 5301u);
  EXPECT_NE(LastText().find("position 5"), std::string::npos) << LastText();
  EXPECT_EQ(Recno(), 5u);  // nothing moved
  EXPECT_EQ(AdsLocate(h_, U("N"), 1, &found), 5307u);
}

TEST_F(FilterLocate, EvaluationCallsReadTheCurrentRecord) {
  const Row& row = rows_.at(9);
  ASSERT_EQ(AdsGotoRecord(h_, row.recno), 0u);
  DOUBLE d = 0;
  ASSERT_EQ(AdsEvalNumericExpr(h_, U("N * 2 + 1"), &d), 0u) << LastText();
  EXPECT_EQ(d, row.n * 2 + 1);
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsEvalStringExpr(h_, U("TRIM(CITY) + '!'"), buf, &len), 0u);
  std::string city = row.city.substr(0, row.city.find(' '));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), city + "!");
  len = 3;
  EXPECT_EQ(AdsEvalStringExpr(h_, U("CITY"), buf, &len), 5005u);
  EXPECT_EQ(len, 9u);
  UNSIGNED16 b = 9;
  ASSERT_EQ(AdsEvalLogicalExpr(h_, U("ACTIVE .OR. .F."), &b), 0u);
  EXPECT_EQ(b != 0, row.active);
  // The exact setting of the handle decides prefix comparisons.
  std::string prefix = "CITY = '" + city.substr(0, 2) + "'";
  ASSERT_EQ(AdsEvalLogicalExpr(h_, U(prefix), &b), 0u);
  EXPECT_EQ(b, 1);
  ASSERT_EQ(AdsSetExact22(h_, 1), 0u);
  UNSIGNED16 exact = 0;
  ASSERT_EQ(AdsGetExact22(h_, &exact), 0u);
  EXPECT_EQ(exact, 1);
  ASSERT_EQ(AdsEvalLogicalExpr(h_, U(prefix), &b), 0u);
  EXPECT_EQ(b, 0);

  struct TypeCase {
    const char* expr;
    UNSIGNED16 type;
  } types[] = {{"ACTIVE", 1}, {"N + 1", 2}, {"CTOD('01/02/2003')", 3}, {"NAME", 4}};
  for (const TypeCase& t : types) {
    UNSIGNED16 type = 0;
    ASSERT_EQ(AdsEvalTestExpr(h_, U(t.expr), &type), 0u) << t.expr;
    EXPECT_EQ(type, t.type) << t.expr;
  }
  UNSIGNED16 valid = 9;
  ASSERT_EQ(AdsIsExprValid(h_, U("UPPER(NAME) = 'X'"), &valid), 0u);
  EXPECT_EQ(valid, 1);
  ASSERT_EQ(AdsIsExprValid(h_, U("UPPER(N)"), &valid), 0u);
  EXPECT_EQ(valid, 0);
  EXPECT_EQ(AdsEvalNumericExpr(h_, U("N +"), &d), 5301u);
  EXPECT_NE(LastText().find("position"), std::string::npos) << LastText();
  EXPECT_EQ(AdsEvalNumericExpr(h_, U("NAME"), &d), 5307u);
}

TEST_F(FilterLocate, WithoutACurrentRecordTheRecordIsEmpty) {
  ASSERT_EQ(AdsGotoEOF(h_), 0u);
  UNSIGNED16 b = 0;
  ASSERT_EQ(AdsEvalLogicalExpr(h_, U("EMPTY(NAME) .AND. N = 0"), &b), 0u) << LastText();
  EXPECT_EQ(b, 1);
}

TEST_F(FilterLocate, FieldNameFormsRoundTrip) {
  // Names up to 10 characters are their own short names.
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsExpressionLongToShort90(h_, U("upper(name) + city"), buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "upper(name) + city");
  len = sizeof buf;
  ASSERT_EQ(AdsExpressionShortToLong90(h_, U("name = 'x'"), buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "name = 'x'");
  len = 4;
  EXPECT_EQ(AdsExpressionShortToLong90(h_, U("name = 'x'"), buf, &len), 5005u);
  EXPECT_EQ(len, 11u);
}

TEST_F(FilterLocate, ImageToClipboardIsNotAvailableOnThisHost) {
  ASSERT_EQ(AdsGotoTop(h_), 0u);
  EXPECT_EQ(AdsImageToClipboard(h_, U("NAME")), 5502u);
  EXPECT_NE(LastText().find("not available on this host"), std::string::npos) << LastText();
  EXPECT_EQ(AdsImageToClipboard(h_, U("NOSUCH")), 5409u);
}

}  // namespace
}  // namespace filtertest
