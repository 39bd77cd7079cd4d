// Editing records of real native tables through the table component: appending, inserting,
// editing, clearing, deleting and cancelling every native field type, where the value the
// dataset shows, the value the engine holds and the value another open reads must agree; new
// records' default values; the numeric text rules; blank strings; posting again after a failed
// post; record locking in both modes; and the index tags agreeing with the table afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ads/adstable.h"
#include "editing_support.h"
#include "runtime/data/db_errors.h"
#include "runtime/datetime.h"

using namespace adsdata_test;

namespace {

constexpr const char* kKindsFields =
    "L,Logical;N,Numeric,10,2;D,Date;C,Char,10;F,Double;I,Integer;S,ShortInt;T,Time;TS,TimeStamp;AI,AutoInc;"
    "R,Raw,4;CD,CurDouble;M,Money;CI,CIChar,6;RV,RowVersion;MT,ModTime;V,VarChar,10;VB,VarBinary,6;NC,NChar,5;"
    "NV,NVarChar,8;";

// The text a field shows; byte fields as hex, so that every byte value compares.
QString Shown(TField* f) {
  if (f->DataType() == ftBytes || f->DataType() == ftVarBytes) return QString::fromLatin1(f->AsBytes().toHex());
  return f->AsString();
}

// One settable field of the "kinds" table: a first and a second value, what the dataset shows
// for each, and the engine's value in the same text.
struct Kind {
  const char* field;
  std::function<void(TField*)> set1;
  QString shown1;
  std::function<void(TField*)> set2;
  QString shown2;
  std::function<QString(EngineField&)> engine;
};

std::vector<Kind> Kinds() {
  auto number = [](EngineField& e) { return QString::number(e.Double(), 'g', 15); };
  auto text = [](EngineField& e) { return e.Text(); };
  auto wide = [](EngineField& e) { return e.Wide(); };
  auto bytes = [](EngineField& e) { return QString::fromLatin1(e.Bytes().toHex()); };
  return {
      {"L", [](TField* f) { f->SetAsBoolean(true); }, "True", [](TField* f) { f->SetAsBoolean(false); }, "False",
       [](EngineField& e) { return QString::fromLatin1(e.Logical() ? "True" : "False"); }},
      {"N", [](TField* f) { f->SetAsString("1234.56"); }, "1234.56", [](TField* f) { f->SetAsString("-0.5"); }, "-0.5",
       number},
      {"D", [](TField* f) { f->SetAsDateTime(EncodeDate(2024, 2, 29)); }, "2024-02-29",
       [](TField* f) { f->SetAsDateTime(EncodeDate(1, 1, 1)); }, "0001-01-01",
       [](EngineField& e) { return JulianText(e.Julian()); }},
      {"C", [](TField* f) { f->SetAsString("hello"); }, "hello", [](TField* f) { f->SetAsString("0123456789"); },
       "0123456789", text},
      {"F", [](TField* f) { f->SetAsFloat(3.25); }, "3.25", [](TField* f) { f->SetAsFloat(-0.125); }, "-0.125",
       number},
      {"I", [](TField* f) { f->SetAsInteger(-42); }, "-42", [](TField* f) { f->SetAsInteger(2147483647); },
       "2147483647", [](EngineField& e) { return QString::number(e.Long()); }},
      {"S", [](TField* f) { f->SetAsInteger(1234); }, "1234", [](TField* f) { f->SetAsInteger(-32767); }, "-32767",
       [](EngineField& e) { return QString::number(e.Long()); }},
      {"T", [](TField* f) { f->SetAsDateTime(EncodeTime(12, 34, 56, 789)); }, "12:34:56.789",
       [](TField* f) { f->SetAsDateTime(0); }, "00:00:00",
       [](EngineField& e) { return MillisecondsText(e.Milliseconds()); }},
      {"TS", [](TField* f) { f->SetAsDateTime(EncodeDate(2023, 12, 31) + EncodeTime(23, 59, 58, 500)); },
       "2023-12-31 23:59:58.500", [](TField* f) { f->SetAsDateTime(EncodeDate(1970, 1, 1)); }, "1970-01-01",
       [](EngineField& e) { return TimeStampText(e.Julian(), e.Milliseconds()); }},
      {"R", [](TField* f) { f->SetAsBytes(QByteArray("\x01\x00\xff\x7f", 4)); }, "0100ff7f",
       [](TField* f) { f->SetAsBytes(QByteArray("\x00\x00\x00\x01", 4)); }, "00000001", bytes},
      {"CD", [](TField* f) { f->SetAsFloat(12.34); }, "12.34", [](TField* f) { f->SetAsFloat(-99999.99); }, "-99999.99",
       number},
      {"M", [](TField* f) { f->SetAsString("12.3456"); }, "12.3456", [](TField* f) { f->SetAsString("-12345.6789"); },
       "-12345.6789", number},
      {"CI", [](TField* f) { f->SetAsString("MiXed"); }, "MiXed", [](TField* f) { f->SetAsString("abcdef"); }, "abcdef",
       text},
      {"V", [](TField* f) { f->SetAsString("var"); }, "var", [](TField* f) { f->SetAsString("  lead"); }, "  lead", text},
      {"VB", [](TField* f) { f->SetAsBytes(QByteArray("\x00\x41\xff", 3)); }, "0041ff",
       [](TField* f) { f->SetAsBytes(QByteArray("\x20\x20\x20\x20\x20\x20", 6)); }, "202020202020", bytes},
      {"NC", [](TField* f) { f->SetAsString(QStringLiteral("\u017c\u00f3\u0142w")); }, QStringLiteral("\u017c\u00f3\u0142w"),
       [](TField* f) { f->SetAsString(QStringLiteral("\u4e2d\u6587")); }, QStringLiteral("\u4e2d\u6587"), wide},
      {"NV", [](TField* f) { f->SetAsString(QStringLiteral("\u03a9mega")); }, QStringLiteral("\u03a9mega"),
       [](TField* f) { f->SetAsString(QStringLiteral("x")); }, QStringLiteral("x"), wide},
  };
}

class AdsEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    raw_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(raw_, "kinds", kKindsFields);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ADSHANDLE n = CreateTable(raw_, "names", "NAME,Char,8;QTY,Integer;");
    AppendNamedRows(n, "NAME", {"ann", "bob", "cy"});
    ASSERT_EQ(AdsCloseTable(n), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  // Every table the test left behind has index tags that agree with its records.
  void TearDown() override {
    AdsDisconnect(raw_);
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      if (entry.path().extension() == ".adt") ExpectIndexesAgree(dir_.str(), entry.path().stem().string());
  }

  // Creates table `name` with one record whose fields are all empty.
  void CreateWithEmptyRecord(const char* name, const char* fields) {
    ADSHANDLE t = CreateTable(raw_, name, fields);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }

  void Attach(TAdsTable& tb, const char* table) {
    tb.SetName("tb");
    tb.SetAdsConnection(&con_);
    tb.SetTableName(table);
  }

  // Checks the record tb stands on against the engine (through a handle of its own) and
  // against a second open of the table that walks to the same record.
  void ExpectAgreement(TAdsTable& tb, bool first) {
    const int recNo = tb.RecNo();
    ADSHANDLE h = OpenShared(raw_, "kinds");
    ASSERT_EQ(AdsGotoRecord(h, static_cast<UNSIGNED32>(recNo)), 0u) << LastError();
    TAdsTable other(nullptr);
    Attach(other, "kinds");
    other.Open();
    other.SetRecNo(recNo);
    for (const Kind& k : Kinds()) {
      SCOPED_TRACE(k.field);
      const QString expected = first ? k.shown1 : k.shown2;
      EXPECT_EQ(Shown(tb.FieldByName(k.field)), expected);
      EngineField e(h, k.field);
      EXPECT_EQ(k.engine(e), expected);
      EXPECT_EQ(Shown(other.FieldByName(k.field)), expected);
    }
    other.Close();
    AdsCloseTable(h);
  }

  testenv::TempDir dir_;
  ADSHANDLE raw_ = 0;
  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(AdsEditing, AppendedAndEditedValuesOfEveryTypeAgreeEverywhere) {
  TAdsTable tb(nullptr);
  Attach(tb, "kinds");
  tb.Open();
  tb.Append();
  for (const Kind& k : Kinds()) k.set1(tb.FieldByName(k.field));
  tb.Post();
  EXPECT_EQ(tb.State(), dsBrowse);
  ExpectAgreement(tb, true);
  // The engine numbers the record and keeps its row version and modification time.
  EXPECT_EQ(tb.FieldByName("AI")->AsInteger(), 1);
  EXPECT_FALSE(tb.FieldByName("RV")->IsNull());
  EXPECT_FALSE(tb.FieldByName("MT")->IsNull());
  const QString version = tb.FieldByName("RV")->AsString();

  tb.Edit();
  for (const Kind& k : Kinds()) k.set2(tb.FieldByName(k.field));
  tb.Post();
  ExpectAgreement(tb, false);
  EXPECT_EQ(tb.FieldByName("AI")->AsInteger(), 1);
  EXPECT_NE(tb.FieldByName("RV")->AsString(), version);
}

TEST_F(AdsEditing, InsertedRecordsTakeTheirPlaceAndKeepTheOthers) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Next();  // bob
  tb.Insert();
  tb.FieldByName("NAME")->SetAsString("dee");
  tb.FieldByName("QTY")->SetAsInteger(7);
  tb.Post();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "dee");
  EXPECT_EQ(tb.RecNo(), 4);  // a new record is stored at the end of a native table
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(VisibleRecords(h), 4u);
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "dee");
  EXPECT_EQ(EngineField(h, "QTY").Long(), 7);
  AdsCloseTable(h);
  QStringList names;
  for (tb.First(); !tb.Eof(); tb.Next()) names << tb.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"ann", "bob", "cy", "dee"}));
}

