// Creating tables from field and index definitions, renaming them in a dictionary and changing
// their fields, on the real engine: the field-definition strings per table type, a table of
// every mappable field type that opens, verifies and has its indexes, the primary key of a
// dictionary table, and restructures that keep every record (or, failing, change nothing).
#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/engine/support/aceadmin_run.h"
#include "adstable_dictionary.h"

using namespace adsdata_test;

namespace {


struct FieldCase {
  TFieldType type;
  int size;
  int precision;
  const char* adt;    // the field's definition text for a native table
  const char* other;  // for the DBF types; empty: refused
};

// Every field type a table can be made of, with what each table type makes of it.
const FieldCase kFieldCases[] = {
    {ftString, 30, 0, "Char,30;", "Char,30;"},
    {ftSmallint, 0, 0, "ShortInt;", "Num,6,0;"},
    {ftWord, 0, 0, "ShortInt;", "Num,6,0;"},
    {ftInteger, 0, 0, "Integer;", "Num,11,0;"},
    {ftBoolean, 0, 0, "Logical;", "Logical;"},
    {ftFloat, 0, 0, "Double,6;", "Num,20,4;"},
    {ftCurrency, 0, 0, "CurDouble,6;", ""},
    {ftBCD, 4, 0, "Money;", ""},
    {ftDate, 0, 0, "Date;", "Date;"},
    {ftTime, 0, 0, "Time;", ""},
    {ftDateTime, 0, 0, "TimeStamp;", ""},
    {ftBytes, 8, 0, "Raw,8;", "Char,8;"},
    {ftVarBytes, 20, 0, "Binary;", "Binary;"},
    {ftBlob, 0, 0, "Binary;", "Binary;"},
    {ftTypedBinary, 0, 0, "Binary;", "Binary;"},
    {ftAutoInc, 0, 0, "AutoInc;", ""},
    {ftMemo, 0, 0, "Memo;", "Memo;"},
    {ftFmtMemo, 0, 0, "Memo;", "Memo;"},
    {ftGraphic, 0, 0, "Image;", "Image;"},
    {ftWideString, 10, 0, "NChar,10;", "NChar,10;"},
    {ftWideMemo, 0, 0, "NMemo;", "NMemo;"},
    {ftFMTBcd, 2, 10, "Num,12,2;", "Num,12,2;"},
    {ftFMTBcd, 0, 10, "Num,11,0;", "Num,11,0;"},
};

// The engine field type each native definition text makes.
const std::map<std::string, uint16_t> kEngineTypes = {
    {"Char", 4},      {"ShortInt", 12}, {"Integer", 11}, {"Logical", 1},   {"Double", 10}, {"CurDouble", 17},
    {"Money", 18},    {"Date", 3},      {"Time", 13},    {"TimeStamp", 14}, {"Raw", 16},   {"Binary", 6},
    {"AutoInc", 15},  {"Memo", 5},      {"Image", 7},    {"NChar", 26},    {"NMemo", 28}, {"Num", 2},
};

}  // namespace

TEST(AdsFieldDefinitions, EachTypeHasItsDefinitionPerTableType) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  int n = 0;
  for (const FieldCase& c : kFieldCases) {
    const QString label = FieldTypeName(c.type);
    for (uint16_t tableType : {kAceTypeADT, kAceTypeCDX, kAceTypeNTX, kAceTypeVFP}) {
      ds.FieldDefs().Clear();
      TFieldDef* def = ds.FieldDefs().Add(QStringLiteral("F%1").arg(++n), c.type, c.size);
      def->SetPrecision(c.precision);
      const char* expected = tableType == kAceTypeADT ? c.adt : c.other;
      if (*expected != '\0') {
        EXPECT_EQ(AdsFieldDefinitionString(&ds, ds.FieldDefs(), tableType),
                  def->Name() + "," + QString::fromLatin1(expected))
            << label.toStdString() << " in type " << tableType;
      } else {
        EXPECT_EQ(Raised([&] { AdsFieldDefinitionString(&ds, ds.FieldDefs(), tableType); }),
                  "tb: " + label.toStdString() + " is not a supported field type.")
            << tableType;
      }
    }
  }
}

