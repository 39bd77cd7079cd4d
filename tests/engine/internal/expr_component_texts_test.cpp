// The texts the data-access components build for locating records and for case-insensitive
// indexes are expressions of this language; each must compile and mean what it says.
#include "expr_fixture.h"

namespace exprtest {
namespace {

TEST_F(ExprTest, LocateTermsOfEveryFieldKind) {
  table.SetString(name, "Say \"hi\"");
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {"(empty(NOTHING))", true},
      {"(ACTIVE=.TRUE.)", true},
      {"(ACTIVE=.FALSE.)", false},
      {"(AGE=42)", true},
      {"(PRICE=19.95)", true},
      {"(BORN=ctod(\"03/07/1982\"))", true},
      {"(START=ctot(\"08:30:00\"))", true},
      {"(START=ctot(\"8:30:00 AM\"))", true},
      {"(STAMP=ctots(\"01/31/2024 13:05:09\"))", true},
      {"(NAME=\"Say \"+ Chr(34) + \"hi\"+ Chr(34) + \"\")", true},
      {"(UPPER(NAME)=UPPER(\"say \"+ Chr(34) + \"HI\"+ Chr(34) + \"\"))", true},
      {"(CITY=\"Berlin\") AND (AGE=42)", true},
      {"(CITY=\"Berlin\") AND (AGE=41)", false},
  };
  for (const Case& c : cases) {
    options.exact = true;
    EXPECT_EQ(logic(c.text), c.want) << c.text;
  }
  // Partial keys locate with exactness off: a prefix matches.
  options.exact = false;
  EXPECT_TRUE(logic("(CITY=\"Ber\")"));
  options.exact = true;
  EXPECT_FALSE(logic("(CITY=\"Ber\")"));
}

TEST_F(ExprTest, CaseInsensitiveIndexFieldLists) {
  // "UPPER(NAME);CITY" for native tables, "UPPER(NAME)+CITY" for the others.
  auto segs = CompiledExpr::CompileSegments("UPPER(NAME);CITY", &table);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(std::string(segs[0]->Evaluate(&table, options).text()), "SMITH" + std::string(25, ' '));
  EXPECT_EQ(compile("UPPER(NAME)+CITY")->length(), 50u);
  EXPECT_EQ(compile("NAME+CITY")->fields(), (std::vector<std::string>{"NAME", "City"}));
}

}  // namespace
}  // namespace exprtest