TEST_F(AdsEditing, ClearingEveryTypeReadsBackEmpty) {
  TAdsTable tb(nullptr);
  Attach(tb, "kinds");
  tb.Open();
  tb.Append();
  for (const Kind& k : Kinds()) k.set1(tb.FieldByName(k.field));
  tb.Post();
  tb.Edit();
  for (const Kind& k : Kinds()) tb.FieldByName(k.field)->Clear();
  for (const Kind& k : Kinds()) EXPECT_TRUE(tb.FieldByName(k.field)->IsNull()) << k.field << " while editing";
  tb.Post();

  ADSHANDLE h = OpenShared(raw_, "kinds");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  TAdsTable other(nullptr);
  Attach(other, "kinds");
  other.Open();
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.field);
    EXPECT_TRUE(tb.FieldByName(k.field)->IsNull());
    EXPECT_TRUE(EngineField(h, k.field).Empty());
    EXPECT_TRUE(other.FieldByName(k.field)->IsNull());
  }
  AdsCloseTable(h);
}

// ClearFields marks every field of the edited record as assigned; the autoincrement, row
// version and modification time fields keep what the engine maintains instead of failing the post.
TEST_F(AdsEditing, ClearFieldsInAnEditPostsAndLeavesTheEngineMaintainedFieldsToTheEngine) {
  TAdsTable tb(nullptr);
  Attach(tb, "kinds");
  tb.Open();
  tb.Append();
  for (const Kind& k : Kinds()) k.set1(tb.FieldByName(k.field));
  tb.Post();
  const QString autoInc = tb.FieldByName("AI")->AsString();
  const QString version = tb.FieldByName("RV")->AsString();
  ASSERT_FALSE(tb.FieldByName("MT")->IsNull());

  tb.Edit();
  tb.ClearFields();
  tb.Post();

  EXPECT_EQ(tb.State(), dsBrowse);
  ADSHANDLE h = OpenShared(raw_, "kinds");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.field);
    EXPECT_TRUE(tb.FieldByName(k.field)->IsNull());
    EXPECT_TRUE(EngineField(h, k.field).Empty());
  }
  AdsCloseTable(h);
  EXPECT_EQ(tb.FieldByName("AI")->AsString(), autoInc);
  EXPECT_NE(tb.FieldByName("RV")->AsString(), version);
  EXPECT_FALSE(tb.FieldByName("RV")->IsNull());
  EXPECT_FALSE(tb.FieldByName("MT")->IsNull());
}