TEST(AdsFieldDefinitions, TheFieldsFollowEachOtherAndUnmappableTypesAreRefused) {
  TestAdsDataSet ds(nullptr);
  ds.FieldDefs().Add("NAME", ftString, 30);
  ds.FieldDefs().Add("QTY", ftInteger);
  EXPECT_EQ(AdsFieldDefinitionString(&ds, ds.FieldDefs(), kAceTypeADT), "NAME,Char,30;QTY,Integer;");
  EXPECT_EQ(AdsFieldDefinitionString(&ds, ds.FieldDefs(), kAceTypeCDX), "NAME,Char,30;QTY,Num,11,0;");
  for (TFieldType type : {ftUnknown, ftParadoxOle, ftDBaseOle, ftLargeint, ftFixedChar, ftTimeStamp, ftGuid,
                          ftFixedWideChar}) {
    ds.FieldDefs().Clear();
    ds.FieldDefs().Add("X", type);
    EXPECT_EQ(Raised([&] { AdsFieldDefinitionString(&ds, ds.FieldDefs(), kAceTypeADT); }),
              FieldTypeName(type).toStdString() + " is not a supported field type.");
  }
}

namespace {

// Creation and restructuring on the dictionary of PeopleDictionary and on its folder.
class TableCreation : public PeopleDictionary {
 protected:
  void SetUp() override {
    PeopleDictionary::SetUp();
    if (HasFatalFailure()) return;
    Configure(con_);
  }

  std::string Folder() const { return dir_.str(); }
  bool FileThere(const std::string& name) const { return std::filesystem::exists(dir_.path() / name); }

  // The primary key the dictionary gives the table; empty when none.
  std::string PrimaryKey(const std::string& table) {
    ADSHANDLE dd = ConnectDictionary();
    QByteArray name(table.c_str());
    UNSIGNED8 key[200] = {};
    UNSIGNED16 length = 199;
    const UNSIGNED32 rc = AdsDDGetTableProperty(dd, A(name), 205, key, &length);
    AdsDisconnect(dd);
    return rc == 0 ? std::string(reinterpret_cast<char*>(key), length) : std::string();
  }

