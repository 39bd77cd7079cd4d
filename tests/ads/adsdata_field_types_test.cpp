// Every field type of a native table read through the field objects of the dataset core: the
// field definitions made from the engine's description, values, null values and the blank
// string that is empty text but not a null value.
#include <gtest/gtest.h>

#include <QDate>
#include <cstring>

#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

const char* kAllTypes =
    "L,Logical;N,Numeric,10,2;D,Date;C,Char,10;DB,Double;I,Integer;SI,ShortInt;T,Time;TS,TimeStamp;"
    "AI,AutoInc;R,Raw,4;CD,CurDouble;MO,Money;CI,CIChar,8;RV,RowVersion;MT,ModTime;VC,VarChar,12;"
    "VB,VarBinary,6;NC,NChar,5;NV,NVarChar,6;M,Memo;NM,NMemo;B,Binary;BIG,Numeric,20,2;";

int32_t DayNumber(int y, int m, int d) { return static_cast<int32_t>(QDate(y, m, d).toJulianDay() - 1721425); }

void SetText(ADSHANDLE t, const char* field, const char* text) {
  QByteArray f(field);
  QByteArray v(text);
  ASSERT_EQ(AdsSetField(t, A(f), A(v), static_cast<UNSIGNED32>(v.size())), 0u) << field << " " << LastError();
}

class AdsDataFieldTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "types", kAllTypes);
    // Row 1: a value in every field.
    ASSERT_EQ(AdsAppendRecord(t), 0u) << LastError();
    QByteArray f;
    f = "L";
    ASSERT_EQ(AdsSetLogical(t, A(f), 1), 0u);
    SetText(t, "N", "12.50");
    f = "D";
    ASSERT_EQ(AdsSetJulian(t, A(f), DayNumber(2024, 3, 15) + 1721425), 0u) << LastError();
    SetText(t, "C", "ab");
    f = "DB";
    ASSERT_EQ(AdsSetDouble(t, A(f), 3.25), 0u);
    SetLong(t, "I", 42);
    f = "SI";
    ASSERT_EQ(AdsSetShort(t, A(f), -7), 0u);
    f = "T";
    ASSERT_EQ(AdsSetMilliseconds(t, A(f), 3723004), 0u);
    int32_t stamp[2] = {DayNumber(2001, 12, 15) + 1721425, 43200000};
    f = "TS";
    ASSERT_EQ(AdsSetTimeStampRaw(t, A(f), stamp, 8), 0u) << LastError();
    uint8_t raw[4] = {0xDE, 0xAD, 0x00, 0x01};
    f = "R";
    ASSERT_EQ(AdsSetFieldRaw(t, A(f), raw, 4), 0u) << LastError();
    f = "CD";
    ASSERT_EQ(AdsSetDouble(t, A(f), 1.5), 0u);
    f = "MO";
    ASSERT_EQ(AdsSetDouble(t, A(f), 12.3456), 0u) << LastError();
    SetText(t, "CI", "Xy");
    SetText(t, "VC", "hello");
    uint8_t vb[3] = {1, 2, 3};
    f = "VB";
    ASSERT_EQ(AdsSetFieldRaw(t, A(f), vb, 3), 0u) << LastError();
    std::u16string nc = u"\u00e4b";
    f = "NC";
    ASSERT_EQ(AdsSetStringW(t, A(f), nc.data(), static_cast<UNSIGNED32>(nc.size())), 0u) << LastError();
    std::u16string nv = u"\u65e5\u672c";
    f = "NV";
    ASSERT_EQ(AdsSetStringW(t, A(f), nv.data(), static_cast<UNSIGNED32>(nv.size())), 0u) << LastError();
    SetText(t, "M", "memo text");
    SetText(t, "BIG", "123456789012345.25");
    ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    // Row 2: nothing set.
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    // Row 3: a blank string.
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    SetText(t, "C", "   ");
    ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  void Open(TestAdsDataSet& ds) {
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
    ds.SetAdsConnection(&con_);
    ds.SetTableName("types");
    ds.Open();
  }

  testenv::TempDir dir_;
  ADSHANDLE connection_ = 0;
  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(AdsDataFieldTypes, FieldDefinitionsFollowTheEngineTypes) {
  TestAdsDataSet ds(nullptr);
  Open(ds);
  struct Row {
    const char* name;
    TFieldType type;
    int size;
    int precision;  // -1: not checked
  };
  const Row rows[] = {
      {"L", ftBoolean, 0, -1},      {"N", ftBCD, 2, 8},           {"D", ftDate, 0, -1},
      {"C", ftString, 10, -1},      {"DB", ftFloat, 0, -1},       {"I", ftInteger, 0, -1},
      {"SI", ftSmallint, 0, -1},    {"T", ftTime, 0, -1},         {"TS", ftDateTime, 0, -1},
      {"AI", ftAutoInc, 0, -1},     {"R", ftBytes, 4, -1},        {"CD", ftCurrency, 0, -1},
      {"MO", ftBCD, 4, 20},         {"CI", ftString, 8, -1},      {"RV", ftBCD, 0, 20},
      {"MT", ftDateTime, 0, -1},    {"VC", ftString, 12, -1},     {"VB", ftVarBytes, 6, -1},
      {"NC", ftWideString, 5, -1},  {"NV", ftWideString, 6, -1},  {"M", ftMemo, 1, -1},
      {"NM", ftWideMemo, 1, -1},    {"B", ftBlob, 1, -1},         {"BIG", ftFMTBcd, 2, 18},
  };
  ASSERT_EQ(ds.FieldDefs().Count(), static_cast<int>(std::size(rows)));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TFieldDef* def = ds.FieldDefs().Find(r.name);
    EXPECT_EQ(def->DataType(), r.type);
    EXPECT_EQ(def->Size(), r.size);
    if (r.precision >= 0) {
      EXPECT_EQ(def->Precision(), r.precision);
    }
    EXPECT_FALSE(def->Required());
  }
  // The national string of 5 characters takes 10 bytes in the record.
  EXPECT_EQ(ds.ACEFieldDefs().Items(ds.ACEFieldDefs().IndexOf("nc"))->Length(), 10u);
  EXPECT_EQ(ds.ACEFieldDefs().Items(ds.ACEFieldDefs().IndexOf("NC"))->FieldType(), 26u);
  // Field classes: the dataset's own string and BCD fields, with their flags set by the open.
  auto* ci = dynamic_cast<TAdsStringField*>(ds.FieldByName("CI"));
  auto* c = dynamic_cast<TAdsStringField*>(ds.FieldByName("C"));
  ASSERT_NE(ci, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(ci->CaseInsensitive());
  EXPECT_FALSE(c->CaseInsensitive());
  auto* money = dynamic_cast<TAdsBCDField*>(ds.FieldByName("MO"));
  auto* numeric = dynamic_cast<TAdsBCDField*>(ds.FieldByName("N"));
  auto* rowVersion = dynamic_cast<TAdsBCDField*>(ds.FieldByName("RV"));
  ASSERT_NE(money, nullptr);
  ASSERT_NE(numeric, nullptr);
  ASSERT_NE(rowVersion, nullptr);
  EXPECT_TRUE(money->Currency());
  EXPECT_FALSE(numeric->Currency());
  EXPECT_FALSE(rowVersion->Currency());
}