TEST_F(AdsEditing, CancelledInsertsAndEditsLeaveTheTableAsItWas) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Next();
  tb.Insert();
  tb.FieldByName("NAME")->SetAsString("zed");
  tb.Cancel();
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "bob");

  tb.Append();
  tb.FieldByName("NAME")->SetAsString("zed");
  tb.Cancel();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "cy");

  tb.First();
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("zed");
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "zed");
  tb.Cancel();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "ann");

  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(VisibleRecords(h), 3u);
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "ann");
  // The edit's lock went with the cancel.
  EXPECT_FALSE(RecordLocked(h, 1));
  AdsCloseTable(h);
}

TEST_F(AdsEditing, DeletedRecordsAreGoneForEveryOpen) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Next();
  tb.Delete();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "cy");
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(VisibleRecords(h), 2u);
  AdsCloseTable(h);
  TAdsTable other(nullptr);
  Attach(other, "names");
  other.Open();
  QStringList names;
  for (; !other.Eof(); other.Next()) names << other.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"ann", "cy"}));
  // Deleting the last record leaves the dataset on the one before it.
  tb.Last();
  tb.Delete();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "ann");
}

TEST_F(AdsEditing, AppendRecordAndInsertRecordPostAtOnce) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.AppendRecord({QStringLiteral("eve"), 5});
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "eve");
  tb.InsertRecord({QStringLiteral("fay"), QVariant()});
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "fay");
  EXPECT_TRUE(tb.FieldByName("QTY")->IsNull());
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(VisibleRecords(h), 5u);
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  EXPECT_EQ(EngineField(h, "QTY").Long(), 5);
  ASSERT_EQ(AdsGotoRecord(h, 5), 0u);
  EXPECT_TRUE(EngineField(h, "QTY").Empty());
  AdsCloseTable(h);
}