  // Every record of the table file (free, beside the dictionary), deleted ones included, as
  // field name -> text, the engine's own text of each value (blobs by their content), and
  // "<deleted>" -> "1" or "0".
  std::vector<std::map<std::string, std::string>> Records(const std::string& table) {
    std::vector<std::map<std::string, std::string>> records;
    ADSHANDLE folder = ConnectFolder(Folder());
    QByteArray name(table.c_str());
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(folder, A(name), nullptr, 3, 1, 1, 1, 0, nullptr, &t), 0u) << LastError();
    UNSIGNED16 count = 0;
    AdsGetNumFields(t, &count);
    AdsShowDeleted(1);
    for (UNSIGNED32 rc = AdsGotoTop(t); rc == 0; rc = AdsSkip(t, 1)) {
      UNSIGNED16 eof = 0;
      AdsAtEOF(t, &eof);
      if (eof) break;
      std::map<std::string, std::string> record;
      for (UNSIGNED16 i = 1; i <= count; ++i) {
        UNSIGNED8 fieldName[129] = {};
        UNSIGNED16 nameLength = 128;
        AdsGetFieldName(t, i, fieldName, &nameLength);
        std::vector<UNSIGNED8> text(4096);
        UNSIGNED32 length = 4095;
        const UNSIGNED32 got = AdsGetField(t, ADSFIELD(i), text.data(), &length, 2);
        record[reinterpret_cast<char*>(fieldName)] =
            got == 0 ? std::string(reinterpret_cast<char*>(text.data()), length) : "<" + std::to_string(got) + ">";
      }
      UNSIGNED16 deleted = 0;
      AdsIsRecordDeleted(t, &deleted);
      record["<deleted>"] = deleted ? "1" : "0";
      records.push_back(record);
    }
    AdsShowDeleted(0);
    AdsCloseTable(t);
    AdsDisconnect(folder);
    return records;
  }

  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(TableCreation, EveryMappedTypeMakesANativeTableThatOpensAndVerifies) {
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetDatabaseName(QString::fromStdString(Folder()));
  tb.SetTableName("every");
  int n = 0;
  for (const FieldCase& c : kFieldCases) {
    TFieldDef* def = tb.FieldDefs().Add(QStringLiteral("F%1").arg(++n), c.type, c.size);
    def->SetPrecision(c.precision);
  }
  tb.IndexDefs().Add("BYNAME", "F1", TIndexOptions(ixUnique));
  tb.IndexDefs().Add("BYINT", "F4", TIndexOptions(ixDescending));
  tb.IndexDefs().Add("BYEXPR", "UPPER(F1)+STR(F4,6)", TIndexOptions(ixExpression));
  tb.CreateTable();
  EXPECT_FALSE(tb.Active()) << "creation leaves the dataset closed";
  ASSERT_TRUE(FileThere("every.adt"));

  tb.FieldDefs().Clear();
  tb.Open();
  ASSERT_EQ(tb.ACEFieldDefs().Count(), n);
  n = 0;
  for (const FieldCase& c : kFieldCases) {
    const TACEFieldDef* def = tb.ACEFieldDefs().Items(n++);
    const std::string word = QString::fromLatin1(c.adt).section(QLatin1Char(','), 0, 0).remove(';').toStdString();
    EXPECT_EQ(def->FieldType(), kEngineTypes.at(word)) << def->FieldName().toStdString() << " " << word;
  }
  QStringList expectedIndexes({"BYEXPR", "BYINT", "BYNAME"});
  TStringList names;
  tb.GetIndexNames(&names);
  QStringList indexes;
  for (int i = 0; i < names.Count(); ++i) indexes << names.Strings(i);
  indexes.sort();
  EXPECT_EQ(indexes, expectedIndexes);
  tb.Close();

  const acetest::ToolRun verify = acetest::Aceadmin("verify " + acetest::Q(Folder()) + " every");
  EXPECT_EQ(verify.status, 0) << verify.output;
  const acetest::ToolRun verifyIndex = acetest::Aceadmin("verify-index " + acetest::Q(Folder()) + " every");
  EXPECT_EQ(verifyIndex.status, 0) << verifyIndex.output;
  const acetest::ToolRun rows = acetest::Aceadmin("show-rows " + acetest::Q(Folder()) + " every");
  EXPECT_EQ(rows.status, 0) << rows.output;
}

TEST_F(TableCreation, ADictionaryTableGetsItsPrimaryKeyAndAFreeOneDoesNot) {
  struct Case {
    TAdsCreateTableOptions options;
    const char* table;
    bool inDictionary;
    bool primary;
  } cases[] = {
      {AdsCreateTableOptionBit(ctDictionaryTable), "orders", true, true},
      {0, "lines", true, true},
      {AdsCreateTableOptionBit(ctFreeTable), "scratch", false, false},
  };
  for (const Case& c : cases) {
    TAdsTable tb(nullptr);
    tb.SetAdsConnection(&con_);
    tb.SetTableName(c.table);
    tb.FieldDefs().Add("ID", ftInteger);
    tb.FieldDefs().Add("NAME", ftString, 20);
    tb.IndexDefs().Add("PK", "ID", TIndexOptions(ixPrimary));
    tb.IndexDefs().Add("BYNAME", "NAME", TIndexOptions());
    tb.CreateTable(c.options);
    EXPECT_TRUE(FileThere(std::string(c.table) + ".adt")) << c.table;
    EXPECT_EQ(tb.IndexDefs().Items(0)->Options().testFlag(ixUnique), c.primary) << c.table;
    TStringList tables;
    con_.GetTableNames(&tables, QString());
    EXPECT_EQ(tables.IndexOf(c.table) >= 0, c.inDictionary) << c.table;
    EXPECT_EQ(PrimaryKey(c.table), c.primary ? "PK" : "") << c.table;
  }
  // The engine made the primary index unique.
  ADSHANDLE folder = ConnectFolder(Folder());
  QByteArray orders("orders"), pk("PK");
  ADSHANDLE t = 0, index = 0;
  ASSERT_EQ(AdsOpenTable90(folder, A(orders), nullptr, 3, 1, 1, 1, 0, nullptr, &t), 0u) << LastError();
  ASSERT_EQ(AdsGetIndexHandle(t, A(pk), &index), 0u) << LastError();
  UNSIGNED16 unique = 0;
  ASSERT_EQ(AdsIsIndexUnique(index, &unique), 0u);
  EXPECT_EQ(unique, 1);
  AdsCloseTable(t);
  AdsDisconnect(folder);
  const acetest::ToolRun verify = acetest::Aceadmin("verify " + acetest::Q(dictionary_) + " orders");
  EXPECT_EQ(verify.status, 0) << verify.output;
}

TEST_F(TableCreation, TheEngineGetsTheSettingsOfTheOptionSetAndTheTableIsClosedAfterAFailure) {
  testenv::TempDir traceDir;
  EngineTrace trace((traceDir.path() / "trace.txt").string());
  con_.SetAdsCollation("GERMAN_VFP_CI_AS_1252");
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con_);
  tb.SetTableName("fleet");
  tb.AdsTableOptions().SetAdsLockType(Compatible);
  tb.AdsTableOptions().SetAdsCharType(OEM);
  tb.AdsTableOptions().SetAdsRightsCheck(false);
  tb.AdsTableOptions().SetAdsCachingOption(tcWrites);
  tb.FieldDefs().Add("NAME", ftString, 12);
  tb.IndexDefs().Add("PK", "NAME", TIndexOptions(ixPrimary));
  tb.IndexDefs().Add("BAD", "NOSUCHFIELD", TIndexOptions());
  const size_t mark = trace.Mark();
  EXPECT_THROW(tb.CreateTable(AdsCreateTableOptionBit(ctDictionaryTable)), EADSDatabaseError);
  const std::vector<std::string> lines = trace.Since(mark);
  const std::vector<std::string> names = EngineTrace::Names(lines);
  auto at = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  const size_t create = static_cast<size_t>(at("AdsCreateTable90"));
  ASSERT_LT(create, lines.size());
  EXPECT_NE(lines[create].find("pucName=\"fleet\", pucDBObjName=null, usTableType=3, usCharType=2, usLockType=0, "
                               "usCheckRights=2, usMemoSize=0, pucFields=\"NAME,Char,12;\", ulOptions=1073758208, "
                               "pucCollation=\"GERMAN_VFP_CI_AS_1252\""),
            std::string::npos)
      << lines[create];
  const size_t primary = static_cast<size_t>(at("AdsPrepareSQLW"));
  ASSERT_LT(primary, lines.size());
  EXPECT_NE(lines[primary].find("EXECUTE PROCEDURE sp_ModifyTableProperty( 'fleet', 'TABLE_PRIMARY_KEY', 'PK', "
                                "'NO_VALIDATE', NULL )"),
            std::string::npos)
      << lines[primary];
  EXPECT_EQ(names.back(), "AdsCloseTable") << "the failed index leaves no table open";
  EXPECT_EQ(PrimaryKey("fleet"), "PK");

