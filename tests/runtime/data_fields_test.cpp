// Field objects over a dataset: the value forms they exchange with the dataset, their typed
// conversions, default field creation and binding, validation, calculated and lookup fields,
// and blob fields through blob streams.
#include <gtest/gtest.h>

#include <cstring>

#include "data_support/memory_dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"

namespace {

class FieldValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetName(QStringLiteral("All"));
    auto& d = ds.FieldDefs();
    d.Add(QStringLiteral("S"), ftString, 5);
    d.Add(QStringLiteral("W"), ftWideString, 4);
    d.Add(QStringLiteral("SI"), ftSmallint);
    d.Add(QStringLiteral("I"), ftInteger);
    d.Add(QStringLiteral("AI"), ftAutoInc);
    d.Add(QStringLiteral("F"), ftFloat);
    d.Add(QStringLiteral("C"), ftCurrency);
    d.Add(QStringLiteral("B"), ftBCD, 4)->SetPrecision(20);
    d.Add(QStringLiteral("FB"), ftFMTBcd, 2)->SetPrecision(18);
    d.Add(QStringLiteral("L"), ftBoolean);
    d.Add(QStringLiteral("D"), ftDate);
    d.Add(QStringLiteral("T"), ftTime);
    d.Add(QStringLiteral("DT"), ftDateTime);
    d.Add(QStringLiteral("BY"), ftBytes, 3);
    d.Add(QStringLiteral("VB"), ftVarBytes, 4);
    d.Add(QStringLiteral("BL"), ftBlob);
    d.Add(QStringLiteral("M"), ftMemo);
    d.Add(QStringLiteral("WM"), ftWideMemo);
    ds.Open();
    ds.Append();
  }
  TField* f(const char* name) { return ds.FieldByName(QString::fromLatin1(name)); }
  QByteArray raw(const char* name) {
    TField* field = f(name);
    QByteArray bytes(field->DataSize(), '\0');
    EXPECT_TRUE(field->GetData(bytes.data()));
    return bytes;
  }

  testdata::MemoryDataSet ds;
};

TEST_F(FieldValues, DefaultFieldsTakeTheirClassSizeAndBindingFromTheDefinitions) {
  struct Case {
    const char* name;
    TFieldType type;
    int size;
    int dataSize;
    bool blob;
  } cases[] = {
      {"S", ftString, 5, 6, false},     {"W", ftWideString, 4, 10, false}, {"SI", ftSmallint, 0, 2, false},
      {"I", ftInteger, 0, 4, false},    {"AI", ftAutoInc, 0, 4, false},    {"F", ftFloat, 0, 8, false},
      {"C", ftCurrency, 0, 8, false},   {"B", ftBCD, 4, 34, false},        {"FB", ftFMTBcd, 2, 34, false},
      {"L", ftBoolean, 0, 2, false},    {"D", ftDate, 0, 4, false},        {"T", ftTime, 0, 4, false},
      {"DT", ftDateTime, 0, 8, false},  {"BY", ftBytes, 3, 3, false},      {"VB", ftVarBytes, 4, 6, false},
      {"BL", ftBlob, 0, 0, true},       {"M", ftMemo, 0, 0, true},         {"WM", ftWideMemo, 0, 0, true},
  };
  int blobIndex = 0;
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    TField* field = f(c.name);
    EXPECT_EQ(field->DataType(), c.type);
    EXPECT_EQ(field->Size(), c.size);
    EXPECT_EQ(field->DataSize(), c.dataSize);
    EXPECT_EQ(field->IsBlob(), c.blob);
    EXPECT_EQ(field->FieldNo(), static_cast<int>(i) + 1);
    EXPECT_EQ(field->FieldKind(), fkData);
    if (c.blob) {
      EXPECT_EQ(field->Offset(), blobIndex++);
    }
    EXPECT_TRUE(field->IsNull());
    EXPECT_EQ(field->Owner(), &ds);
  }
  EXPECT_EQ(ds.BlobFieldCount(), 3);
  EXPECT_EQ(ds.CalcFieldsSize(), 0);
  EXPECT_TRUE(ds.DefaultFields());
  EXPECT_EQ(dynamic_cast<TBCDField*>(f("B"))->Precision(), 20);
  EXPECT_EQ(dynamic_cast<TFMTBCDField*>(f("FB"))->Precision(), 18);
  EXPECT_TRUE(dynamic_cast<TCurrencyField*>(f("C"))->Currency());
  ds.Cancel();
  ds.Close();
  EXPECT_EQ(ds.FieldCount(), 0) << "default fields go with the close";
}