TEST_F(AdsEditing, AssigningOutsideAnEditAndToReadOnlyFieldsIsRefused) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  try {
    tb.FieldByName("NAME")->SetAsString("x");
    FAIL() << "assignment in dsBrowse";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Dataset not in edit mode");
    EXPECT_EQ(e.ACEErrorCode(), 5121u);
  }
  tb.FieldByName("QTY")->SetReadOnly(true);
  tb.Edit();
  try {
    tb.FieldByName("QTY")->SetAsInteger(3);
    FAIL() << "assignment to a read-only field";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Field 'QTY' cannot be modified");
  }
  // Validation runs on the new value before it is stored; a refusal keeps the old one.
  tb.FieldByName("NAME")->OnValidate = [](TField* f) {
    if (f->AsString() == "bad") throw EDatabaseError("no bad names");
  };
  EXPECT_THROW(tb.FieldByName("NAME")->SetAsString("bad"), EDatabaseError);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "ann");
  tb.FieldByName("NAME")->SetAsString("good");
  tb.Post();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "good");
}

// ---- default values of new records ----------------------------------------------------------------

TEST_F(AdsEditing, NewRecordsTakeTheFieldsDefaultExpressions) {
  ADSHANDLE t = CreateTable(raw_, "defaults",
                            "C,Char,5;C2,Char,5;I,Integer;L,Logical;N,Numeric,8,2;D,Date;T,Time;TS,TimeStamp;"
                            "F,Double;NC,NChar,4;M,Money;S,ShortInt;");
  ASSERT_EQ(AdsCloseTable(t), 0u);
  TAdsTable tb(nullptr);
  Attach(tb, "defaults");
  tb.Open();
  const struct {
    const char* field;
    const char* expression;
    QString shown;  // empty: no value
  } cases[] = {
      {"C", " 'ABC' ", "ABC"},      {"C2", "ABC", ""},          {"I", "-7", "-7"},
      {"L", ".t.", "True"},         {"N", "12.5", "12.5"},      {"D", "2024-01-31", "2024-01-31"},
      {"T", "08:30:00", "08:30:00"}, {"TS", "2024-01-31 08:30:15", "2024-01-31 08:30:15"},
      {"F", "2.5", "2.5"},          {"NC", "'\xc5\xbc\xc3\xb3'", QStringLiteral("\u017c\u00f3")},
      {"M", "1.2345", "1.2345"},    {"S", "-32767", "-32767"},
  };
  for (const auto& c : cases) tb.FieldByName(c.field)->SetDefaultExpression(QString::fromUtf8(c.expression));
  tb.Append();
  for (const auto& c : cases) EXPECT_EQ(tb.FieldByName(c.field)->AsString(), c.shown) << c.field << " before posting";
  tb.Post();
  ADSHANDLE h = OpenShared(raw_, "defaults");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(EngineField(h, "C").Text(), "ABC");
  EXPECT_TRUE(EngineField(h, "C2").Empty());
  EXPECT_EQ(EngineField(h, "I").Long(), -7);
  EXPECT_TRUE(EngineField(h, "L").Logical());
  EXPECT_EQ(EngineField(h, "N").Double(), 12.5);
  EXPECT_EQ(JulianText(EngineField(h, "D").Julian()), "2024-01-31");
  EXPECT_EQ(EngineField(h, "T").Milliseconds(), 8 * 3600000 + 30 * 60000);
  EXPECT_EQ(EngineField(h, "TS").Milliseconds(), 8 * 3600000 + 30 * 60000 + 15000);
  EXPECT_EQ(EngineField(h, "F").Double(), 2.5);
  EXPECT_EQ(EngineField(h, "NC").Wide(), QStringLiteral("\u017c\u00f3"));
  EXPECT_EQ(EngineField(h, "M").Double(), 1.2345);
  EXPECT_EQ(EngineField(h, "S").Long(), -32767);
  AdsCloseTable(h);
}

