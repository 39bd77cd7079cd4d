// Index key expressions: static lengths, key bytes, segments and the fields they read.
#include "expr_fixture.h"

namespace exprtest {
namespace {

TEST_F(ExprTest, StaticLengthsOfKeyExpressions) {
  struct Case {
    const char* text;
    uint32_t length;
  } cases[] = {
      {"NAME", 30},
      {"UPPER(NAME)", 30},
      {"UPPER(NAME) + CITY", 50},
      {"NAME - CITY", 50},
      {"STR(AGE, 5)", 5},
      {"STR(AGE)", 10},
      {"STR(AGE, 5) + DTOS(BORN)", 13},
      {"LEFT(NAME, 10) + DTOS(BORN)", 18},
      {"SUBSTR(NAME, 5, 10)", 10},
      {"SUBSTR(NAME, 25)", 6},
      {"SUBSTR(NAME, 40)", 0},
      {"IIF(ACTIVE, NAME, CITY)", 30},
      {"IIF(ACTIVE, LEFT(CITY, 2), UPPER(CITY))", 20},
      {"TRIM(CITY) + '*'", 21},
      {"PADL(TRIM(NAME), 12)", 12},
      {"DTOC(BORN)", 10},
      {"UPPER(NAME) + STR(PRICE, 10, 2) + DTOS(BORN)", 48},
      {"'abc'", 3},
      {"SPACE(4) + CHR(65)", 5},
  };
  for (const Case& c : cases) EXPECT_EQ(compile(c.text)->length(), c.length) << c.text;
}

TEST_F(ExprTest, KeysAreWrittenAtTheirStaticLength) {
  struct Case {
    const char* text;
    const char* key;
  } cases[] = {
      {"UPPER(NAME)", "SMITH                         "},
      {"TRIM(CITY) + '*'", "Berlin*              "},
      {"IIF(ACTIVE, LEFT(CITY, 2), UPPER(CITY))", "Be                  "},
      {"STR(AGE, 5) + DTOS(BORN)", "   4219820307"},
  };
  for (const Case& c : cases) {
    auto e = compile(c.text);
    std::string bytes(e->length() + 4, '#');
    EXPECT_TRUE(e->WriteKey(&table, options, bytes.data())) << c.text;
    EXPECT_EQ(bytes.substr(0, e->length()), c.key) << c.text;
    EXPECT_EQ(bytes.substr(e->length()), "####") << c.text << ": wrote past the key";
  }
}

TEST_F(ExprTest, OneCompiledKeyServesManyRecords) {
  auto key = compile("UPPER(NAME) + STR(AGE, 3)");
  struct Row {
    const char* name;
    double age;
    const char* key;
  } rows[] = {
      {"Smith", 42, "SMITH                          42"},
      {"o'Neil", 7, "O'NEIL                          7"},
      {"", 100, "                              100"},
      {"A very long name that fills it", 1, "A VERY LONG NAME THAT FILLS IT  1"},
  };
  std::string bytes(key->length(), '\0');
  for (const Row& r : rows) {
    table.SetString(name, r.name);
    table.SetNumber(age, r.age);
    key->WriteKey(&table, options, bytes.data());
    EXPECT_EQ(bytes, r.key) << r.name;
  }
}

TEST_F(ExprTest, SegmentedKeysCompileOneExpressionPerSegment) {
  auto segs = CompiledExpr::CompileSegments("UPPER(NAME);AGE; DTOS(BORN) + ';'", &table);
  ASSERT_EQ(segs.size(), 3u);
  EXPECT_EQ(segs[0]->type(), ExprType::String);
  EXPECT_EQ(segs[0]->length(), 30u);
  EXPECT_EQ(segs[0]->fields(), std::vector<std::string>{"NAME"});
  EXPECT_EQ(segs[1]->type(), ExprType::Numeric);
  EXPECT_TRUE(segs[1]->IsSingleField());
  EXPECT_FALSE(segs[0]->IsSingleField());
  EXPECT_EQ(segs[2]->text(), " DTOS(BORN) + ';'");
  EXPECT_EQ(std::string(segs[2]->Evaluate(&table, options).text()), "19820307;");
  try {
    CompiledExpr::CompileSegments("NAME;UPPER(AGE)", &table);
    ADD_FAILURE() << "a bad segment compiled";
  } catch (const engine::EngineError& e) {
    EXPECT_STREQ(e.what(), "Expression error at position 12: argument 1 of UPPER must be character, not numeric");
  }
  EXPECT_THROW(CompiledExpr::CompileSegments("NAME;", &table), engine::EngineError);
}

TEST_F(ExprTest, FieldsReadAreListedOnceInOrderOfFirstUse) {
  EXPECT_EQ(compile("UPPER(city) + name + CITY")->fields(), (std::vector<std::string>{"City", "NAME"}));
  EXPECT_TRUE(compile("'x' + 'y'")->fields().empty());
  EXPECT_TRUE(compile("AGE")->IsSingleField());
}

TEST_F(ExprTest, TextFormsOfEveryType) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"NAME", "Smith                         "}, {"AGE", "42"},         {"PRICE", "19.95"},
      {"1/3", "0.3333333333333333"},         {"BORN", "03/07/1982"}, {"ACTIVE", "T"},
      {"ACTIVE = .F.", "F"},                  {"STAMP", "01/31/2024 13:05:09"}, {"START", "08:30:00"},
      {"1/0", ""},                            {"300", "300"},           {"-1200000", "-1200000"},
      {"1e20", "1e+20"},                      {"0.1 + 0.2", "0.30000000000000004"}, {"-0.5", "-0.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(compile(c.text)->EvalText(&table, options), c.want) << c.text;
}

}  // namespace
}  // namespace exprtest