  const size_t restructure = trace.Mark();
  tb.Restructure("EXTRA,Char,2;", "", "");
  const std::vector<std::string> calls = trace.Since(restructure);
  ASSERT_FALSE(calls.empty());
  EXPECT_NE(calls.back().find("AdsRestructureTable90(hObj=" + std::to_string(con_.ConnectionHandle()) +
                              ", pucName=\"fleet\", pucPassword=null, usTableType=0, usCharType=2, usLockType=0, "
                              "usCheckRights=2, pucAddFields=\"EXTRA,Char,2;\""),
            std::string::npos)
      << calls.back();
}

TEST_F(TableCreation, ARefusedTypeCreatesNothing) {
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetDatabaseName(QString::fromStdString(Folder()));
  tb.SetTableType(ttAdsCDX);
  tb.SetTableName("counted");
  tb.FieldDefs().Add("NAME", ftString, 10);
  tb.FieldDefs().Add("ID", ftAutoInc);
  EXPECT_EQ(Raised([&] { tb.CreateTable(); }), "tb: ftAutoInc is not a supported field type.");
  EXPECT_FALSE(FileThere("counted.dbf"));
  EXPECT_FALSE(FileThere("counted.adt"));
}

TEST_F(TableCreation, PersistentFieldsDescribeATableWithoutFieldDefs) {
  TAdsTable tb(nullptr);
  tb.SetDatabaseName(QString::fromStdString(Folder()));
  tb.SetTableName("fromfields");
  auto* name = new TStringField(&tb);
  name->SetFieldName("NAME");
  name->SetSize(12);
  name->SetDataSet(&tb);
  auto* qty = new TIntegerField(&tb);
  qty->SetFieldName("QTY");
  qty->SetDataSet(&tb);
  tb.CreateTable();
  tb.Open();
  ASSERT_EQ(tb.ACEFieldDefs().Count(), 2);
  EXPECT_EQ(tb.ACEFieldDefs().Items(0)->FieldName(), "NAME");
  EXPECT_EQ(tb.ACEFieldDefs().Items(0)->Length(), 12u);
  EXPECT_EQ(tb.ACEFieldDefs().Items(1)->FieldType(), 11);
}