TEST_F(AdsEditing, AnIntegerDefaultOutOfRangeRefusesTheNewRecord) {
  ADSHANDLE t = CreateTable(raw_, "shorts", "S,ShortInt;I,Integer;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetLong(t, "S", 1);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  const struct {
    const char* field;
    const char* expression;
  } cases[] = {{"S", "40000"}, {"S", "-32768"}, {"I", "-2147483648"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expression);
    TAdsTable tb(nullptr);
    Attach(tb, "shorts");
    tb.Open();
    tb.FieldByName(c.field)->SetDefaultExpression(c.expression);
    for (bool append : {true, false}) {
      try {
        append ? tb.Append() : tb.Insert();
        FAIL() << "the default was accepted";
      } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("tb: Numeric out of range:") + c.expression);
        EXPECT_EQ(e.ACEErrorCode(), 0u);
      }
      // The dataset still shows the record it showed.
      EXPECT_EQ(tb.State(), dsBrowse);
      EXPECT_EQ(tb.FieldByName("S")->AsInteger(), 1);
      EXPECT_FALSE(tb.IsEmpty());
    }
  }
  ADSHANDLE h = OpenShared(raw_, "shorts");
  EXPECT_EQ(VisibleRecords(h), 1u);
  AdsCloseTable(h);
}

// ---- numbers stored as text ------------------------------------------------------------------------

TEST_F(AdsEditing, NumericTextsMustFitTheField) {
  CreateWithEmptyRecord("numerics", "N,Numeric,6,2;W,Numeric,4,0;");
  const struct {
    const char* field;
    bool asFloats;
    const char* value;
    const char* stored;  // the field's bytes; null: "Numeric out of range."
  } cases[] = {
      // BCD fields: the text may fill the field only after a minus sign.
      {"N", false, "12.34", " 12.34"},
      {"N", false, "-12.34", "-12.34"},
      {"N", false, "123.45", nullptr},
      {"N", false, "1.005", "  1.01"},
      {"N", false, "1234.5", nullptr},
      {"N", false, "12345", nullptr},
      {"W", false, "999", " 999"},
      {"W", false, "-999", "-999"},
      {"W", false, "1000", nullptr},
      // Floating-point and small integer fields: the whole field, but never an exponent.
      {"N", true, "123.45", "123.45"},
      {"N", true, "1234.5", nullptr},
      {"N", true, "123456", nullptr},
      {"W", true, "1234", "1234"},
      {"W", true, "12345", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.value + (c.asFloats ? " as floats" : ""));
    TAdsTable tb(nullptr);
    Attach(tb, "numerics");
    tb.AdsTableOptions().SetAdsNumericsAsFloats(c.asFloats);
    tb.Open();
    tb.Edit();
    TField* f = tb.FieldByName(c.field);
    // BCD values are given in their value form: the field object's own precision check
    // would refuse most of them before the dataset sees them.
    const bool bcd = f->DataType() == ftBCD || f->DataType() == ftFMTBcd;
    const TBcd number = bcd ? StrToBcd(c.value) : TBcd();
    auto assign = [&] { bcd ? f->SetData(&number) : f->SetAsString(c.value); };
    if (c.stored == nullptr) {
      try {
        assign();
        FAIL() << "accepted";
      } catch (const EADSDatabaseError& e) {
        EXPECT_EQ(e.Message(), "tb: Numeric out of range.");
        EXPECT_EQ(e.ACEErrorCode(), 5121u);
      }
      tb.Cancel();
      continue;
    }
    assign();
    tb.Post();
    ADSHANDLE h = OpenShared(raw_, "numerics");
    ASSERT_EQ(AdsGotoTop(h), 0u);
    EXPECT_EQ(EngineField(h, c.field).Bytes(), QByteArray(c.stored));
    AdsCloseTable(h);
  }
}

// ---- blanks ---------------------------------------------------------------------------------------------

TEST_F(AdsEditing, BlankStringsArePostedAsEmptyUnlessSpacesArePreserved) {
  CreateWithEmptyRecord("blanks", "C,Char,4;NC,NChar,4;NV,NVarChar,4;V,VarChar,4;");
  for (bool preserve : {false, true}) {
    SCOPED_TRACE(preserve ? "preserving spaces" : "not preserving spaces");
    TAdsTable tb(nullptr);
    Attach(tb, "blanks");
    tb.AdsTableOptions().SetAdsPreserveSpaces(preserve);
    tb.Open();
    tb.Edit();
    for (const char* f : {"C", "NC", "NV", "V"}) tb.FieldByName(f)->SetAsString("  ");
    tb.Post();
    ADSHANDLE h = OpenShared(raw_, "blanks");
    ASSERT_EQ(AdsGotoTop(h), 0u);
    for (const char* f : {"C", "NC", "NV", "V"}) {
      SCOPED_TRACE(f);
      UNSIGNED16 isNull = 0;
      QByteArray name(f);
      ASSERT_EQ(AdsIsNull(h, A(name), &isNull), 0u);
      // Without preserving spaces the value is sent as empty; with it the blanks are stored.
      EXPECT_EQ(isNull != 0, !preserve);
      EXPECT_TRUE(EngineField(h, f).Empty());
    }
    AdsCloseTable(h);
  }
}

// ---- posting again after a failure ------------------------------------------------------------------