TEST_F(FieldValues, ValueFormsAreTheOnesTheDatasetStores) {
  f("S")->SetAsString(QStringLiteral("abcdefg"));
  EXPECT_EQ(raw("S"), QByteArray("abcde\0", 6)) << "at most Size characters, NUL-terminated";

  f("W")->SetAsString(QStringLiteral("Grüß"));
  QByteArray w = raw("W");
  EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(w.constData()), 4), QStringLiteral("Grüß"));
  EXPECT_EQ(w.mid(8, 2), QByteArray("\0\0", 2));

  f("SI")->SetAsInteger(-2);
  EXPECT_EQ(raw("SI"), QByteArray("\xFE\xFF", 2));
  f("I")->SetAsInteger(0x01020304);
  EXPECT_EQ(raw("I"), QByteArray("\x04\x03\x02\x01", 4));
  f("F")->SetAsFloat(1.5);
  double d = 0;
  std::memcpy(&d, raw("F").constData(), 8);
  EXPECT_EQ(d, 1.5);

  f("L")->SetAsBoolean(true);
  EXPECT_EQ(raw("L"), QByteArray("\xFF\xFF", 2));
  f("L")->SetAsBoolean(false);
  EXPECT_EQ(raw("L"), QByteArray("\0\0", 2));

  f("D")->SetAsDateTime(0);  // 1899-12-30
  int32_t day = 0;
  std::memcpy(&day, raw("D").constData(), 4);
  EXPECT_EQ(day, 693594);
  f("D")->SetAsString(QStringLiteral("0001-01-01"));
  std::memcpy(&day, raw("D").constData(), 4);
  EXPECT_EQ(day, 1);

  f("T")->SetAsString(QStringLiteral("12:00:00"));
  int32_t ms = 0;
  std::memcpy(&ms, raw("T").constData(), 4);
  EXPECT_EQ(ms, 43200000);

  f("DT")->SetAsString(QStringLiteral("1899-12-31 06:00:00"));
  std::memcpy(&d, raw("DT").constData(), 8);
  EXPECT_EQ(d, 693595.0 * 86400000.0 + 21600000.0);

  f("B")->SetAsString(QStringLiteral("-12.5"));
  TBcd bcd;
  std::memcpy(&bcd, raw("B").constData(), sizeof(bcd));
  EXPECT_EQ(BcdToStr(bcd), QStringLiteral("-12.5"));
  EXPECT_EQ(BcdPrecision(bcd), 20);
  EXPECT_EQ(BcdScale(bcd), 4);

  f("BY")->SetAsBytes(QByteArray("\x01\x02", 2));
  EXPECT_EQ(raw("BY"), QByteArray("\x01\x02\x00", 3));
  f("VB")->SetAsBytes(QByteArray("xyz"));
  EXPECT_EQ(raw("VB"), QByteArray("\x03\x00xyz\0", 6));
}