TEST_F(TableCreation, RenamingNeedsADictionaryAndKeepsTheTable) {
  TAdsTable free(nullptr);
  free.SetName("tb");
  free.SetDatabaseName(QString::fromStdString(Folder()));
  free.SetTableName("people");
  testenv::TempDir traceDir;
  {
    EngineTrace trace((traceDir.path() / "trace.txt").string());
    EXPECT_EQ(Raised([&] { free.RenameTable("crew"); }),
              "tb: The method RenameTable in TAdsDataSet is not supported on free tables.");
    EXPECT_TRUE(trace.Lines().empty()) << "the engine is not asked";
  }
  EXPECT_EQ(free.TableName(), "people");

  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con_);
  tb.SetTableName("people");
  con_.Connect();
  tb.RenameTable("crew");
  EXPECT_EQ(tb.TableName(), "crew");
  EXPECT_FALSE(tb.Active());
  tb.Open();
  EXPECT_EQ(tb.RecordCount(), 3);
  EXPECT_EQ(Raised([&] { tb.RenameTable("again"); }), "Cannot perform this operation on an open dataset");
}

TEST_F(TableCreation, RestructuringKeepsEveryRecordAndValueOfTheKeptFields) {
  ADSHANDLE folder = ConnectFolder(Folder());
  ADSHANDLE t = CreateTable(folder, "stock", "CODE,Char,6;NAME,Char,20;QTY,Integer;PRICE,Double,2;NOTE,Memo;D,Date;");
  QByteArray tag("BYCODE"), expr("CODE");
  ADSHANDLE order = 0;
  ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(tag), A(expr), nullptr, nullptr, 2, 512, nullptr, &order), 0u) << LastError();
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    SetString(t, "CODE", QStringLiteral("C%1").arg(40 - i, 3, 10, QLatin1Char('0')));
    SetString(t, "NAME", QStringLiteral("item %1").arg(i));
    SetLong(t, "QTY", i * 7);
    QByteArray price("PRICE");
    ASSERT_EQ(AdsSetDouble(t, A(price), i + 0.25), 0u);
    if (i % 3 == 0) SetString(t, "NOTE", QStringLiteral("note %1 ").arg(i).repeated(50));
    QByteArray d("D"), date(QStringLiteral("2024%1%2").arg(1 + i % 12, 2, 10, QLatin1Char('0')).arg(1 + i % 28, 2, 10, QLatin1Char('0')).toLatin1());
    DOUBLE julian = 0;
    ASSERT_EQ(AdsConvertStringToJulian(A(date), 8, &julian), 0u);
    ASSERT_EQ(AdsSetJulian(t, A(d), static_cast<SIGNED32>(julian)), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
  }
  ASSERT_EQ(AdsDeleteRecord(t), 0u) << "the last record is deleted and must stay so";
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(folder), 0u);
  const auto before = Records("stock");
  ASSERT_EQ(before.size(), 40u);
  ASSERT_EQ(before.back().at("<deleted>"), "1");

  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetDatabaseName(QString::fromStdString(Folder()));
  tb.SetTableName("stock");
  tb.Restructure("EXTRA,Char,5;", "PRICE;", "NAME,TITLE,Char,30;");
  const auto after = Records("stock");
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    for (const char* kept : {"CODE", "QTY", "NOTE", "D", "<deleted>"})
      EXPECT_EQ(after[i].at(kept), before[i].at(kept)) << i << kept;
    EXPECT_EQ(after[i].at("TITLE"), before[i].at("NAME")) << i;
    EXPECT_EQ(after[i].count("PRICE"), 0u);
    EXPECT_EQ(after[i].at("EXTRA"), "") << i;
  }
  const acetest::ToolRun verify = acetest::Aceadmin("verify " + acetest::Q(Folder()) + " stock");
  EXPECT_EQ(verify.status, 0) << verify.output;
  const acetest::ToolRun verifyIndex = acetest::Aceadmin("verify-index " + acetest::Q(Folder()) + " stock");
  EXPECT_EQ(verifyIndex.status, 0) << verifyIndex.output;

  // Failures change nothing: the table keeps its fields and records, byte for byte.
  auto bytes = [&] {
    QFile f(QString::fromStdString((dir_.path() / "stock.adt").string()));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  };
  const QByteArray image = bytes();
  struct Failure {
    const char* add;
    const char* remove;
    const char* change;
  } failures[] = {
      {"", "NOSUCH;", ""},
      {"BAD,Nonsense,3;", "", ""},
      {"", "", "NOSUCH,OTHER;"},
      {"CODE,Char,4;", "", ""},
  };
  for (const Failure& f : failures) {
    EXPECT_THROW(tb.Restructure(f.add, f.remove, f.change), EADSDatabaseError) << f.add << f.remove << f.change;
    EXPECT_EQ(bytes(), image) << f.add << f.remove << f.change;
  }
  EXPECT_EQ(Records("stock"), after);
  // A change of a key field: the index follows the new keys.
  tb.Restructure("", "", "CODE,Char,3;");
  const acetest::ToolRun keys = acetest::Aceadmin("verify-index " + acetest::Q(Folder()) + " stock");
  EXPECT_EQ(keys.status, 0) << keys.output;
  const auto shortened = Records("stock");
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(shortened[i].at("CODE"), after[i].at("CODE").substr(0, 3)) << i;
}

