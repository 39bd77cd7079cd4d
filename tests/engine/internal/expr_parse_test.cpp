// Lexing, parsing, precedence and the errors of malformed text.
#include "expr_fixture.h"

namespace exprtest {
namespace {

using namespace engine::err;

TEST_F(ExprTest, NumericPrecedenceAndAssociativity) {
  struct Case {
    const char* text;
    double want;
  } cases[] = {
      {"1 + 2 * 3", 7},          {"(1 + 2) * 3", 9},     {"10 - 4 - 3", 3},       {"100 / 10 / 5", 2},
      {"2 ** 3 ** 2", 512},      {"2 ^ 3", 8},           {"-2 ** 2", -4},         {"2 ** -1", 0.5},
      {"7 % 3", 1},              {"-7 % 3", -1},         {"- - 3", 3},            {"+4", 4},
      {"1.5e2", 150},            {".25 * 4", 1},         {"5.", 5},               {"AGE * 2 + 1", 85},
      {"2 * AGE / 4", 21},       {"((((1))))", 1},       {"3 - -3", 6},           {"1e-2 * 100", 1},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(num(c.text), c.want) << c.text;
}

TEST_F(ExprTest, LogicalPrecedence) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {".T. .OR. .F. .AND. .F.", true},      // AND binds tighter than OR
      {"(.T. .OR. .F.) .AND. .F.", false},
      {".NOT. .T. .OR. .T.", true},          // NOT binds tighter than OR
      {".NOT. (.T. .OR. .T.)", false},
      {"NOT AGE = 42", false},               // comparisons bind tighter than NOT
      {"!ACTIVE", false},
      {"! .F.", true},
      {"AGE > 40 AND AGE < 50", true},
      {"AGE > 40 and age < 41 or ACTIVE", true},
      {"1 + 1 = 2", true},                   // arithmetic binds tighter than comparison
      {".Y. = .T. .AND. .N. = .F.", true},
      {".TRUE. .AND. .NOT. .FALSE.", true},
      {".t. .and. .f.", false},
  };
  for (const Case& c : cases) EXPECT_EQ(logic(c.text), c.want) << c.text;
}

TEST_F(ExprTest, StringLiteralsInEveryQuoting) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"'abc'", "abc"},       {"\"abc\"", "abc"},   {"[abc]", "abc"},
      {"'say \"hi\"'", "say \"hi\""},               {"[it's]", "it's"},
      {"''", ""},             {"'a' + \"b\" + [c]", "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(str(c.text), c.want) << c.text;
}

TEST_F(ExprTest, FieldNamesIgnoreCaseAndAcceptTheTableAlias) {
  EXPECT_EQ(str("name"), std::string("Smith") + std::string(25, ' '));
  EXPECT_EQ(str("CITY"), std::string("Berlin") + std::string(14, ' '));
  EXPECT_EQ(str("cust->City"), str("city"));
  EXPECT_DOUBLE_EQ(num("Cust -> Age"), 42);
  EXPECT_EQ(compile("upper(cust->name) + City")->fields(), (std::vector<std::string>{"NAME", "City"}));
}

TEST_F(ExprTest, MalformedTextNamesThePosition) {
  struct Case {
    const char* text;
    engine::ErrorCode code;
    const char* message;
  } cases[] = {
      {"", kExprSyntax, "Expression error at position 1: the expression is empty"},
      {"   ", kExprSyntax, "Expression error at position 1: the expression is empty"},
      {"AGE +", kExprSyntax, "Expression error at position 6: expected a value, a field or a function, found the end of the expression"},
      {"(AGE + 1", kExprSyntax, "Expression error at position 9: expected ')', found the end of the expression"},
      {"AGE + 1)", kExprSyntax, "Expression error at position 8: expected an operator or the end of the expression, found ')'"},
      {"'abc", kExprSyntax, "Expression error at position 1: unterminated string literal"},
      {"NAME = [abc", kExprSyntax, "Expression error at position 8: unterminated string literal"},
      {"AGE @ 2", kExprSyntax, "Expression error at position 5: unexpected character '@'"},
      {"AGE .XOR. 2", kExprSyntax, "Expression error at position 5: unknown operator .XOR."},
      {"UPPER(NAME", kExprSyntax, "Expression error at position 11: expected ',' or ')', found the end of the expression"},
      {"UPPER(NAME,)", kExprSyntax, "Expression error at position 12: expected a value, a field or a function, found ')'"},
      {"AGE AGE", kExprSyntax, "Expression error at position 5: expected an operator or the end of the expression, found 'AGE'"},
      {"12abc", kExprSyntax, "Expression error at position 3: unexpected character after a number"},
      {"{2024-02-30}", kExprSyntax, "Expression error at position 1: invalid date literal {2024-02-30}"},
      {"{2024-01", kExprSyntax, "Expression error at position 1: unterminated date literal"},
      {"NAME;CITY", kExprSyntax, "Expression error at position 5: expected an operator or the end of the expression, found ';'"},
      {"CUST->", kExprSyntax, "Expression error at position 7: expected a field name after '->', found the end of the expression"},
      {"FOO(1)", kExprUnknownFunction, "Expression error at position 1: unknown function FOO"},
      {"AGE + foo(1)", kExprUnknownFunction, "Expression error at position 7: unknown function FOO"},
      {"SURNAME", kExprUnknownField, "Expression error at position 1: unknown field SURNAME"},
      {"OTHER->NAME", kExprUnknownField, "Expression error at position 1: unknown alias OTHER"},
      {"CUST->SURNAME", kExprUnknownField, "Expression error at position 7: unknown field SURNAME"},
  };
  for (const Case& c : cases) {
    Failure f = fail(c.text);
    EXPECT_TRUE(f.failed) << c.text;
    EXPECT_EQ(f.code, c.code) << c.text;
    EXPECT_EQ(f.text, c.message) << c.text;
  }
}

TEST_F(ExprTest, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
  std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
  Failure f = fail(deep);
  EXPECT_EQ(f.code, kExprTooComplex);
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "!";
  EXPECT_EQ(fail(nots + ".T.").code, kExprTooComplex);
  std::string minus(5000, '-');
  EXPECT_EQ(fail(minus + "1").code, kExprTooComplex);
  // Nesting within the limit compiles.
  EXPECT_DOUBLE_EQ(num(std::string(100, '(') + "1" + std::string(100, ')')), 1);
}

TEST_F(ExprTest, WithoutATableFieldsAreUnknownButConstantsEvaluate) {
  auto e = CompiledExpr::Compile("UPPER('abc') + STR(12, 4)", nullptr);
  EXPECT_EQ(std::string(e->Evaluate(nullptr, options).text()), "ABC  12");
  try {
    CompiledExpr::Compile("1 + NAME", nullptr);
    ADD_FAILURE() << "a field compiled without a table";
  } catch (const engine::EngineError& err) {
    EXPECT_EQ(err.code(), kExprUnknownField);
    EXPECT_STREQ(err.what(), "Expression error at position 5: unknown field NAME");
  }
}

}  // namespace
}  // namespace exprtest