TEST_F(AdsDataFieldTypes, EveryTypeReadsItsValue) {
  TestAdsDataSet ds(nullptr);
  Open(ds);
  ds.First();
  EXPECT_TRUE(ds.FieldByName("L")->AsBoolean());
  EXPECT_EQ(ds.FieldByName("N")->AsString(), "12.5");
  int32_t day = 0;
  ASSERT_TRUE(ds.FieldByName("D")->GetData(&day));
  EXPECT_EQ(day, DayNumber(2024, 3, 15));
  EXPECT_EQ(ds.FieldByName("C")->AsString(), "ab");
  EXPECT_DOUBLE_EQ(ds.FieldByName("DB")->AsFloat(), 3.25);
  EXPECT_EQ(ds.FieldByName("I")->AsInteger(), 42);
  EXPECT_EQ(ds.FieldByName("SI")->AsInteger(), -7);
  int32_t ms = 0;
  ASSERT_TRUE(ds.FieldByName("T")->GetData(&ms));
  EXPECT_EQ(ms, 3723004);
  double stamp = 0;
  ASSERT_TRUE(ds.FieldByName("TS")->GetData(&stamp));
  EXPECT_DOUBLE_EQ(stamp, DayNumber(2001, 12, 15) * 86400000.0 + 43200000.0);
  EXPECT_EQ(ds.FieldByName("AI")->AsInteger(), 1);
  EXPECT_EQ(ds.FieldByName("R")->AsBytes(), QByteArray("\xDE\xAD\x00\x01", 4));
  EXPECT_DOUBLE_EQ(ds.FieldByName("CD")->AsFloat(), 1.5);
  EXPECT_EQ(BcdToStr(ds.FieldByName("MO")->AsBCD()), "12.3456");
  EXPECT_EQ(ds.FieldByName("CI")->AsString(), "Xy");
  EXPECT_FALSE(ds.FieldByName("RV")->IsNull());
  EXPECT_GE(ds.FieldByName("RV")->AsLargeInt(), 1);
  EXPECT_FALSE(ds.FieldByName("MT")->IsNull());
  EXPECT_EQ(ds.FieldByName("VC")->AsString(), "hello");
  EXPECT_EQ(ds.FieldByName("VB")->AsBytes(), QByteArray("\x01\x02\x03", 3));
  EXPECT_EQ(ds.FieldByName("NC")->AsString(), QString::fromUtf16(u"\u00e4b"));
  EXPECT_EQ(ds.FieldByName("NV")->AsString(), QString::fromUtf16(u"\u65e5\u672c"));
  EXPECT_FALSE(ds.FieldByName("M")->IsNull());
  EXPECT_TRUE(ds.FieldByName("NM")->IsNull());
  EXPECT_TRUE(ds.FieldByName("B")->IsNull());
  EXPECT_EQ(ds.FieldByName("BIG")->AsString(), "123456789012345.25");
}

TEST_F(AdsDataFieldTypes, UnsetFieldsReadAsNull) {
  TestAdsDataSet ds(nullptr);
  Open(ds);
  ds.First();
  ds.Next();
  // Values the engine maintains itself are set in every record.
  for (const char* always : {"AI", "RV", "MT"}) EXPECT_FALSE(ds.FieldByName(always)->IsNull()) << always;
  for (const char* name : {"L", "N", "D", "C", "DB", "I", "SI", "T", "TS", "R", "CD", "MO", "CI", "VC", "VB", "NC",
                           "NV", "M", "NM", "B", "BIG"}) {
    SCOPED_TRACE(name);
    TField* f = ds.FieldByName(name);
    EXPECT_TRUE(f->IsNull());
    EXPECT_FALSE(ds.GetFieldData(f, nullptr));
  }
}

TEST_F(AdsDataFieldTypes, ABlankStringIsEmptyTextButHasAValue) {
  TestAdsDataSet ds(nullptr);
  Open(ds);
  ds.Last();
  TField* c = ds.FieldByName("C");
  EXPECT_TRUE(ds.GetFieldData(c, nullptr));
  EXPECT_FALSE(c->IsNull());
  EXPECT_EQ(c->AsString(), "");
}

TEST_F(AdsDataFieldTypes, NumericsAsFloatsGivesFloatFields) {
  TestAdsDataSet ds(nullptr);
  ds.AdsTableOptions().SetAdsNumericsAsFloats(true);
  Open(ds);
  EXPECT_EQ(ds.FieldDefs().Find("N")->DataType(), ftFloat);
  EXPECT_EQ(ds.FieldDefs().Find("BIG")->DataType(), ftFloat);
  ds.First();
  EXPECT_DOUBLE_EQ(ds.FieldByName("N")->AsFloat(), 12.5);
}
