// Field and index definitions: lists, name rules and the index definition for a field list.
#include <gtest/gtest.h>

#include "runtime/data/field_defs.h"
#include "runtime/data/index_defs.h"
#include "runtime/exception.h"

namespace {

TEST(TFieldDefs, AddNumbersDefinitionsByPositionAndFindsNamesIgnoringCase) {
  TFieldDefs defs(nullptr);
  TFieldDef* name = defs.Add(QStringLiteral("NAME"), ftString, 30, true);
  TFieldDef* qty = defs.Add(QStringLiteral("Qty"), ftInteger);
  EXPECT_EQ(name->FieldNo(), 1);
  EXPECT_EQ(qty->FieldNo(), 2);
  EXPECT_EQ(name->Size(), 30);
  EXPECT_TRUE(name->Required());
  EXPECT_FALSE(qty->Required());
  EXPECT_EQ(defs.Find(QStringLiteral("qTY")), qty);
  EXPECT_EQ(defs.IndexOf(QStringLiteral("name")), 0);
  EXPECT_EQ(defs.IndexOf(QStringLiteral("missing")), -1);
  defs.Delete(0);
  EXPECT_EQ(qty->FieldNo(), 1) << "positions follow deletions";
}

TEST(TFieldDefs, RefusesDuplicateAndEmptyNamesAndUnknownLookups) {
  TFieldDefs defs(nullptr);
  defs.Add(QStringLiteral("A"), ftInteger);
  struct Case {
    std::function<void()> call;
    QString message;
  } cases[] = {
      {[&] { defs.Add(QStringLiteral("a"), ftString, 5); }, QStringLiteral("Duplicate field name 'a'")},
      {[&] { defs.Add(QString(), ftString, 5); }, QStringLiteral("Field name missing")},
      {[&] { defs.Find(QStringLiteral("B")); }, QStringLiteral("Field 'B' not found")},
      {[&] { defs.AddFieldDef()->SetName(QStringLiteral("A")); }, QStringLiteral("Duplicate field name 'A'")},
  };
  for (auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception for " << c.message.toStdString();
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_THROW(defs.Items(5), ERangeError);
}

TEST(TFieldDefs, AssignCopiesEveryAttribute) {
  TFieldDefs a(nullptr);
  TFieldDef* d = a.Add(QStringLiteral("AMOUNT"), ftFMTBcd, 2);
  d->SetPrecision(18);
  d->SetAttributes(faReadonly | faRequired);
  TFieldDefs b(nullptr);
  b.Add(QStringLiteral("OLD"), ftString, 1);
  b.Assign(a);
  ASSERT_EQ(b.Count(), 1);
  EXPECT_EQ(b[0]->Name(), QStringLiteral("AMOUNT"));
  EXPECT_EQ(b[0]->DataType(), ftFMTBcd);
  EXPECT_EQ(b[0]->Size(), 2);
  EXPECT_EQ(b[0]->Precision(), 18);
  EXPECT_EQ(b[0]->Attributes(), faReadonly | faRequired);
  EXPECT_EQ(b[0]->Collection(), &b);
}

TEST(TIndexDefs, GetIndexForFieldsPrefersExactListsThenLeadingFields) {
  TIndexDefs defs(nullptr);
  defs.Add(QStringLiteral("BYDESC"), QStringLiteral("NAME"), ixDescending);
  defs.Add(QStringLiteral("BYEXPR"), QStringLiteral("UPPER(NAME)"), ixExpression);
  TIndexDef* nameCity = defs.Add(QStringLiteral("NAMECITY"), QStringLiteral("NAME;CITY"), {});
  TIndexDef* name = defs.Add(QStringLiteral("NAME"), QStringLiteral("NAME"), ixUnique);
  TIndexDef* ci = defs.Add(QStringLiteral("CI"), QStringLiteral("CITY;NAME"), ixCaseInsensitive);

  struct Case {
    const char* fields;
    bool caseInsensitive;
    TIndexDef* expected;
  } cases[] = {
      {"NAME", false, name},           // exact list beats the earlier index that starts with it
      {"name; city", false, nameCity}, // names ignore case and blanks around them
      {"CITY", false, ci},             // leading field of a longer index
      {"CITY", true, ci},
      {"NAME", true, nullptr},         // no case-insensitive index on NAME
      {"NAM", false, nullptr},         // whole names only
      {"CITY;NAME;ZIP", false, nullptr},
      {"", false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields);
    EXPECT_EQ(defs.GetIndexForFields(QString::fromLatin1(c.fields), c.caseInsensitive), c.expected);
  }
  EXPECT_EQ(defs.FindIndexForFields(QStringLiteral("NAME;CITY")), nameCity);
  try {
    defs.FindIndexForFields(QStringLiteral("ZIP"));
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("No index for fields 'ZIP'"));
  }
}

TEST(TIndexDefs, ExpressionIndexesKeepTheirExpressionAndNamesAreUnique) {
  TIndexDefs defs(nullptr);
  TIndexDef* e = defs.Add(QStringLiteral("UP"), QStringLiteral("UPPER(NAME)"), ixExpression | ixUnique);
  EXPECT_EQ(e->Expression(), QStringLiteral("UPPER(NAME)"));
  EXPECT_TRUE(e->Fields().isEmpty());
  EXPECT_EQ(defs.Find(QStringLiteral("up")), e);
  EXPECT_THROW(defs.Add(QStringLiteral("Up"), QStringLiteral("X"), {}), EDatabaseError);
  EXPECT_THROW(defs.Find(QStringLiteral("none")), EDatabaseError);

  TIndexDefs copy(nullptr);
  copy.Assign(defs);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy[0]->Options(), ixExpression | ixUnique);
  EXPECT_EQ(copy[0]->Expression(), QStringLiteral("UPPER(NAME)"));
}

}  // namespace

