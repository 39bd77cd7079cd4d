// The table component on FoxPro-compatible tables (type 4): field descriptions of the FoxPro
// types, values read from the record image with the null and full-length flags, timestamps
// rounded to whole seconds, and editing that clears, writes and posts nullable and variable
// fields so that the engine and another open read exactly what was meant.
#include <gtest/gtest.h>

#include <QByteArray>
#include <string>

#include "ads/adstable.h"
#include "editing_support.h"
#include "runtime/datetime.h"

using namespace adsdata_test;

namespace {

constexpr UNSIGNED16 kVfp = 4;
// Null-flag bits: N's null bit 0, T's null bit 1, V's variable-length bit 2 and null bit 3, Q's
// variable-length bit 4, M's null bit 5.
constexpr const char* kFoxFields =
    "C,Char,6;N,Integer,NULL;B,Double,2;Y,Currency;T,DateTime,NULL;V,VarChar,5,NULL;Q,VarBinary,4;M,Memo,NULL;";

ADSHANDLE CreateFoxTable(ADSHANDLE connection, const char* name, const char* fields = kFoxFields) {
  QByteArray n(name);
  QByteArray f(fields);
  ADSHANDLE table = 0;
  EXPECT_EQ(AdsCreateTable90(connection, A(n), nullptr, kVfp, 1, 1, 1, 0, A(f), 0, nullptr, &table), 0u) << LastError();
  return table;
}

ADSHANDLE OpenFox(ADSHANDLE connection, const char* name) {
  QByteArray n(name);
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsOpenTable90(connection, A(n), nullptr, kVfp, 1, 1, 1, 0, nullptr, &h), 0u) << LastError();
  return h;
}

bool EngineNull(ADSHANDLE h, const char* field) {
  QByteArray f(field);
  UNSIGNED16 v = 9;
  EXPECT_EQ(AdsIsNull(h, A(f), &v), 0u) << LastError();
  return v == 1;
}

// The field's bytes and the null-flags byte of the current record of h.
QByteArray RecordImage(ADSHANDLE h) {
  UNSIGNED32 length = 0;
  EXPECT_EQ(AdsGetRecordLength(h, &length), 0u);
  QByteArray image(static_cast<qsizetype>(length), '\0');
  EXPECT_EQ(AdsGetRecord(h, reinterpret_cast<UNSIGNED8*>(image.data()), &length), 0u) << LastError();
  return image;
}

class AdsFoxPro : public ::testing::Test {
 protected:
  void SetUp() override {
    raw_ = ConnectFolder(dir_.str());
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  void TearDown() override { AdsDisconnect(raw_); }
  void Attach(TAdsTable& tb, const char* table) {
    tb.SetName("tb");
    tb.SetAdsConnection(&con_);
    tb.SetTableType(ttAdsVFP);
    tb.SetTableName(table);
  }

  testenv::TempDir dir_;
  ADSHANDLE raw_ = 0;
  TAdsConnection con_{nullptr};
};

TEST_F(AdsFoxPro, FieldsOfTheFoxProTypesAreDescribedAndReadWithTheirNullFlags) {
  ADSHANDLE t = CreateFoxTable(raw_, "fox");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetString(t, "C", "abc");
  SetLong(t, "N", -7);
  QByteArray b("B"), y("Y"), tf("T");
  ASSERT_EQ(AdsSetDouble(t, A(b), 2.5), 0u);
  ASSERT_EQ(AdsSetDouble(t, A(y), 12.3456), 0u);
  SetString(t, "T", "03/04/2021 12:00:00");
  ASSERT_EQ(AdsSetMilliseconds(t, A(tf), 43200499), 0u) << LastError();
  SetString(t, "V", "ab");
  SetString(t, "Q", QString::fromLatin1("xyzw"));
  SetString(t, "M", "memo text");
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
  // A record of blank values: the nullable fields NULL, the others their empty values.
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  // A timestamp half a second past noon reads as the next second.
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetString(t, "T", "03/04/2021 12:00:00");
  ASSERT_EQ(AdsSetMilliseconds(t, A(tf), 43200500), 0u);
  SetString(t, "V", "abcde");
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);

  TAdsTable tb(nullptr);
  Attach(tb, "fox");
  tb.Open();
  struct Described {
    const char* field;
    TFieldType type;
    int size;
  } described[] = {{"C", ftString, 6},  {"N", ftInteger, 0}, {"B", ftFloat, 0},    {"Y", ftBCD, 4},
                   {"T", ftDateTime, 0}, {"V", ftString, 5}, {"Q", ftVarBytes, 4}, {"M", ftMemo, 0}};
  for (const Described& d : described) {
    TField* f = tb.FieldByName(d.field);
    ASSERT_NE(f, nullptr) << d.field;
    EXPECT_EQ(f->DataType(), d.type) << d.field;
    if (d.size) EXPECT_EQ(f->Size(), d.size) << d.field;
  }
  EXPECT_EQ(tb.FieldCount(), 8);  // the null flags are no field

