// The evaluation calls' work: validity, typed evaluation and its refusals, the type test.
#include "engine/expr/expr_calls.h"

#include "expr_fixture.h"

namespace exprtest {
namespace {

using namespace engine;

class ExprCalls : public ExprTest {
 protected:
  expr::ExprScene scene() {
    expr::ExprScene s;
    s.schema = &table;
    s.record = &table;
    s.options = options;
    return s;
  }
};

TEST_F(ExprCalls, ValidityIsAVerdictNotAnError) {
  for (const char* good : {"NAME", "UPPER(NAME) + CITY", "AGE > 3 .AND. ACTIVE", "DTOS(BORN)", "{}"})
    EXPECT_TRUE(expr::ExprIsValid(good, &table)) << good;
  for (const char* bad : {"", "NAME +", "FOO(1)", "SURNAME", "UPPER(AGE)", "AGE = 'x'", "'open"})
    EXPECT_FALSE(expr::ExprIsValid(bad, &table)) << bad;
}

TEST_F(ExprCalls, EachEvaluationNeedsItsType) {
  EXPECT_TRUE(expr::EvalLogicalExpr("AGE = 42 .AND. ACTIVE", scene()));
  EXPECT_DOUBLE_EQ(expr::EvalNumericExpr("AGE * 2", scene()), 84);
  EXPECT_EQ(expr::EvalStringExpr("TRIM(NAME) + '/' + TRIM(CITY)", scene()), "Smith/Berlin");
  EXPECT_EQ(expr::EvalStringExpr("AGE", scene()), "42");
  EXPECT_EQ(expr::EvalStringExpr("BORN", scene()), "03/07/1982");
  struct Refusal {
    const char* text;
    bool logical;  // else numeric
    const char* message;
  } refusals[] = {
      {"AGE", true, "AdsEvalLogicalExpr needs a logical expression; \"AGE\" is numeric"},
      {"NAME", false, "AdsEvalNumericExpr needs a numeric expression; \"NAME\" is character"},
      {"BORN", false, "AdsEvalNumericExpr needs a numeric expression; \"BORN\" is date"},
  };
  for (const Refusal& r : refusals) {
    try {
      if (r.logical)
        expr::EvalLogicalExpr(r.text, scene());
      else
        expr::EvalNumericExpr(r.text, scene());
      ADD_FAILURE() << r.text << " was accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), err::kExprResultType) << r.text;
      EXPECT_STREQ(e.what(), r.message);
    }
  }
  EXPECT_THROW(expr::EvalStringExpr("NAME +", scene()), EngineError);
}

TEST_F(ExprCalls, NullResultsAreFalseZeroAndEmpty) {
  table.SetNull(age);
  table.SetNull(name);
  EXPECT_FALSE(expr::EvalLogicalExpr("IIF(ISNULL(AGE), ISNULL(AGE) .AND. AGE + 1 > 0, .T.) .AND. .NOT. ISNULL(AGE + 1)", scene()));
  EXPECT_DOUBLE_EQ(expr::EvalNumericExpr("AGE + 1", scene()), 0);
  EXPECT_EQ(expr::EvalStringExpr("UPPER(NAME)", scene()), "");
}

TEST_F(ExprCalls, TypeTestGivesTheTypeCodes) {
  struct Case {
    const char* text;
    uint16_t code;
  } cases[] = {{"ACTIVE", 1}, {"AGE + 1", 2}, {"BORN", 3}, {"NAME", 4}, {"START", 13}, {"STAMP", 14}, {"DTOS(BORN)", 4}};
  for (const Case& c : cases) EXPECT_EQ(expr::EvalTestExpr(c.text, &table), c.code) << c.text;
  EXPECT_THROW(expr::EvalTestExpr("FOO()", &table), EngineError);
}

}  // namespace
}  // namespace exprtest