class AdsEditingUnique : public AdsEditing {
 protected:
  void SetUp() override {
    AdsEditing::SetUp();
    ADSHANDLE h = OpenExclusive(raw_, "names");
    QByteArray tag("BYNAME"), expr("NAME");
    ADSHANDLE index = 0;
    ASSERT_EQ(AdsCreateIndex90(h, nullptr, A(tag), A(expr), nullptr, nullptr, ADS_COMPOUND | ADS_CANDIDATE, 512,
                               nullptr, &index),
              0u)
        << LastError();
    AdsCloseTable(h);
  }
};

TEST_F(AdsEditingUnique, AnInsertPostedAgainAfterAFailedPostIsAppendedOnce) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("bob");
  tb.FieldByName("QTY")->SetAsInteger(9);
  try {
    tb.Post();
    FAIL() << "a duplicate key was posted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 7045u) << e.Message().toStdString();
  }
  // The failed post leaves the insert with its values, to be corrected.
  EXPECT_EQ(tb.State(), dsInsert);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "bob");
  EXPECT_EQ(tb.FieldByName("QTY")->AsInteger(), 9);
  tb.FieldByName("NAME")->SetAsString("bo");
  tb.Post();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "bo");
  ADSHANDLE h = OpenShared(raw_, "names");
  UNSIGNED32 all = 0;
  ASSERT_EQ(AdsGetRecordCount(h, ADS_IGNOREFILTERS, &all), 0u);
  EXPECT_EQ(all, 4u);
  EXPECT_EQ(VisibleRecords(h), 4u);
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "bo");
  EXPECT_EQ(EngineField(h, "QTY").Long(), 9);
  AdsCloseTable(h);
}

TEST_F(AdsEditingUnique, AnEditPostedAgainAfterAFailedPostWritesTheCorrectedValues) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Edit();
  tb.FieldByName("QTY")->SetAsInteger(3);
  tb.FieldByName("NAME")->SetAsString("cy");
  EXPECT_THROW(tb.Post(), EADSDatabaseError);
  EXPECT_EQ(tb.State(), dsEdit);
  // Nothing of the failed post reached the table.
  ADSHANDLE h = OpenShared(raw_, "names");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "ann");
  EXPECT_TRUE(EngineField(h, "QTY").Empty());
  tb.FieldByName("NAME")->SetAsString("al");
  tb.Post();
  ASSERT_EQ(AdsRefreshRecord(h), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "al");
  EXPECT_EQ(EngineField(h, "QTY").Long(), 3);
  EXPECT_FALSE(RecordLocked(h, 1));
  AdsCloseTable(h);
}

// ---- record locks -------------------------------------------------------------------------------------

TEST_F(AdsEditing, APessimisticEditHoldsTheRecordLockUntilItIsPosted) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.Edit();
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(AdsLockRecord(h, 1), 5035u);
  tb.FieldByName("QTY")->SetAsInteger(1);
  tb.Post();
  EXPECT_EQ(AdsLockRecord(h, 1), 0u) << LastError();
  // And a record another open holds is refused to the edit, which does not begin.
  tb.First();
  try {
    tb.Edit();
    FAIL() << "edited a locked record";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5035u);
  }
  EXPECT_EQ(tb.State(), dsBrowse);
  AdsCloseTable(h);
}

TEST_F(AdsEditing, AnOptimisticEditFailsWhenAnotherOpenChangedTheRecord) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.AdsTableOptions().SetAdsRecordLockingMode(lmOptimistic);
  tb.Open();
  tb.Edit();
  ADSHANDLE h = OpenShared(raw_, "names");
  // The optimistic edit takes no lock.
  ASSERT_EQ(AdsLockRecord(h, 1), 0u) << LastError();
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  SetLong(h, "QTY", 50);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  ASSERT_EQ(AdsUnlockRecord(h, 1), 0u);
  tb.FieldByName("NAME")->SetAsString("mine");
  try {
    tb.Post();
    FAIL() << "posted over another user's change";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Record was changed by another user.");
    EXPECT_EQ(e.ACEErrorCode(), 5186u);
  }
  EXPECT_EQ(tb.State(), dsEdit);
  // The record is left unlocked and as the other user wrote it.
  EXPECT_EQ(AdsLockRecord(h, 1), 0u) << LastError();
  ASSERT_EQ(AdsUnlockRecord(h, 1), 0u);
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "ann");
  EXPECT_EQ(EngineField(h, "QTY").Long(), 50);
  tb.Cancel();
  EXPECT_EQ(tb.FieldByName("QTY")->AsInteger(), 50);
  // Without a change in between the optimistic post goes through.
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("mine");
  tb.Post();
  ASSERT_EQ(AdsRefreshRecord(h), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "mine");
  AdsCloseTable(h);
}