  EXPECT_EQ(tb.FieldByName("C")->AsString(), "abc");
  EXPECT_EQ(tb.FieldByName("N")->AsInteger(), -7);
  EXPECT_DOUBLE_EQ(tb.FieldByName("B")->AsFloat(), 2.5);
  EXPECT_EQ(tb.FieldByName("Y")->AsString(), "12.3456");
  EXPECT_DOUBLE_EQ(tb.FieldByName("T")->AsDateTime(), EncodeDate(2021, 3, 4) + EncodeTime(12, 0, 0, 0));
  EXPECT_EQ(tb.FieldByName("V")->AsString(), "ab");
  EXPECT_EQ(tb.FieldByName("Q")->AsBytes(), QByteArray("xyzw"));
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "memo text");

  tb.Next();
  for (const char* field : {"N", "T", "V", "M"}) EXPECT_TRUE(tb.FieldByName(field)->IsNull()) << field;
  // Blanks in a FoxPro character field are an empty text, not an empty field.
  EXPECT_FALSE(tb.FieldByName("C")->IsNull());
  EXPECT_EQ(tb.FieldByName("C")->AsString(), "");
  // Not nullable and not blank-able: a FoxPro integer, double or currency of 0 is a value.
  EXPECT_FALSE(tb.FieldByName("B")->IsNull());
  EXPECT_FALSE(tb.FieldByName("Y")->IsNull());
  EXPECT_FALSE(tb.FieldByName("Q")->IsNull());
  EXPECT_EQ(tb.FieldByName("Q")->AsBytes(), QByteArray());

  tb.Next();
  EXPECT_DOUBLE_EQ(tb.FieldByName("T")->AsDateTime(), EncodeDate(2021, 3, 4) + EncodeTime(12, 0, 1, 0));
  EXPECT_EQ(tb.FieldByName("V")->AsString(), "abcde");  // fills its field: no length byte
  tb.Close();

  // A VarChar right before the null flags: nothing follows it but them.
  t = CreateFoxTable(raw_, "last", "N,Integer;V,VarChar,3;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetString(t, "V", "ab");
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  TAdsTable last(nullptr);
  Attach(last, "last");
  last.Open();
  EXPECT_FALSE(last.FieldByName("V")->IsNull());
  EXPECT_EQ(last.FieldByName("V")->AsString(), "ab");
}

TEST_F(AdsFoxPro, EditingWritesNullsValuesAndVariableLengthsAsTheEngineReadsThem) {
  ADSHANDLE t = CreateFoxTable(raw_, "fox");
  ASSERT_EQ(AdsCloseTable(t), 0u);
  TAdsTable tb(nullptr);
  Attach(tb, "fox");
  tb.Open();
  tb.Append();
  // A new record: the nullable fields start NULL.
  EXPECT_TRUE(tb.FieldByName("N")->IsNull());
  EXPECT_TRUE(tb.FieldByName("V")->IsNull());
  tb.FieldByName("C")->SetAsString("first");
  tb.FieldByName("N")->Clear();
  tb.FieldByName("N")->SetAsInteger(0);  // cleared, then given a value
  tb.FieldByName("V")->SetAsString("ab");
  tb.FieldByName("Q")->SetAsBytes(QByteArray("\x00\x01", 2));
  tb.FieldByName("Y")->SetAsString("-1.5");
  tb.FieldByName("T")->SetAsDateTime(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 0));
  tb.Post();
  tb.Append();
  tb.FieldByName("C")->SetAsString("second");
  tb.FieldByName("V")->SetAsString("abcde");
  tb.FieldByName("N")->SetAsInteger(5);
  tb.FieldByName("N")->Clear();  // given a value, then cleared
  tb.Post();

  ADSHANDLE h = OpenFox(raw_, "fox");
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_FALSE(EngineNull(h, "N"));
  EXPECT_EQ(EngineField(h, "N").Long(), 0);
  EXPECT_EQ(EngineField(h, "V").Text(), "ab");
  EXPECT_EQ(EngineField(h, "Y").Double(), -1.5);
  EXPECT_EQ(TimeStampText(EngineField(h, "T").Julian(), EngineField(h, "T").Milliseconds()),
            TimeStampText(2451544, 86399000));
  EXPECT_TRUE(EngineNull(h, "M"));
  QByteArray image = RecordImage(h);
  UNSIGNED32 vOffset = 0;
  QByteArray v("V");
  ASSERT_EQ(AdsGetFieldOffset(h, A(v), &vOffset), 0u);
  EXPECT_EQ(image.mid(vOffset, 5), QByteArray("ab  \x02", 5));  // shorter: its length in the last byte
  const uint8_t flags = static_cast<uint8_t>(image.back());
  EXPECT_EQ(flags & 0x3F, 0x04 | 0x10 | 0x20) << int(flags);  // V and Q shorter, M NULL, the others not

  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  EXPECT_TRUE(EngineNull(h, "N"));
  EXPECT_EQ(EngineField(h, "V").Text(), "abcde");
  image = RecordImage(h);
  EXPECT_EQ(image.mid(vOffset, 5), QByteArray("abcde"));
  // N and T NULL, V full and not NULL, Q empty, M NULL.
  EXPECT_EQ(static_cast<uint8_t>(image.back()) & 0x3F, 0x01 | 0x02 | 0x10 | 0x20);
  AdsCloseTable(h);

  // Editing: a value cleared becomes NULL in the engine; another open reads it so.
  tb.First();
  tb.Edit();
  tb.FieldByName("V")->Clear();
  tb.FieldByName("T")->Clear();
  tb.Post();
  h = OpenFox(raw_, "fox");
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_TRUE(EngineNull(h, "V"));
  EXPECT_TRUE(EngineNull(h, "T"));
  EXPECT_FALSE(EngineNull(h, "N"));
  AdsCloseTable(h);
  TAdsTable other(nullptr);
  Attach(other, "fox");
  other.SetName("other");
  other.Open();
  EXPECT_TRUE(other.FieldByName("V")->IsNull());
  EXPECT_TRUE(other.FieldByName("T")->IsNull());
  EXPECT_EQ(other.FieldByName("N")->AsInteger(), 0);
  EXPECT_FALSE(other.FieldByName("N")->IsNull());
}

