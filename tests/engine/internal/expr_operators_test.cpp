// Operators: concatenation, comparison under both exact settings, substring, logic, date
// arithmetic, null handling and the type errors of mismatched operands.
#include "expr_fixture.h"

namespace exprtest {
namespace {

using namespace engine::err;

TEST_F(ExprTest, ConcatenationKeepsOrMovesTrailingBlanks) {
  struct Case {
    const char* text;
    const char* want;
    uint32_t length;
  } cases[] = {
      {"'ab  ' + 'cd'", "ab  cd", 6},
      {"'ab  ' - 'cd'", "abcd  ", 6},
      {"'ab' - 'cd  '", "abcd  ", 6},
      {"'    ' - 'x'", "x    ", 5},
      {"'' - ''", "", 0},
      {"LEFT(NAME, 7) - '|'", "Smith|  ", 8},
      {"LEFT(CITY, 8) + '|'", "Berlin  |", 9},
  };
  for (const Case& c : cases) {
    Result r = eval(c.text);
    EXPECT_EQ(r.text, c.want) << c.text;
    EXPECT_EQ(r.length, c.length) << c.text;
  }
}

// Comparison of character values with exact off (the xBase prefix rule) and on.
TEST_F(ExprTest, StringComparisonFollowsTheExactSetting) {
  struct Case {
    const char* text;
    bool off;  // exact off
    bool on;   // exact on
  } cases[] = {
      {"NAME = 'Smith'", true, true},          // trailing blanks of the field never count
      {"NAME = 'Smi'", true, false},           // prefix match only with exact off
      {"NAME = ''", true, false},              // an empty right side matches everything when off
      {"'Smi' = NAME", false, false},          // the left side is not a prefix of the right
      {"'Smith' = 'Smith   '", true, true},    // blanks pad the shorter side
      {"'Smith' = 'Smithy'", false, false},
      {"NAME == 'Smi'", false, false},         // "==" is always exact
      {"NAME == 'Smith'", true, true},
      {"NAME <> 'Smi'", false, true},
      {"NAME # 'Smi'", false, true},
      {"NAME != 'Jones'", true, true},
      {"'abc' < 'abd'", true, true},
      {"'ab' < 'abc'", true, true},            // shorter sorts first: blank < 'c'
      {"'abc' < 'ab'", false, false},
      {"'abc' <= 'ab'", true, false},          // off: compared over the right side's length
      {"'abc' >= 'ab'", true, true},
      {"'B' > 'A'", true, true},
      {"'a' > 'B'", true, true},               // byte order, not case-folded
      {"UPPER(CITY) = 'BERLIN'", true, true},
  };
  for (const Case& c : cases) {
    options.exact = false;
    EXPECT_EQ(logic(c.text), c.off) << c.text << " (exact off)";
    options.exact = true;
    EXPECT_EQ(logic(c.text), c.on) << c.text << " (exact on)";
  }
}

TEST_F(ExprTest, TheSameCompiledExpressionFollowsTheSettingOfEachEvaluation) {
  auto e = compile("NAME = 'Smi'");
  options.exact = false;
  EXPECT_TRUE(e->EvalLogical(&table, options));
  options.exact = true;
  EXPECT_FALSE(e->EvalLogical(&table, options));
  // A comparison of two constants is not folded away under one setting.
  auto k = compile("'Smith' = 'Smi'");
  EXPECT_FALSE(k->EvalLogical(&table, options));
  options.exact = false;
  EXPECT_TRUE(k->EvalLogical(&table, options));
}

TEST_F(ExprTest, OtherComparisonsAndSubstring) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {"AGE = 42", true},                          {"AGE > 41.5", true},
      {"PRICE = 19.95", true},                     {"PRICE <> 19.95", false},
      {"BORN = {1982-03-07}", true},               {"BORN < {1982-03-08}", true},
      {"BORN >= {1982-03-08}", false},             {"ACTIVE = .T.", true},
      {".F. < .T.", true},                         {"ACTIVE <> .F.", true},
      {"STAMP > {2024-01-31}", true},              {"STAMP < {2024-02-01}", true},
      {"STAMP = {2024-01-31 13:05:09}", true},     {"START < CTOT('09:00')", true},
      {"'mit' $ NAME", true},                      {"'MIT' $ NAME", false},
      {"'' $ 'abc'", true},                        {"'Smith ' $ NAME", true},
      {"NAME $ 'Smith'", false},                   {"TRIM(NAME) $ 'Mr Smith'", true},
  };
  for (const Case& c : cases) EXPECT_EQ(logic(c.text), c.want) << c.text;
}