#include "runtime/data/sql_scanner.h"

namespace {

TEST(SqlScanner, FindsTheTableAfterFromAtTheOuterLevel) {
  struct Case {
    const char* sql;
    const char* table;
  } cases[] = {
      {"select name from system.tables", "system.tables"},
      {"SELECT * FROM \"Order Items\" o where 1", "Order Items"},
      {"select (select max(x) from inner_t) from outer_t", "outer_t"},
      {"select 'from fake' , a from [real] ", "real"},
      {"select a -- from commented\n from t2", "t2"},
      {"update t set a = 1", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(GetTableNameFromSQL(QString::fromLatin1(c.sql)), QString::fromLatin1(c.table));
  }
}

TEST(SqlScanner, BuildsAnIndexDefinitionFromOrderBy) {
  struct Case {
    const char* sql;
    bool found;
    const char* fields;
    const char* descFields;
    bool descending;
  } cases[] = {
      {"select * from t order by NAME, CITY", true, "NAME;CITY", "", false},
      {"select * from t ORDER BY a desc, b asc", true, "a;b", "a", false},
      {"select * from t order by a desc, \"b c\" desc limit 5", true, "a;b c", "", true},
      {"select * from t order by upper(a)", false, "", "", false},
      {"select * from t order by 1", false, "", "", false},
      {"select * from t", false, "", "", false},
      {"select * from (select a from t order by a) x", false, "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    TIndexDef def(nullptr);
    def.SetFields(QStringLiteral("untouched"));
    EXPECT_EQ(GetIndexForOrderBy(QString::fromLatin1(c.sql), def), c.found);
    if (!c.found) {
      EXPECT_EQ(def.Fields(), QStringLiteral("untouched"));
      continue;
    }
    EXPECT_EQ(def.Fields(), QString::fromLatin1(c.fields));
    EXPECT_EQ(def.DescFields(), QString::fromLatin1(c.descFields));
    EXPECT_EQ(def.Options().testFlag(ixDescending), c.descending);
  }
}

}  // namespace