// A cleared nullable field is posted as NULL; with AdsPreserveSpaces the components post its
// empty value instead, which a FoxPro table keeps apart from NULL.
TEST_F(AdsFoxPro, ClearedNullableFieldsPostNullUnlessSpacesArePreserved) {
  ADSHANDLE t = CreateFoxTable(raw_, "fox");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetLong(t, "N", 9);
  SetString(t, "V", "abc");
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  for (bool preserve : {false, true}) {
    SCOPED_TRACE(preserve ? "spaces preserved" : "spaces not preserved");
    TAdsTable tb(nullptr);
    Attach(tb, "fox");
    tb.AdsTableOptions().SetAdsPreserveSpaces(preserve);
    tb.Open();
    tb.Edit();
    tb.FieldByName("N")->SetAsInteger(9);
    tb.FieldByName("N")->Clear();
    tb.FieldByName("V")->SetAsString("abc");
    tb.FieldByName("V")->Clear();
    tb.Post();
    tb.Close();
    ADSHANDLE h = OpenFox(raw_, "fox");
    ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
    EXPECT_EQ(EngineNull(h, "N"), !preserve);
    EXPECT_EQ(EngineNull(h, "V"), !preserve);
    EXPECT_TRUE(EngineField(h, "N").Empty());
    if (preserve) EXPECT_EQ(EngineField(h, "N").Long(), 0);
    AdsCloseTable(h);
  }
}

TEST_F(AdsFoxPro, ATableCreatedByTheComponentIsAFoxProTable) {
  TAdsTable tb(nullptr);
  Attach(tb, "made");
  tb.FieldDefs().Add("NAME", ftString, 10);
  tb.FieldDefs().Add("QTY", ftInteger);
  tb.FieldDefs().Add("PRICE", ftFloat);
  tb.FieldDefs().Add("NOTE", ftMemo);
  tb.CreateTable();
  ADSHANDLE h = OpenFox(raw_, "made");
  UNSIGNED16 type = 0;
  ASSERT_EQ(AdsGetTableType(h, &type), 0u);
  EXPECT_EQ(type, kVfp);
  // The field-definition strings of DBF tables: integers and floats as numeric text.
  struct Expected {
    const char* field;
    UNSIGNED16 type;
    UNSIGNED32 length;
  } expected[] = {{"NAME", 4, 10}, {"QTY", 2, 11}, {"PRICE", 2, 20}, {"NOTE", 5, 4}};
  for (const Expected& e : expected) {
    QByteArray f(e.field);
    UNSIGNED16 t = 0;
    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetFieldType(h, A(f), &t), 0u);
    ASSERT_EQ(AdsGetFieldLength(h, A(f), &length), 0u);
    EXPECT_EQ(t, e.type) << e.field;
    EXPECT_EQ(length, e.length) << e.field;
  }
  AdsCloseTable(h);
  tb.Open();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("x");
  tb.FieldByName("QTY")->SetAsInteger(3);
  tb.Post();
  EXPECT_EQ(tb.FieldByName("QTY")->AsInteger(), 3);
}

}  // namespace