TEST_F(TableCreation, RestructureRefusesWhatItCannotDo) {
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  EXPECT_EQ(Raised([&] { tb.Restructure("X,Char,1;", "", ""); }), "tb: Missing TableName property");
  tb.SetTableName("people");
  EXPECT_EQ(Raised([&] { tb.Restructure("X,Char,1;", "", ""); }),
            "tb: One of the DatabaseName property or the AdsConnection property must have a value.");
  tb.SetAdsConnection(&con_);
  tb.Open();
  EXPECT_EQ(Raised([&] { tb.Restructure("X,Char,1;", "", ""); }),
            "tb: Cannot perform this operation on an open dataset");
  tb.Close();
  tb.Restructure("X,Char,1;", "", "");
  tb.Open();
  EXPECT_NE(tb.FindField("X"), nullptr) << "a dictionary table is restructured by its name";
  EXPECT_EQ(tb.RecordCount(), 3);
}

// The table type an alias names, directly or through the connection, is the one the table is
// created, opened and written with: a DBF table beside it, never a native one.
TEST_F(TableCreation, TheTableTypeOfAnAliasIsTheOneTheTableIsMadeAndOpenedWith) {
  testenv::TempDir ini;
  {
    std::ofstream out(ini.path() / "ads.ini");
    out << "[Databases]\r\ncdxdata=" << Folder() << ";CDX\r\nntxdata=" << Folder() << ";N\r\n";
  }
  setenv("adsini_path", ini.str().c_str(), 1);
  const struct {
    const char* table;
    bool throughConnection;
    const char* alias;
    TAdsTableTypes type;
    UNSIGNED16 engineType;
    const char* beside;  // the file the table's type puts beside it
  } cases[] = {
      {"viaalias", false, "cdxdata", ttAdsCDX, ADS_CDX, "viaalias.cdx"},
      {"viaconnection", true, "ntxdata", ttAdsNTX, ADS_NTX, "viaconnection.dbt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    TAdsConnection con(nullptr);
    TAdsTable tb(nullptr);
    tb.SetName("tb");
    if (c.throughConnection) {
      con.SetLoginPrompt(false);
      con.SetAliasName(c.alias);
      tb.SetAdsConnection(&con);
    } else {
      tb.SetDatabaseName(c.alias);
    }
    tb.SetTableName(c.table);
    EXPECT_EQ(tb.TableType(), c.type);
    tb.FieldDefs().Add("NAME", ftString, 10);
    tb.FieldDefs().Add("NOTE", ftMemo);
    tb.IndexDefs().Add("BYNAME", "NAME", TIndexOptions());
    tb.CreateTable();
    EXPECT_TRUE(FileThere(std::string(c.table) + ".dbf"));
    EXPECT_TRUE(FileThere(c.beside));
    EXPECT_FALSE(FileThere(std::string(c.table) + ".adt"));

    tb.FieldDefs().Clear();
    tb.Open();
    UNSIGNED16 engineType = 0;
    ASSERT_EQ(AdsGetTableType(tb.Handle(), &engineType), 0u);
    EXPECT_EQ(engineType, c.engineType);
    tb.Append();
    tb.FieldByName("NAME")->SetAsString("Aurora");
    tb.FieldByName("NOTE")->SetAsString("a note");
    tb.Post();
    tb.Close();
    tb.Open();
    EXPECT_EQ(tb.RecordCount(), 1);
    EXPECT_EQ(tb.FieldByName("NOTE")->AsString(), "a note");
    tb.Close();
  }
  unsetenv("adsini_path");
}