TEST_F(FieldValues, TypedAccessorsConvertBetweenForms) {
  struct Case {
    const char* field;
    QVariant set;
    QString asString;
    QVariant value;
  } cases[] = {
      {"S", QStringLiteral("ab"), QStringLiteral("ab"), QStringLiteral("ab")},
      {"S", 42, QStringLiteral("42"), QStringLiteral("42")},
      {"SI", QStringLiteral(" -7 "), QStringLiteral("-7"), -7},
      {"I", 2.6, QStringLiteral("3"), 3},
      {"I", QVariant::fromValue(StrToBcd(QStringLiteral("12"))), QStringLiteral("12"), 12},
      {"F", QStringLiteral("2.25"), QStringLiteral("2.25"), 2.25},
      {"F", 7, QStringLiteral("7"), 7.0},
      {"B", 1.25, QStringLiteral("1.25"), 1.25},
      {"B", QStringLiteral("1.23456"), QStringLiteral("1.2346"), 1.2346},
      {"FB", QStringLiteral("3.14159"), QStringLiteral("3.14"), QVariant::fromValue(StrToBcd(QStringLiteral("3.14")))},
      {"L", QStringLiteral("yes"), QStringLiteral("True"), true},
      {"L", QStringLiteral("F"), QStringLiteral("False"), false},
      {"L", 1, QStringLiteral("True"), true},
      {"D", QStringLiteral("2024-02-29"), QStringLiteral("2024-02-29"), 45351.0},
      {"T", QStringLiteral("06:30"), QStringLiteral("06:30:00"), 0.2708333333333333},
      {"DT", QStringLiteral("2024-02-29 12:00:00"), QStringLiteral("2024-02-29 12:00:00"), 45351.5},
      {"DT", QStringLiteral("1899-12-29 12:00:00"), QStringLiteral("1899-12-29 12:00:00"), -1.5},
      {"BY", QByteArray("abc"), QStringLiteral("abc"), QByteArray("abc")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.set.toString().toStdString());
    TField* field = f(c.field);
    field->SetAsVariant(c.set);
    EXPECT_EQ(field->AsString(), c.asString);
    QVariant v = field->AsVariant();
    if (c.value.typeId() == QMetaType::Double)
      EXPECT_NEAR(v.toDouble(), c.value.toDouble(), 1e-9);
    else if (c.value.metaType() == QMetaType::fromType<TBcd>())
      EXPECT_EQ(BcdCompare(v.value<TBcd>(), c.value.value<TBcd>()), 0);
    else
      EXPECT_EQ(v, c.value);
  }
}

TEST_F(FieldValues, EmptyTextClearsAndNullVariantsClear) {
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {{"SI", "1"}, {"I", "1"}, {"F", "1"}, {"B", "1"}, {"L", "1"},
               {"D", "2000-01-01"}, {"T", "10:00"}, {"DT", "2000-01-01 10:00"}};
  for (const auto& c : cases) {
    const char* name = c.name;
    SCOPED_TRACE(name);
    f(name)->SetAsString(QString::fromLatin1(c.text));
    EXPECT_FALSE(f(name)->IsNull());
    f(name)->SetAsString(QStringLiteral("  "));
    EXPECT_TRUE(f(name)->IsNull());
    f(name)->SetAsString(QString::fromLatin1(c.text));
    f(name)->SetValue(QVariant());
    EXPECT_TRUE(f(name)->IsNull());
    EXPECT_FALSE(f(name)->Value().isValid());
  }
  f("S")->SetAsString(QString());
  EXPECT_FALSE(f("S")->IsNull()) << "an empty string is a value for a string field";
}

TEST_F(FieldValues, UnconvertibleValuesAreRefusedWithTheFieldName) {
  struct Case {
    const char* field;
    const char* text;
    const char* message;
  } cases[] = {
      {"I", "12x", "'12x' is not a valid integer value for field 'I'"},
      {"F", "1,5", "'1,5' is not a valid floating point value for field 'F'"},
      {"L", "maybe", "'maybe' is not a valid boolean value for field 'L'"},
      {"D", "2024-02-30", "'2024-02-30' is not a valid date and time for field 'D'"},
      {"B", "1.2.3", "'1.2.3' is not a valid BCD value for field 'B'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    f(c.field)->Clear();
    try {
      f(c.field)->SetAsString(QString::fromLatin1(c.text));
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), QString::fromLatin1(c.message));
    }
    EXPECT_TRUE(f(c.field)->IsNull()) << "a refused value leaves the field as it was";
  }
  EXPECT_THROW(f("SI")->SetAsInteger(40000), ERangeError);
  EXPECT_THROW(f("FB")->SetAsString(QStringLiteral("12345678901234567.5")), ERangeError);
  try {
    f("L")->AsDateTime();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Cannot access field 'L' as type DateTime"));
  }
}