// ---- the whole table ---------------------------------------------------------------------------------

TEST_F(AdsEditing, ReindexPostsAPendingEditFirst) {
  ADSHANDLE h = OpenExclusive(raw_, "names");
  QByteArray tag("BYNAME"), expr("NAME");
  ADSHANDLE index = 0;
  ASSERT_EQ(AdsCreateIndex90(h, nullptr, A(tag), A(expr), nullptr, nullptr, ADS_COMPOUND, 512, nullptr, &index), 0u);
  AdsCloseTable(h);
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.SetExclusive(true);
  tb.Open();
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("zoe");
  tb.AdsReindex();
  EXPECT_EQ(tb.State(), dsBrowse);
  tb.SetIndexName("BYNAME");
  tb.Last();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "zoe");
}

TEST_F(AdsEditing, TableLocksEmptyingAndPacking) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  tb.LockTable();
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(AdsLockRecord(h, 2), 5035u);
  tb.UnlockTable();
  tb.UnlockTable();  // not locked any more: no failure
  EXPECT_EQ(AdsLockRecord(h, 2), 0u);
  ASSERT_EQ(AdsUnlockRecord(h, 2), 0u);
  AdsCloseTable(h);

  tb.Next();
  tb.Delete();
  tb.Close();
  tb.SetExclusive(true);
  tb.Open();
  tb.PackTable();
  UNSIGNED32 all = 0;
  ASSERT_EQ(AdsGetRecordCount(tb.Handle(), ADS_IGNOREFILTERS, &all), 0u);
  EXPECT_EQ(all, 2u);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "ann");
  tb.FlushBuffers();

  tb.EmptyTable();
  EXPECT_TRUE(tb.IsEmpty());
  EXPECT_TRUE(tb.Eof());
  tb.Close();
  tb.Open();
  EXPECT_TRUE(tb.IsEmpty());
  tb.Close();
}

TEST_F(AdsEditing, AClosedTableIsEmptiedAndDeletedThroughAHandleOfItsOwn) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.SetExclusive(true);
  tb.EmptyTable();
  EXPECT_FALSE(tb.Active());
  ADSHANDLE h = OpenShared(raw_, "names");
  EXPECT_EQ(VisibleRecords(h), 0u);
  // Deleting needs the table to itself: the failure closes the handle it opened.
  TAdsTable shared(nullptr);
  Attach(shared, "names");
  EXPECT_THROW(shared.DeleteTable(), EADSDatabaseError);
  AdsCloseTable(h);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "names.adt"));
  tb.DeleteTable();
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "names.adt"));
  EXPECT_THROW(tb.Open(), EADSDatabaseError);
  EXPECT_FALSE(tb.Active());
}

// ---- key values of every kind ------------------------------------------------------------------------

TEST_F(AdsEditing, KeysOfNumericAndMoneyFieldsFindAndRangeRecords) {
  ADSHANDLE t = CreateTable(raw_, "prices", "CODE,Numeric,8,2;AMOUNT,Money;NAME,Char,6;");
  const struct {
    double code;
    double amount;
    const char* name;
  } rows[] = {{12.5, 100.25, "a"}, {-3, 7.5, "b"}, {20, 1000, "c"}, {15.75, -2.0001, "d"}};
  QByteArray code("CODE"), amount("AMOUNT");
  for (const auto& r : rows) {
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetDouble(t, A(code), r.code), 0u) << LastError();
    ASSERT_EQ(AdsSetDouble(t, A(amount), r.amount), 0u) << LastError();
    SetString(t, "NAME", r.name);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
  }
  for (const char* tag : {"CODE", "AMOUNT"}) {
    QByteArray n(tag);
    ADSHANDLE index = 0;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(n), A(n), nullptr, nullptr, ADS_COMPOUND, 512, nullptr, &index), 0u)
        << LastError();
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);

  TAdsTable tb(nullptr);
  Attach(tb, "prices");
  tb.Open();
  tb.SetIndexName("CODE");
  EXPECT_TRUE(tb.FindKey({15.75}));
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "d");
  EXPECT_FALSE(tb.FindKey({15.7}));
  tb.SetRange({0}, {15.75});
  QStringList names;
  for (tb.First(); !tb.Eof(); tb.Next()) names << tb.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"a", "d"}));
  tb.CancelRange();

  tb.SetIndexName("AMOUNT");
  EXPECT_TRUE(tb.FindKey({-2.0001}));
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "d");
  tb.SetRange({7.5}, {100.25});
  names.clear();
  for (tb.First(); !tb.Eof(); tb.Next()) names << tb.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"b", "a"}));
  tb.CancelRange();
  // An edit moves the record in its order.
  tb.FindKey({1000});
  tb.Edit();
  tb.FieldByName("AMOUNT")->SetAsFloat(-50);
  tb.Post();
  tb.First();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "c");
}

