// Hostile expression text and data: whatever its size or shape, it gives a clear error or a
// sound value, never a crash, a hang or a value read from freed memory.
#include <random>

#include "engine/expr/contains_search.h"
#include "expr_fixture.h"

namespace exprtest {
namespace {

using namespace engine::err;

std::string Chain(const std::string& term, const std::string& op, int terms) {
  std::string s = term;
  s.reserve(static_cast<size_t>(terms) * (term.size() + op.size()));
  for (int i = 1; i < terms; ++i) s += op + term;
  return s;
}

std::string Nested(const std::string& open, const std::string& inner, const std::string& close, int levels) {
  std::string s;
  for (int i = 0; i < levels; ++i) s += open;
  s += inner;
  for (int i = 0; i < levels; ++i) s += close;
  return s;
}

TEST_F(ExprTest, HugeOrDeepTextIsRefusedWithAClearError) {
  std::string garbage(4096, '\0');
  std::mt19937 rng(7);
  for (char& c : garbage) c = static_cast<char>(rng());
  garbage[0] = '\x01';  // a character that starts no token, wherever the random bytes go
  struct Case {
    const char* what;
    std::string text;
    engine::ErrorCode code;
  };
  const Case cases[] = {
      // A chain of one left-associative operator nests nothing in the text but builds a tree
      // one level deeper per term; evaluating or destroying such a tree recursed without end.
      {"150,000 numeric fields added", Chain("AGE", "+", 150000), kExprTooComplex},
      {"20,000 character fields joined", Chain("NAME", "+", 20000), kExprTooComplex},
      {"10,000 conditions", Chain("ACTIVE", ".AND.", 10000), kExprTooComplex},
      {"10,000 levels of parentheses", Nested("(", "1", ")", 10000), kExprTooComplex},
      {"10,000 levels of calls", Nested("UPPER(", "NAME", ")", 10000), kExprTooComplex},
      {"10,000 levels of NOT", Nested(".NOT. ", "ACTIVE", "", 10000), kExprTooComplex},
      {"10,000 signs", Nested("-", "AGE", "", 10000), kExprTooComplex},
      {"10,000 powers", Chain("AGE", "^", 10000), kExprTooComplex},
      {"a literal of 70,000 characters", "'" + std::string(70000, 'x') + "'", kExprTooComplex},
      {"a name of 100,000 characters", std::string(100000, 'N'), kExprUnknownField},
      {"a function name of 100,000 characters", std::string(100000, 'F') + "()", kExprUnknownFunction},
      {"an unterminated literal of 100,000 characters", "'" + std::string(100000, 'x'), kExprSyntax},
      {"binary garbage", garbage, kExprSyntax},
      {"a CONTAINS condition of 65,535 parentheses",
       "CONTAINS(NAME, REPLICATE('(', 65535))", kExprSyntax},
      {"a CONTAINS condition of 10,000 NOTs", "CONTAINS(NAME, '" + Chain("NOT", " ", 10000) + " x')", kExprSyntax},
      {"a CONTAINS condition of 20,000 words", "CONTAINS(NAME, '" + Chain("w", " ", 20000) + "')", kExprSyntax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Failure f = fail(c.text);
    EXPECT_TRUE(f.failed);
    EXPECT_EQ(f.code, c.code);
    EXPECT_EQ(f.text.rfind("Expression error at position ", 0), 0u) << f.text.substr(0, 200);
  }
  // Chains of constants fold as they are read and never grow a tree.
  EXPECT_DOUBLE_EQ(num(Chain("1", "+", 150000)), 150000);
}

TEST_F(ExprTest, AKeyOfLengthZeroWritesNothing) {
  for (const char* text : {"''", "LEFT(NAME, 0)", "SPACE(0)", "SUBSTR(NAME, 40)"}) {
    SCOPED_TRACE(text);
    auto e = compile(text);
    ASSERT_EQ(e->length(), 0u);
    EXPECT_TRUE(e->WriteKey(&table, options, nullptr));
  }
}

TEST_F(ExprTest, LongChainsWithinTheLimitEvaluate) {
  EXPECT_DOUBLE_EQ(num(Chain("AGE", "+", 1000)), 42 * 1000);
  EXPECT_EQ(str(Chain("TRIM(NAME)", "+", 500)), Chain("Smith", "", 500));
  EXPECT_TRUE(logic(Chain("ACTIVE", ".AND.", 999)));
  EXPECT_EQ(fail(Chain("AGE", "+", 1002)).code, kExprTooComplex);
}

TEST_F(ExprTest, ContainsConditionsFromDataAreBoundedToo) {
  // A condition read from a record is parsed per record: one nested beyond the limit matches
  // nothing instead of exhausting the stack, and a long run of words is no deeper than one
  // word (it once built a tree one level deeper per word).
  table.SetString(notes, std::string(200000, '('));
  EXPECT_FALSE(logic("CONTAINS(NAME, NOTES)"));
  table.SetString(notes, Chain("NOT", " ", 200000) + " smith");
  EXPECT_FALSE(logic("CONTAINS(NAME, NOTES)"));
  table.SetString(notes, Chain("nobody", " OR ", 999) + " OR smith");
  EXPECT_TRUE(logic("CONTAINS(NAME, NOTES)"));
  table.SetString(notes, Chain("smith", " ", 1000));
  EXPECT_TRUE(logic("CONTAINS(NAME, NOTES)"));
  // Every word is looked for in the whole text, so a condition has at most 1000 of them.
  table.SetString(notes, Chain("smith", " ", 100000));
  EXPECT_FALSE(logic("CONTAINS(NAME, NOTES)"));

  std::string error;
  size_t at = 0;
  EXPECT_EQ(engine::expr::ContainsCondition::Parse(std::string(200000, '('), error, at), nullptr);
  EXPECT_EQ(error, "the search condition is nested too deeply");
  EXPECT_LE(at, 200000u);
  auto within = engine::expr::ContainsCondition::Parse(Nested("(", "smith", ")", 100), error, at);
  ASSERT_NE(within, nullptr);
  std::string_view text = "Mr Smith";
  EXPECT_TRUE(within->Matches(&text, 1));
}

TEST_F(ExprTest, ContainsInsideTheTextOfAnotherContainsKeepsItsOwnTexts) {
  // The inner search (for "zzz", which NAME lacks) gives "b"; the outer one then searches "b"
  // alone for "smith". Both searches once shared one list of texts, so the outer one also saw
  // NAME and matched.
  EXPECT_FALSE(logic("CONTAINS(IIF(CONTAINS(NAME, 'zzz'), 'a', 'b'), 'smith')"));
  EXPECT_TRUE(logic("CONTAINS(IIF(CONTAINS(NAME, 'smith'), NAME, 'b'), 'smith')"));
}

}  // namespace
}  // namespace exprtest