TEST_F(FieldValues, IntegerLimitsApplyWhenSet) {
  auto* i = dynamic_cast<TIntegerField*>(f("I"));
  i->SetMinValue(1);
  i->SetMaxValue(10);
  EXPECT_NO_THROW(i->SetAsInteger(10));
  try {
    i->SetAsInteger(11);
    FAIL() << "no exception";
  } catch (const ERangeError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("11 is not a valid value for field 'I'. The allowed range is 1 to 10"));
  }
  EXPECT_EQ(i->AsInteger(), 10);
}

TEST_F(FieldValues, ValidateSeesTheNewValueAndCanRefuseIt) {
  QString seen;
  f("S")->OnValidate = [&](TField* field) {
    seen = field->AsString();
    if (seen == QLatin1String("bad")) throw EDatabaseError(QStringLiteral("refused"));
  };
  f("S")->SetAsString(QStringLiteral("good"));
  EXPECT_EQ(seen, QStringLiteral("good"));
  EXPECT_THROW(f("S")->SetAsString(QStringLiteral("bad")), EDatabaseError);
  EXPECT_EQ(seen, QStringLiteral("bad"));
  EXPECT_EQ(f("S")->AsString(), QStringLiteral("good")) << "a refused value is not stored";
}

TEST_F(FieldValues, ReadOnlyFieldsCannotBeAssigned) {
  f("I")->SetReadOnly(true);
  try {
    f("I")->SetAsInteger(1);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("All: Field 'I' cannot be modified"));
  }
}

TEST_F(FieldValues, FieldChangesMarkTheRecordModifiedAndRunOnChange) {
  EXPECT_FALSE(ds.Modified());
  TField* changed = nullptr;
  f("I")->OnChange = [&](TField* field) { changed = field; };
  f("I")->SetAsInteger(3);
  EXPECT_TRUE(ds.Modified());
  EXPECT_EQ(changed, f("I"));
}

TEST_F(FieldValues, BlobFieldsTravelThroughBlobStreamsAndSurviveThePost) {
  f("BL")->SetAsBytes(QByteArray("\x00\x01\x02", 3));
  f("M")->SetAsString(QStringLiteral("memo text"));
  f("WM")->SetAsString(QStringLiteral("wide ∑"));
  EXPECT_FALSE(f("BL")->IsNull());
  ds.Post();
  EXPECT_EQ(f("BL")->AsBytes(), QByteArray("\x00\x01\x02", 3));
  EXPECT_EQ(f("M")->AsString(), QStringLiteral("memo text"));
  EXPECT_EQ(f("M")->Value(), QVariant(QStringLiteral("memo text")));
  EXPECT_EQ(f("WM")->AsString(), QStringLiteral("wide ∑"));
  EXPECT_EQ(dynamic_cast<TBlobField*>(f("BL"))->BlobSize(), 3);
  EXPECT_THROW(f("M")->SetAsString(QStringLiteral("x")), EDatabaseError) << "writing needs an edit state";
  auto* blob = dynamic_cast<TBlobField*>(f("BL"));
  blob->SetFieldType(ftGraphic);
  EXPECT_EQ(blob->BlobType(), ftGraphic);
  blob->SetFieldType(ftInteger);
  EXPECT_EQ(blob->BlobType(), ftGraphic) << "only blob sub-types are accepted";
}