TEST_F(ExprTest, DateArithmetic) {
  EXPECT_EQ(date("BORN + 1"), JulianFromYmd(1982, 3, 8));
  EXPECT_EQ(date("1 + BORN"), JulianFromYmd(1982, 3, 8));
  EXPECT_EQ(date("BORN - 7"), JulianFromYmd(1982, 2, 28));
  EXPECT_EQ(date("{2024-02-28} + 1"), JulianFromYmd(2024, 2, 29));
  EXPECT_EQ(date("{2023-12-31} + 1"), JulianFromYmd(2024, 1, 1));
  EXPECT_DOUBLE_EQ(num("{2024-03-01} - {2024-02-01}"), 29);
  EXPECT_DOUBLE_EQ(num("BORN - {1982-03-07}"), 0);
  EXPECT_EQ(date("{} + 5"), 0) << "the empty date stays empty";
  Result r = eval("{} - BORN");
  EXPECT_TRUE(r.value.null) << "no difference to the empty date";
  Result ts = eval("STAMP + 0.5");
  EXPECT_EQ(ts.type, ExprType::Timestamp);
  EXPECT_EQ(ts.value.integer, JulianFromYmd(2024, 2, 1) * kMsPerDay + ((1 * 60 + 5) * 60 + 9) * 1000LL);
  EXPECT_DOUBLE_EQ(num("{2024-01-02 12:00} - {2024-01-01 00:00}"), 1.5);
}

TEST_F(ExprTest, NullValues) {
  table.SetNull(name);
  table.SetNull(age);
  table.SetNull(born);
  struct Case {
    const char* text;
    bool want;
  } logical[] = {
      {"ISNULL(NAME)", true},          {"ISNULL(CITY)", false},        {"EMPTY(NAME)", true},
      {"ISNULL(UPPER(NAME))", true},   {"ISNULL(AGE + 1)", true},      {"ISNULL(NAME + 'x')", true},
      {"NAME = ''", true},             // a null compares as the empty value of its type
      {"AGE = 0", true},               {"BORN = {}", true},            {"AGE > -1", true},
      {"NAME = 'Smith'", false},       {"ISNULL(IIF(ACTIVE, AGE, 1))", true},
      {"ISNULL(IIF(.F., AGE, 1))", false},
      {"ISNULL(1/0)", true},           // a division by zero has no value
      {"ISNULL(5 % 0)", true},         {"ISNULL(MOD(5, 0))", true},
      {"ISNULL(CTOT('nonsense'))", true},
  };
  for (const Case& c : logical) EXPECT_EQ(logic(c.text), c.want) << c.text;
  // A null condition does not hold; NOT of it does.
  auto cond = compile("NAME = 'x' .OR. ISNULL(AGE) .AND. AGE + 1 > 0");
  EXPECT_FALSE(cond->EvalLogical(&table, options));
  auto nullLogical = compile("IIF(ISNULL(AGE), ACTIVE, .T.)");
  table.SetNull(active);
  EXPECT_FALSE(nullLogical->EvalLogical(&table, options));
  EXPECT_TRUE(compile(".NOT. ACTIVE")->EvalLogical(&table, options));
  // A null key is written as blanks and reported.
  auto key = compile("UPPER(NAME)");
  std::string bytes(30, 'x');
  EXPECT_FALSE(key->WriteKey(&table, options, bytes.data()));
  EXPECT_EQ(bytes, std::string(30, ' '));
}

TEST_F(ExprTest, MismatchedOperandsAreTypeErrors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"NAME + 1", "Expression error at position 6: operator + cannot combine character and numeric"},
      {"AGE - 'x'", "Expression error at position 5: operator - cannot combine numeric and character"},
      {"NAME * 2", "Expression error at position 6: operator * cannot combine character and numeric"},
      {"AGE = 'x'", "Expression error at position 5: operator = cannot combine numeric and character"},
      {"BORN = 1", "Expression error at position 6: operator = cannot combine date and numeric"},
      {"1 - BORN", "Expression error at position 3: operator - cannot combine numeric and date"},
      {"BORN + BORN", "Expression error at position 6: operator + cannot combine date and date"},
      {"ACTIVE < 1", "Expression error at position 8: operator < cannot combine logical and numeric"},
      {"1 $ 'a'", "Expression error at position 3: operator $ cannot combine numeric and character"},
      {"AGE .AND. .T.", "Expression error at position 1: the left operand of .AND. must be logical, not numeric"},
      {".T. OR NAME", "Expression error at position 8: the right operand of .OR. must be logical, not character"},
      {".NOT. AGE", "Expression error at position 7: the operand of .NOT. must be logical, not numeric"},
      {"-NAME", "Expression error at position 2: the operand of a sign must be numeric, not character"},
      {"ACTIVE ** 2", "Expression error at position 8: operator ** cannot combine logical and numeric"},
  };
  for (const Case& c : cases) {
    Failure f = fail(c.text);
    EXPECT_EQ(f.code, kExprTypeMismatch) << c.text;
    EXPECT_EQ(f.text, c.message) << c.text;
  }
}

}  // namespace
}  // namespace exprtest
