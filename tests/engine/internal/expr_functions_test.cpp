// The functions: their results, the static lengths index keys rely on, and their errors.
#include "expr_fixture.h"

namespace exprtest {
namespace {

using namespace engine::err;

// Character results and their static lengths.
TEST_F(ExprTest, CharacterFunctions) {
  struct Case {
    const char* text;
    const char* want;
    uint32_t length;
  } cases[] = {
      {"UPPER(NAME)", "SMITH                         ", 30},
      // Text is Windows-1252: A and E with accents, sharp s (no capital), oe, y diaeresis.
      {"LOWER('\xC4" "bC \xC9')", "\xE4" "bc \xE9", 5},
      {"UPPER('stra\xDF" "e \xE0\xE9\xEE \x9C \xFF \xF7')", "STRA\xDF" "E \xC0\xC9\xCE \x8C \x9F \xF7", 16},
      {"TRIM(NAME)", "Smith", 30},
      {"RTRIM('  a  ')", "  a", 5},
      {"LTRIM('  a  ')", "a  ", 5},
      {"ALLTRIM('  a b  ')", "a b", 7},
      {"SUBSTR(NAME, 2, 3)", "mit", 3},
      {"SUBSTR(NAME, 2)", "mith                         ", 29},
      {"SUBSTR('abc', 5)", "", 0},
      {"SUBSTR('abcdef', -2)", "ef", 6},
      {"SUBSTR('abcdef', 0, 2)", "ab", 2},
      {"SUBSTR('abc', 2, 10)", "bc", 2},
      {"SUBSTR(NAME, AGE - 40, 2)", "mi", 2},
      {"SUBSTR(NAME, 1, AGE / 14)", "Smi", 30},
      {"LEFT(NAME, 3)", "Smi", 3},
      {"LEFT('ab', 5)", "ab", 2},
      {"RIGHT(TRIM(NAME), 3)", "ith", 3},
      {"RIGHT('ab', -1)", "", 0},
      {"STR(AGE)", "        42", 10},
      {"STR(PRICE, 8, 2)", "   19.95", 8},
      {"STR(2.5, 3)", "  3", 3},
      {"STR(-2.5, 3)", " -3", 3},
      {"STR(1.005, 6, 1)", "   1.0", 6},
      {"STR(123456, 4)", "****", 4},
      {"STR(-0.4, 2)", " 0", 2},
      {"STRZERO(42, 5)", "00042", 5},
      {"STRZERO(-42, 5)", "-0042", 5},
      {"STRZERO(3.14159, 6, 2)", "003.14", 6},
      {"CHR(65) + CHR(34) + CHR(321)", "A\"A", 3},
      {"SPACE(3) + '|'", "   |", 4},
      {"REPLICATE('ab', 3)", "ababab", 6},
      {"PADL('ab', 5)", "   ab", 5},
      {"PADR('ab', 5, '*')", "ab***", 5},
      {"PADC('ab', 6, '-')", "--ab--", 6},
      {"PADL('abcdef', 3)", "def", 3},
      {"PADR('abcdef', 3)", "abc", 3},
      {"IIF(ACTIVE, 'yes', 'no, never')", "yes", 9},
      {"IIF(.F., LEFT(NAME, 2), 'no')", "no", 2},
      {"MAX('abc', 'abd ')", "abd ", 4},
      {"MIN(NAME, CITY)", "Berlin              ", 30},
      {"DTOS(BORN)", "19820307", 8},
      {"DTOS({})", "        ", 8},
      {"DTOS(STAMP)", "20240131", 8},
      {"TIME()", "22:15:30", 8},
  };
  for (const Case& c : cases) {
    Result r = eval(c.text);
    EXPECT_EQ(r.type, ExprType::String) << c.text;
    EXPECT_EQ(r.text, c.want) << c.text;
    EXPECT_EQ(r.length, c.length) << c.text;
  }
}

TEST_F(ExprTest, NumericFunctions) {
  struct Case {
    const char* text;
    double want;
  } cases[] = {
      {"LEN(NAME)", 30},         {"LEN(TRIM(NAME))", 5},       {"LEN('')", 0},
      {"LEN(NOTES)", 47},        {"VAL('  12.5xyz')", 12.5},   {"VAL('-3')", -3},
      {"VAL('abc')", 0},         {"VAL('1.2.3')", 1.2},        {"VAL(STR(PRICE, 10, 2))", 19.95},
      {"ASC('A')", 65},          {"ASC('')", 0},               {"ASC(CHR(200))", 200},
      {"AT('th', NAME)", 4},     {"AT('x', NAME)", 0},         {"AT('', NAME)", 0},
      {"ABS(-3.5)", 3.5},        {"INT(3.9)", 3},              {"INT(-3.9)", -3},
      {"ROUND(2.345, 2)", 2.35}, {"ROUND(-2.5, 0)", -3},       {"ROUND(1234, -2)", 1200},
      {"MOD(7, 3)", 1},          {"MOD(-7, 3)", 2},            {"MOD(7, -3)", -2},
      {"MAX(AGE, 50)", 50},      {"MIN(AGE, 50)", 42},         {"YEAR(BORN)", 1982},
      {"MONTH(BORN)", 3},        {"DAY(BORN)", 7},             {"YEAR({})", 0},
      {"YEAR(STAMP)", 2024},     {"DOW({2024-01-28})", 1},     {"DOW({2024-01-31})", 4},
      {"RECNO()", 17},           {"IIF(AGE > 50, 1, 2)", 2},   {"9007199254740991 - 9007199254740990", 1},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(num(c.text), c.want) << c.text;
}

TEST_F(ExprTest, LogicalAndRecordFunctions) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {"EMPTY(NOTHING)", true},  {"EMPTY(NAME)", false}, {"EMPTY('   ')", true}, {"EMPTY(0)", true},
      {"EMPTY(AGE)", false},     {"EMPTY({})", true},    {"EMPTY(BORN)", false}, {"EMPTY(.F.)", true},
      {"EMPTY(ACTIVE)", false},  {"DELETED()", false},   {"ISNULL(NAME)", false},
      {"IIF(ACTIVE, AGE > 40, .F.)", true},
      {"DATE() = {2026-12-09}", true},                   {"TODAY() = DATE()", true},
      {"NOW() = {2026-12-09 22:15:30}", true},
  };
  for (const Case& c : cases) EXPECT_EQ(logic(c.text), c.want) << c.text;
  table.SetDeleted(true);
  EXPECT_TRUE(logic("DELETED()"));
}

TEST_F(ExprTest, IifEvaluatesOnlyTheChosenBranch) {
  // The branch not taken would divide by zero; it must not turn the result null.
  table.SetNumber(age, 0);
  EXPECT_DOUBLE_EQ(num("IIF(AGE = 0, 0, 100 / AGE)"), 0);
  table.SetNumber(age, 4);
  EXPECT_DOUBLE_EQ(num("IIF(AGE = 0, 0, 100 / AGE)"), 25);
}

TEST_F(ExprTest, FunctionArgumentErrors) {
  struct Case {
    const char* text;
    engine::ErrorCode code;
    const char* message;
  } cases[] = {
      {"UPPER(AGE)", kExprTypeMismatch, "Expression error at position 7: argument 1 of UPPER must be character, not numeric"},
      {"UPPER()", kExprArgumentCount, "Expression error at position 1: UPPER takes 1 argument, not 0"},
      {"UPPER(NAME, CITY)", kExprArgumentCount, "Expression error at position 1: UPPER takes 1 argument, not 2"},
      {"SUBSTR(NAME)", kExprArgumentCount, "Expression error at position 1: SUBSTR takes 2 to 3 arguments, not 1"},
      {"SUBSTR(NAME, '1')", kExprTypeMismatch, "Expression error at position 14: argument 2 of SUBSTR must be numeric, not character"},
      {"DATE(1)", kExprArgumentCount, "Expression error at position 1: DATE takes 0 arguments, not 1"},
      {"STR(NAME)", kExprTypeMismatch, "Expression error at position 5: argument 1 of STR must be numeric, not character"},
      {"STR(AGE, AGE)", kExprNotConstant, "Expression error at position 10: the length of STR must be a constant"},
      {"STR(AGE, 0)", kExprTooComplex, "Expression error at position 10: the length of STR must be 1 to 255"},
      {"STR(AGE, 10, 20)", kExprTooComplex, "Expression error at position 14: the decimals of STR must be 0 to 15"},
      {"SPACE(AGE)", kExprNotConstant, "Expression error at position 7: the length of SPACE must be a constant"},
      {"SPACE(-1)", kExprTooComplex, "Expression error at position 7: the length of SPACE must be 0 to 65535"},
      {"SPACE(70000)", kExprTooComplex, "Expression error at position 7: the length of SPACE must be 0 to 65535"},
      {"REPLICATE(NAME, 3000)", kExprTooComplex, "Expression error at position 1: result longer than 65535 characters"},
      {"PADL(NAME, AGE)", kExprNotConstant, "Expression error at position 12: the length of PADL must be a constant"},
      {"DTOS(NAME)", kExprTypeMismatch, "Expression error at position 6: argument 1 of DTOS must be date or timestamp, not character"},
      {"YEAR(AGE)", kExprTypeMismatch, "Expression error at position 6: argument 1 of YEAR must be date or timestamp, not numeric"},
      {"TTOC(BORN)", kExprTypeMismatch, "Expression error at position 6: argument 1 of TTOC must be timestamp or time, not date"},
      {"CTOD(BORN)", kExprTypeMismatch, "Expression error at position 6: argument 1 of CTOD must be character, not date"},
      {"IIF(AGE, 1, 2)", kExprTypeMismatch, "Expression error at position 5: argument 1 of IIF must be logical, not numeric"},
      {"IIF(ACTIVE, 1, 'x')", kExprTypeMismatch, "Expression error at position 16: argument 3 of IIF must be numeric, not character"},
      {"MAX(AGE, NAME)", kExprTypeMismatch, "Expression error at position 10: argument 2 of MAX must be numeric, not character"},
      {"MAX(ACTIVE, ACTIVE)", kExprTypeMismatch,
       "Expression error at position 5: argument 1 of MAX must be numeric, character, date, timestamp or time, not logical"},
      {"CHR('A')", kExprTypeMismatch, "Expression error at position 5: argument 1 of CHR must be numeric, not character"},
      {"UPPER(*)", kExprSyntax, "Expression error at position 7: only CONTAINS accepts * as an argument"},
      {"ROUND(PRICE)", kExprArgumentCount, "Expression error at position 1: ROUND takes 2 arguments, not 1"},
      {"LEFT(NAME, 2) + UPPER(1)", kExprTypeMismatch, "Expression error at position 23: argument 1 of UPPER must be character, not numeric"},
  };
  for (const Case& c : cases) {
    Failure f = fail(c.text);
    EXPECT_TRUE(f.failed) << c.text;
    EXPECT_EQ(f.code, c.code) << c.text;
    EXPECT_EQ(f.text, c.message) << c.text;
  }
}

TEST_F(ExprTest, FunctionNamesIgnoreCase) {
  EXPECT_EQ(str("upper(name)"), str("UPPER(NAME)"));
  EXPECT_EQ(str("Upper(Left(Name, 2))"), "SM");
  EXPECT_TRUE(logic("empty(nothing)"));
}

TEST_F(ExprTest, MemoTextLongerThanItsDeclaredLengthIsHandledInFull) {
  // NOTES declares 10 characters but holds more; functions see the whole text.
  EXPECT_EQ(str("UPPER(NOTES)"), "CALLED TWICE ABOUT THE INVOICE; PREFERS E-MAIL.");
  EXPECT_TRUE(logic("'invoice' $ NOTES"));
  // Its key is cut to the static length.
  auto key = compile("UPPER(NOTES)");
  ASSERT_EQ(key->length(), 10u);
  std::string bytes(10, '\0');
  EXPECT_TRUE(key->WriteKey(&table, options, bytes.data()));
  EXPECT_EQ(bytes, "CALLED TWI");
}

}  // namespace
}  // namespace exprtest