class CalculatedFields : public ::testing::Test {
 protected:
  void SetUp() override {
    cities.SetName(QStringLiteral("Cities"));
    cities.FieldDefs().Add(QStringLiteral("CODE"), ftInteger);
    cities.FieldDefs().Add(QStringLiteral("CITY"), ftString, 12);
    cities.Open();
    cities.AppendRecord({1, QStringLiteral("Bern")});
    cities.AppendRecord({2, QStringLiteral("Basel")});
    cities.First();

    people.SetName(QStringLiteral("People"));
    people.FieldDefs().Add(QStringLiteral("NAME"), ftString, 10);
    people.FieldDefs().Add(QStringLiteral("CITYCODE"), ftInteger);
    name = new TStringField(&people);
    name->SetFieldName(QStringLiteral("NAME"));
    name->SetSize(10);
    name->SetDataSet(&people);
    code = new TIntegerField(&people);
    code->SetFieldName(QStringLiteral("CITYCODE"));
    code->SetDataSet(&people);
    upper = new TStringField(&people);
    upper->SetFieldName(QStringLiteral("UPPERNAME"));
    upper->SetSize(10);
    upper->SetFieldKind(fkCalculated);
    upper->SetDataSet(&people);
    city = new TStringField(&people);
    city->SetFieldName(QStringLiteral("CITYNAME"));
    city->SetSize(12);
    city->SetFieldKind(fkLookup);
    city->SetLookupDataSet(&cities);
    city->SetKeyFields(QStringLiteral("CITYCODE"));
    city->SetLookupKeyFields(QStringLiteral("CODE"));
    city->SetLookupResultField(QStringLiteral("CITY"));
    city->SetDataSet(&people);
    people.OnCalcFields = [this](TDataSet* d) {
      ++calcRuns;
      EXPECT_EQ(d->State(), dsCalcFields);
      upper->SetAsString(name->AsString().toUpper());
    };
  }

  testdata::MemoryDataSet cities;
  testdata::MemoryDataSet people;
  TField* name = nullptr;
  TField* code = nullptr;
  TField* upper = nullptr;
  TField* city = nullptr;
  int calcRuns = 0;
};

TEST_F(CalculatedFields, CalculatedAndLookupFieldsLiveInTheCalculatedArea) {
  people.Open();
  EXPECT_FALSE(people.DefaultFields()) << "persistent fields keep the dataset from creating its own";
  EXPECT_EQ(people.FieldCount(), 4);
  EXPECT_EQ(upper->FieldNo(), -1);
  EXPECT_EQ(city->FieldNo(), -1);
  EXPECT_EQ(upper->Offset(), 0);
  EXPECT_EQ(city->Offset(), 12) << "each takes DataSize + 1 bytes";
  EXPECT_EQ(people.CalcFieldsSize(), 12 + 14);
  EXPECT_EQ(name->FieldNo(), 1);
  EXPECT_EQ(code->FieldNo(), 2);

  people.AppendRecord({QStringLiteral("anna"), 2});
  EXPECT_EQ(upper->AsString(), QStringLiteral("ANNA"));
  EXPECT_EQ(city->AsString(), QStringLiteral("Basel"));
  EXPECT_EQ(cities.FieldByName(QStringLiteral("CODE"))->AsInteger(), 1) << "the lookup leaves its dataset where it was";

  people.Edit();
  code->SetAsInteger(1);
  EXPECT_EQ(city->AsString(), QStringLiteral("Bern")) << "field changes recalculate";
  code->SetAsInteger(3);
  EXPECT_TRUE(city->IsNull()) << "no matching record gives no value";
  people.Cancel();
  EXPECT_EQ(city->AsString(), QStringLiteral("Basel"));
  EXPECT_GT(calcRuns, 0);
}

TEST_F(CalculatedFields, ALookupFieldWithoutItsInformationCannotOpen) {
  city->SetLookupResultField(QString());
  try {
    people.Open();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Lookup information for field 'CITYNAME' is incomplete"));
  }
  EXPECT_FALSE(people.Active());
}

TEST_F(CalculatedFields, PersistentFieldsMustMatchTheirDefinitions) {
  auto* stray = new TIntegerField(&people);
  stray->SetFieldName(QStringLiteral("NOSUCH"));
  stray->SetDataSet(&people);
  EXPECT_THROW(people.Open(), EDatabaseError);
  delete stray;
  EXPECT_EQ(people.FindField(QStringLiteral("NOSUCH")), nullptr) << "a destroyed field leaves its dataset";
  name->SetDataSet(nullptr);
  auto* wrong = new TIntegerField(&people);
  wrong->SetFieldName(QStringLiteral("NAME"));
  wrong->SetDataSet(&people);
  try {
    people.Open();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Type mismatch for field 'NAME', expecting: ftInteger actual: ftString"));
  }
}

