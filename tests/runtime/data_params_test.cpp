// SQL parameters: the parameter scanner, TParam values and their value forms, TParams lists.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/data/db_dates.h"
#include "runtime/data/params.h"
#include "runtime/data/sql_param_parser.h"
#include "runtime/exception.h"

namespace {

struct ScanCase {
  const char* sql;
  QStringList names;
  const char* text;
};

TEST(SqlParamScan, FindsColonNamesAndSkipsQuotedTextAndComments) {
  const ScanCase cases[] = {
      {"select * from t where a = :a and b = :B_2", {"a", "B_2"}, "select * from t where a = ? and b = ?"},
      {"where x = ':notparam' and y = :y", {"y"}, "where x = ':notparam' and y = ?"},
      {"where \"col:x\" = :v", {"v"}, "where \"col:x\" = ?"},
      {"where `a:b` = :c", {"c"}, "where `a:b` = ?"},
      {"where s = 'it''s :x' and t = :t", {"t"}, "where s = 'it''s :x' and t = ?"},
      {"select system::tables, :p", {"p"}, "select system::tables, ?"},
      {"where a = :\"my param\" and b = :'other'", {"my param", "other"}, "where a = ? and b = ?"},
      {"where a = :\"say \"\"hi\"\"\"", {"say \"hi\""}, "where a = ?"},
      {"where a = :a or b = :a", {"a", "a"}, "where a = ? or b = ?"},
      {"select 1 -- :comment\nfrom t where z = :z", {"z"}, "select 1 -- :comment\nfrom t where z = ?"},
      {"select /* :c1 */ :real", {"real"}, "select /* :c1 */ ?"},
      {"where t = '10:30' and :1st = 1", {"1st"}, "where t = '10:30' and ? = 1"},
      {"where a = : b", {}, "where a = : b"},
      {"where a = ':unterminated", {}, "where a = ':unterminated"},
      {"where a = :\"unterminated", {}, "where a = :\"unterminated"},
      {"where a = :\"\" and b = :b", {"b"}, "where a = :\"\" and b = ?"},
      {"trailing colon:", {}, "trailing colon:"},
      {"where name = :Größe", {"Größe"}, "where name = ?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    SqlParamScan scan = ScanSqlParams(QString::fromUtf8(c.sql));
    EXPECT_EQ(scan.names, c.names);
    EXPECT_EQ(scan.text, QString::fromUtf8(c.text));
  }
}

TEST(TParams, ParseSqlCreatesOneUntypedParameterPerOccurrence) {
  TParams params;
  QString text = params.ParseSQL(QStringLiteral("select * from t where a = :id and b = :name and c = :id"), true);
  EXPECT_EQ(text, QStringLiteral("select * from t where a = ? and b = ? and c = ?"));
  ASSERT_EQ(params.Count(), 3);
  EXPECT_EQ(params[0]->Name(), QStringLiteral("id"));
  EXPECT_EQ(params[1]->Name(), QStringLiteral("name"));
  EXPECT_EQ(params[2]->Name(), QStringLiteral("id"));
  for (int i = 0; i < params.Count(); ++i) {
    EXPECT_EQ(params[i]->DataType(), ftUnknown);
    EXPECT_EQ(params[i]->ParamType(), ptUnknown);
    EXPECT_TRUE(params[i]->IsNull());
    EXPECT_FALSE(params[i]->Bound());
  }
  TParams none;
  none.ParseSQL(QStringLiteral("select :a"), false);
  EXPECT_EQ(none.Count(), 0);
}

TEST(TParams, LookupIgnoresLetterCaseAndReportsMissingNames) {
  TParams params;
  params.CreateParam(ftInteger, QStringLiteral("CustNo"), ptInput);
  EXPECT_EQ(params.FindParam(QStringLiteral("custno")), params[0]);
  EXPECT_EQ(params.FindParam(QStringLiteral("other")), nullptr);
  try {
    params.ParamByName(QStringLiteral("other"));
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Parameter 'other' not found"));
  }
}

TEST(TParams, AssignValuesCopiesSameNamedValuesWithoutAddingOrRemoving) {
  TParams old;
  old.CreateParam(ftInteger, QStringLiteral("a"), ptInput)->SetAsInteger(7);
  old.CreateParam(ftString, QStringLiteral("gone"), ptInput)->SetAsString(QStringLiteral("x"));
  TParams fresh;
  fresh.ParseSQL(QStringLiteral("select :A, :b"), true);
  fresh.AssignValues(old);
  ASSERT_EQ(fresh.Count(), 2);
  EXPECT_EQ(fresh[0]->DataType(), ftInteger);
  EXPECT_EQ(fresh[0]->AsInteger(), 7);
  EXPECT_TRUE(fresh[0]->Bound());
  EXPECT_EQ(fresh[0]->Name(), QStringLiteral("A"));
  EXPECT_TRUE(fresh[1]->IsNull());
  EXPECT_EQ(fresh[1]->DataType(), ftUnknown);

  TParams copy;
  copy.Assign(fresh);
  EXPECT_TRUE(copy.IsEqual(fresh));
  copy[0]->SetAsInteger(8);
  EXPECT_FALSE(copy.IsEqual(fresh));
  EXPECT_EQ(fresh[0]->AsInteger(), 7) << "Assign copies, it does not share";
}

TEST(TParam, TypedSettersSetTheTypeOnlyWhileUnknown) {
  TParam p;
  p.SetAsInteger(5);
  EXPECT_EQ(p.DataType(), ftInteger);
  EXPECT_TRUE(p.Bound());
  p.SetAsString(QStringLiteral("12"));
  EXPECT_EQ(p.DataType(), ftInteger) << "a known type stays";
  EXPECT_EQ(p.AsInteger(), 12);

  struct Case {
    std::function<void(TParam&)> set;
    TFieldType type;
  } cases[] = {
      {[](TParam& q) { q.SetAsString(QStringLiteral("s")); }, ftString},
      {[](TParam& q) { q.SetAsWideString(QStringLiteral("s")); }, ftWideString},
      {[](TParam& q) { q.SetAsSmallInt(1); }, ftSmallint},
      {[](TParam& q) { q.SetAsFloat(1.5); }, ftFloat},
      {[](TParam& q) { q.SetAsCurrency(1.5); }, ftCurrency},
      {[](TParam& q) { q.SetAsBCD(IntegerToBcd(3)); }, ftBCD},
      {[](TParam& q) { q.SetAsFMTBCD(IntegerToBcd(3)); }, ftFMTBcd},
      {[](TParam& q) { q.SetAsBoolean(true); }, ftBoolean},
      {[](TParam& q) { q.SetAsDate(0); }, ftDate},
      {[](TParam& q) { q.SetAsTime(0.5); }, ftTime},
      {[](TParam& q) { q.SetAsDateTime(1.25); }, ftDateTime},
      {[](TParam& q) { q.SetAsBlob(QByteArray("ab")); }, ftBlob},
      {[](TParam& q) { q.SetAsBytes(QByteArray("ab")); }, ftBytes},
      {[](TParam& q) { q.SetAsMemo(QStringLiteral("m")); }, ftMemo},
      {[](TParam& q) { q.SetValue(QVariant(QStringLiteral("v"))); }, ftString},
      {[](TParam& q) { q.SetValue(QVariant(3)); }, ftInteger},
      {[](TParam& q) { q.SetValue(QVariant(2.0)); }, ftFloat},
      {[](TParam& q) { q.SetValue(QVariant(true)); }, ftBoolean},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    SCOPED_TRACE(i);
    TParam q;
    cases[i].set(q);
    EXPECT_EQ(q.DataType(), cases[i].type);
    EXPECT_FALSE(q.IsNull());
  }
}

TEST(TParam, ValuesConvertBetweenTheirForms) {
  TParam p;
  p.SetAsString(QStringLiteral(" 42 "));
  EXPECT_EQ(p.AsInteger(), 42);
  EXPECT_EQ(p.AsFloat(), 42.0);
  EXPECT_EQ(BcdToStr(p.AsBCD()), QStringLiteral("42"));

  TParam f;
  f.SetAsFloat(2.5);
  EXPECT_EQ(f.AsString(), QStringLiteral("2.5"));
  EXPECT_EQ(f.AsInteger(), 3);

  TParam b;
  b.SetAsBCD(StrToBcd(QStringLiteral("-10.125")));
  EXPECT_EQ(b.AsString(), QStringLiteral("-10.125"));
  EXPECT_DOUBLE_EQ(b.AsFloat(), -10.125);

  TParam t;
  t.SetAsBoolean(true);
  EXPECT_EQ(t.AsString(), QStringLiteral("True"));

  TParam d;
  d.SetAsDate(0);
  EXPECT_EQ(d.AsString(), QStringLiteral("1899-12-30"));
  EXPECT_EQ(d.AsDateTime(), 0.0);

  TParam bad;
  bad.SetAsString(QStringLiteral("abc"));
  EXPECT_THROW(bad.AsInteger(), EConvertError);
  EXPECT_THROW(bad.AsFloat(), EConvertError);
  EXPECT_THROW(bad.AsBCD(), EConvertError);

  TParam nul;
  nul.SetAsInteger(1);
  nul.Clear();
  EXPECT_TRUE(nul.IsNull());
  EXPECT_EQ(nul.AsString(), QString());
  EXPECT_EQ(nul.GetDataSize(), 0);
}

TEST(TParam, ChangingTheTypeKeepsConvertibleValuesAndDropsOthers) {
  TParam p;
  p.SetAsString(QStringLiteral("17"));
  p.SetDataType(ftInteger);
  EXPECT_EQ(p.Value(), QVariant(17));
  p.SetAsString(QStringLiteral("x"));
  p.SetDataType(ftFloat);
  EXPECT_TRUE(p.IsNull());
}

TEST(TParam, GetDataWritesTheValueForms) {
  TParam date;
  date.SetAsDate(0);  // 1899-12-30
  ASSERT_EQ(date.GetDataSize(), 4);
  int32_t day = 0;
  date.GetData(&day);
  EXPECT_EQ(day, dbdates::kDateDelta);

  TParam time;
  time.SetAsTime(0.5);
  int32_t ms = 0;
  time.GetData(&ms);
  EXPECT_EQ(ms, 43200000);

  TParam stamp;
  stamp.SetAsDateTime(1.25);  // 1899-12-31 06:00
  double value = 0;
  stamp.GetData(&value);
  EXPECT_EQ(value, (dbdates::kDateDelta + 1) * 86400000.0 + 21600000.0);

  TParam flag;
  flag.SetAsBoolean(true);
  int16_t b = 0;
  flag.GetData(&b);
  EXPECT_EQ(b, -1);

  TParam text;
  text.SetAsString(QStringLiteral("abc"));
  ASSERT_EQ(text.GetDataSize(), 4);
  char buf[4] = {1, 1, 1, 1};
  text.GetData(buf);
  EXPECT_EQ(std::memcmp(buf, "abc", 4), 0);

  TParam bytes;
  bytes.SetAsBytes(QByteArray("\x01\x02\x03", 3));
  bytes.SetDataType(ftVarBytes);
  ASSERT_EQ(bytes.GetDataSize(), 3) << "byte types bind their raw bytes, no length prefix";
  char raw[3] = {};
  bytes.GetData(raw);
  EXPECT_EQ(QByteArray(raw, 3), QByteArray("\x01\x02\x03", 3));
}

}  // namespace
