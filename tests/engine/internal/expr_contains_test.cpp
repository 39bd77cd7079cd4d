// CONTAINS: word and phrase search conditions over one field or every character field.
#include "expr_fixture.h"

namespace exprtest {
namespace {

TEST_F(ExprTest, ContainsMatchesWordsPhrasesAndPrefixes) {
  // NOTES: "Called twice about the invoice; prefers e-mail."
  struct Case {
    const char* condition;
    bool want;
  } cases[] = {
      {"invoice", true},
      {"INVOICE", true},                 // case is ignored
      {"invo", false},                   // whole words only
      {"invo*", true},                   // unless the word ends in *
      {"voice", false},
      {"twice invoice", true},           // words side by side mean AND
      {"twice AND missing", false},
      {"missing OR prefers", true},
      {"NOT missing", true},
      {"NOT invoice", false},
      {"\\\"about the invoice\\\"", true},     // a phrase: the words in sequence
      {"\\\"the about\\\"", false},
      {"\\\"prefers e mail\\\"", true},  // punctuation separates words
      {"(missing OR twice) AND NOT (call OR e)", false},
      {"(missing OR twice) AND NOT call", true},
      {"called and (prefers or nothing) and not (x* or y*)", true},
  };
  for (const Case& c : cases) {
    std::string text = std::string("CONTAINS(NOTES, \"") + c.condition + "\")";
    // The phrases above are written with escaped quotes; put plain ones back for the engine.
    std::string fixed;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') continue;
      fixed.push_back(text[i]);
    }
    // The condition literal must not be closed by a phrase's quotes: use [..] around it.
    size_t open = fixed.find('"');
    fixed[open] = '[';
    fixed[fixed.size() - 2] = ']';
    EXPECT_EQ(logic(fixed), c.want) << fixed;
  }
}

TEST_F(ExprTest, ContainsOverEveryCharacterField) {
  EXPECT_TRUE(logic("CONTAINS(*, 'berlin')"));
  EXPECT_TRUE(logic("CONTAINS(*, 'smith AND invoice')"));  // terms may match in different fields
  EXPECT_FALSE(logic("CONTAINS(*, 'paris')"));
  EXPECT_FALSE(logic("CONTAINS(CITY, 'smith')"));
  EXPECT_EQ(compile("CONTAINS(*, 'x')")->fields(), (std::vector<std::string>{"NAME", "City", "NOTES", "NOTHING"}));
}

TEST_F(ExprTest, ContainsConditionsAreCheckedWhenConstant) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"CONTAINS(NOTES, 'a AND')", "Expression error at position 23: a word is missing in the search condition"},
      {"CONTAINS(NOTES, '(a OR b')", "Expression error at position 25: a closing parenthesis is missing in the search condition"},
      {"CONTAINS(NOTES, [\"a b])", "Expression error at position 18: a phrase is not closed in the search condition"},
      {"CONTAINS(NOTES, 'a) b')", "Expression error at position 19: unexpected text in the search condition"},
      {"CONTAINS(NOTES, '')", "Expression error at position 18: a word is missing in the search condition"},
  };
  for (const Case& c : cases) {
    Failure f = fail(c.text);
    EXPECT_EQ(f.code, engine::err::kExprSyntax) << c.text;
    EXPECT_EQ(f.text, c.message) << c.text;
  }
  EXPECT_EQ(fail("CONTAINS(AGE, 'x')").code, engine::err::kExprTypeMismatch);
  EXPECT_EQ(fail("CONTAINS(NOTES, 1)").code, engine::err::kExprTypeMismatch);
  EXPECT_EQ(fail("CONTAINS(NOTES)").code, engine::err::kExprArgumentCount);
}

TEST_F(ExprTest, ContainsWithAConditionFromTheRecord) {
  // The condition comes from a field: parsed per record; one that does not parse matches nothing.
  table.SetString(city, "invoice");
  EXPECT_TRUE(logic("CONTAINS(NOTES, TRIM(CITY))"));
  table.SetString(city, "(invoice");
  EXPECT_FALSE(logic("CONTAINS(NOTES, TRIM(CITY))"));
}

}  // namespace
}  // namespace exprtest
