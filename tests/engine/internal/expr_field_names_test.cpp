// Long field names and their short forms in expression text.
#include "engine/expr/field_names.h"

#include "expr_fixture.h"

namespace exprtest {
namespace {

using engine::expr::ExpressionLongToShort;
using engine::expr::ExpressionShortToLong;
using engine::expr::ShortFieldNames;

class ExprNames : public ::testing::Test {
 protected:
  ExprNames() : table("ORDERS") {
    table.AddField("ID", ExprType::Numeric, 10);
    table.AddField("CUSTOMER_REFERENCE", ExprType::String, 12);
    table.AddField("CUSTOMER_REGION", ExprType::String, 4);  // same first 10 characters
    table.AddField("DELIVERY_DATE", ExprType::Date, 8);
    table.AddField("Customer_R", ExprType::String, 3);       // a real field spelled like a short name
    table.SetString(1, "REF-1");
    table.SetString(2, "EU");
    table.SetDate(3, JulianFromYmd(2024, 5, 1));
    table.SetString(4, "abc");
    table.SetNumber(0, 5);
  }
  MemoryRecord table;
};

TEST_F(ExprNames, ShortNamesAreUniqueAndAtMostTenCharacters) {
  std::vector<std::string> shorts = ShortFieldNames(table);
  EXPECT_EQ(shorts, (std::vector<std::string>{"ID", "CUSTOMER_2", "CUSTOMER_3", "DELIVERY_D", "Customer_R"}));
  for (size_t i = 0; i < shorts.size(); ++i) {
    EXPECT_LE(shorts[i].size(), 10u);
    for (size_t k = 0; k < i; ++k) EXPECT_FALSE(engine::expr::SameName(shorts[i], shorts[k])) << shorts[i];
  }
}

TEST_F(ExprNames, ConversionsRewriteFieldNamesOnly) {
  struct Case {
    const char* longForm;
    const char* shortForm;
  } cases[] = {
      {"CUSTOMER_REFERENCE = 'CUSTOMER_REFERENCE'", "CUSTOMER_2 = 'CUSTOMER_REFERENCE'"},
      {"upper(customer_region)+DTOS(Delivery_Date)", "upper(CUSTOMER_3)+DTOS(DELIVERY_D)"},
      {"ID > 3 .AND. [DELIVERY_DATE] $ \"DELIVERY_DATE\"", "ID > 3 .AND. [DELIVERY_DATE] $ \"DELIVERY_DATE\""},
      {"ORDERS->DELIVERY_DATE > {2024-01-01}", "ORDERS->DELIVERY_D > {2024-01-01}"},
      {"OTHER->DELIVERY_DATE", "OTHER->DELIVERY_DATE"},  // another table's field is left alone
      {"Customer_R + CUSTOMER_REFERENCE", "Customer_R + CUSTOMER_2"},
      {"CONTAINS(CUSTOMER_REFERENCE, 'ab*')", "CONTAINS(CUSTOMER_2, 'ab*')"},
      {"1.5e3 + ID", "1.5e3 + ID"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpressionLongToShort(c.longForm, table), c.shortForm) << c.longForm;
  }
  // Back again: short names become the fields' names as the table spells them.
  EXPECT_EQ(ExpressionShortToLong("CUSTOMER_2 = 'CUSTOMER_2' .AND. customer_3 = 'EU'", table),
            "CUSTOMER_REFERENCE = 'CUSTOMER_2' .AND. CUSTOMER_REGION = 'EU'");
  EXPECT_EQ(ExpressionShortToLong("Customer_R + ID", table), "Customer_R + ID");
  EXPECT_EQ(ExpressionShortToLong("upper(CUSTOMER_3)+DTOS(DELIVERY_D)", table),
            "upper(CUSTOMER_REGION)+DTOS(DELIVERY_DATE)");
}

TEST_F(ExprNames, ShortAndLongFormsEvaluateAlike) {
  EvalOptions options;
  const char* longForm = "TRIM(CUSTOMER_REFERENCE) + CUSTOMER_REGION + DTOS(DELIVERY_DATE) + Customer_R";
  std::string shortForm = ExpressionLongToShort(longForm, table);
  auto a = CompiledExpr::Compile(longForm, &table);
  auto b = CompiledExpr::Compile(shortForm, &table);
  EXPECT_EQ(a->EvalText(&table, options), "REF-1EU  20240501abc");
  EXPECT_EQ(b->EvalText(&table, options), a->EvalText(&table, options));
  EXPECT_EQ(b->fields(), a->fields());
}

TEST_F(ExprNames, TextSurvivesUnclosedLiteralsAndOddCharacters) {
  // Malformed text is passed through unchanged rather than cut or refused.
  for (const char* t : {"CUSTOMER_REFERENCE = 'abc", "[unterminated", "{2024", "ID @ # ~", ""})
    EXPECT_EQ(ExpressionShortToLong(ExpressionLongToShort(t, table), table), t) << t;
}

}  // namespace
}  // namespace exprtest