// A field object smaller than its engine field would have values written past its buffer.
TEST_F(AdsEditing, AFieldObjectOfTheWrongSizeIsRefusedAtOpen) {
  ADSHANDLE t = CreateTable(raw_, "wide", "NAME,Char,50;W,NChar,20;B,Raw,8;");
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  SetString(t, "NAME", QString(50, QLatin1Char('x')));
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  const struct {
    const char* field;
    TField* (*make)(TComponent*);
    int size;
    int expected;
  } cases[] = {
      {"NAME", &CreateFieldOfClass<TStringField>, 2, 50},
      {"W", &CreateFieldOfClass<TWideStringField>, 5, 20},
      {"B", &CreateFieldOfClass<TBytesField>, 4, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    TAdsTable tb(nullptr);
    Attach(tb, "wide");
    std::unique_ptr<TField> f(c.make(nullptr));
    f->SetFieldName(c.field);
    f->SetSize(c.size);
    f->SetDataSet(&tb);
    try {
      tb.Open();
      FAIL() << "opened";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("tb: Size mismatch for field '%1', expecting: %2 actual: %3")
                                 .arg(c.field)
                                 .arg(c.expected)
                                 .arg(c.size));
    }
    EXPECT_FALSE(tb.Active());
    f->SetSize(c.expected);
    tb.Open();
    if (std::string(c.field) == "NAME") {
      EXPECT_EQ(f->AsString(), QString(50, QLatin1Char('x')));
    }
    tb.Close();
    f->SetDataSet(nullptr);
  }
}

// ---- the engine calls of a post ------------------------------------------------------------------------

class AdsEditingTrace : public AdsEditing {
 protected:
  // The traced calls since mark, keeping only the entry points a post or an edit's start makes.
  std::vector<std::string> PostCalls(size_t mark) {
    static const std::set<std::string> kept = {"AdsAppendRecord", "AdsGetRecordNum", "AdsGotoRecord", "AdsLockRecord",
                                               "AdsGetRecordCRC", "AdsSetField",     "AdsSetFieldRaw", "AdsSetEmpty",
                                               "AdsSetFieldW",    "AdsWriteRecord",  "AdsUnlockRecord"};
    std::vector<std::string> calls;
    for (const std::string& line : trace_.Since(mark)) {
      const std::string name = line.substr(0, line.find('('));
      if (!kept.count(name)) continue;
      // The field a setter names (by number), so that the order of the fields shows.
      const size_t field = line.find("pucFldName=#");
      const size_t end = line.find_first_of(",)", field);
      calls.push_back(field == std::string::npos ? name : name + " " + line.substr(field + 11, end - field - 11));
    }
    return calls;
  }
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
};

TEST_F(AdsEditingTrace, APostSendsTheAssignedFieldsLastFirstThenWrites) {
  TAdsTable tb(nullptr);
  Attach(tb, "names");
  tb.Open();
  size_t mark = trace_.Mark();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("dee");
  tb.FieldByName("QTY")->SetAsInteger(4);
  tb.Post();
  EXPECT_EQ(PostCalls(mark), (std::vector<std::string>{"AdsAppendRecord", "AdsGetRecordNum", "AdsSetFieldRaw #2",
                                                       "AdsSetField #1", "AdsWriteRecord", "AdsGetRecordNum"}));

  // A pessimistic edit locks the record when it begins and unlocks it after the write; a
  // field left alone is not sent.
  mark = trace_.Mark();
  tb.Edit();
  tb.FieldByName("QTY")->SetAsInteger(5);
  tb.Post();
  EXPECT_EQ(PostCalls(mark), (std::vector<std::string>{"AdsLockRecord", "AdsGotoRecord", "AdsSetFieldRaw #2",
                                                       "AdsWriteRecord", "AdsUnlockRecord", "AdsGetRecordNum"}));

  // An optimistic edit takes the record's checksum when it begins and compares it under a lock
  // at the post.
  tb.Close();
  tb.AdsTableOptions().SetAdsRecordLockingMode(lmOptimistic);
  tb.Open();
  mark = trace_.Mark();
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("  ");
  tb.Post();
  EXPECT_EQ(PostCalls(mark),
            (std::vector<std::string>{"AdsGetRecordCRC", "AdsGotoRecord", "AdsLockRecord", "AdsGetRecordCRC",
                                      "AdsSetEmpty #1", "AdsWriteRecord", "AdsUnlockRecord", "AdsGetRecordNum"}));
}