TEST_F(CalculatedFields, PersistentFieldsMustHaveTheSizeOfTheirDefinitions) {
  // A smaller field would receive values longer than its buffer; a larger one would not hold
  // what its definition says. Both are refused before any value is read.
  for (int size : {2, 11}) {
    name->SetSize(size);
    try {
      people.Open();
      FAIL() << "opened with a field of size " << size;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("People: Size mismatch for field 'NAME', expecting: 10 actual: ") +
                                 QString::number(size));
    }
    EXPECT_FALSE(people.Active());
  }
  name->SetSize(10);
  people.Open();
  EXPECT_TRUE(people.Active());
}

TEST_F(CalculatedFields, FieldsCannotChangeDatasetsOrKindsWhileOpen) {
  people.Open();
  EXPECT_THROW(upper->SetFieldKind(fkData), EDatabaseError);
  EXPECT_THROW(name->SetDataSet(nullptr), EDatabaseError);
  auto* extra = new TIntegerField(&people);
  extra->SetFieldName(QStringLiteral("X"));
  EXPECT_THROW(extra->SetDataSet(&people), EDatabaseError);
  auto* dup = new TIntegerField(&people);
  dup->SetFieldName(QStringLiteral("name"));
  people.Close();
  EXPECT_THROW(dup->SetDataSet(&people), EDatabaseError);
}

TEST_F(CalculatedFields, LocateAndLookupFindByFieldValues) {
  people.Open();
  people.AppendRecord({QStringLiteral("anna"), 2});
  people.AppendRecord({QStringLiteral("Bert"), 1});
  people.AppendRecord({QStringLiteral("carla"), 2});
  people.First();
  EXPECT_TRUE(people.Locate(QStringLiteral("CITYCODE;NAME"), QVariantList{1, QStringLiteral("Bert")}, {}));
  EXPECT_EQ(name->AsString(), QStringLiteral("Bert"));
  EXPECT_FALSE(people.Locate(QStringLiteral("NAME"), QStringLiteral("bert"), {}));
  EXPECT_EQ(name->AsString(), QStringLiteral("Bert")) << "a failed Locate keeps the position";
  EXPECT_TRUE(people.Locate(QStringLiteral("NAME"), QStringLiteral("CAR"), loCaseInsensitive | loPartialKey));
  EXPECT_EQ(name->AsString(), QStringLiteral("carla"));
  EXPECT_THROW(people.Locate(QStringLiteral("NOPE"), 1, {}), EDatabaseError);
  EXPECT_THROW(people.Locate(QStringLiteral("NAME;CITYCODE"), QStringLiteral("x"), {}), EDatabaseError);

  people.First();
  QVariant r = people.Lookup(QStringLiteral("NAME"), QStringLiteral("carla"), QStringLiteral("CITYCODE;CITYNAME"));
  EXPECT_EQ(r.toList(), (QVariantList{2, QStringLiteral("Basel")}));
  EXPECT_EQ(name->AsString(), QStringLiteral("anna")) << "Lookup keeps the position";
  EXPECT_FALSE(people.Lookup(QStringLiteral("NAME"), QVariant(), QStringLiteral("CITYCODE")).isValid());
  EXPECT_FALSE(people.Lookup(QStringLiteral("NAME"), QStringLiteral("zoe"), QStringLiteral("CITYCODE")).isValid());
  EXPECT_EQ(people.FieldValues(QStringLiteral("NAME")), QVariant(QStringLiteral("anna")));
}

TEST_F(CalculatedFields, FilterRecordHidesRowsWhileFiltered) {
  people.Open();
  people.AppendRecord({QStringLiteral("anna"), 2});
  people.AppendRecord({QStringLiteral("Bert"), 1});
  people.AppendRecord({QStringLiteral("carla"), 2});
  people.SetOnFilterRecord([this](TDataSet* d, bool& accept) {
    EXPECT_EQ(d->State(), dsFilter);
    accept = code->AsInteger() == 2;
  });
  people.SetFiltered(true);
  std::vector<QString> seen;
  for (people.First(); !people.Eof(); people.Next()) seen.push_back(name->AsString());
  EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("anna"), QStringLiteral("carla")}));
}

}  // namespace
