// The engine calls of the dataset core, read from the engine call trace: opening step by step,
// closing once, the re-read of character fields of OEM tables, bookmark checks and
// comparisons, and moving the engine to the active record.
#include <gtest/gtest.h>

#include <filesystem>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

using Names = std::vector<std::string>;

class AdsDataTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "names", "NAME,Char,6;M,Memo;W,NChar,3;");
    AppendNamedRows(t, "NAME", {"ann", "bob"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ADSHANDLE oem = CreateTable(connection_, "oemnames", "NAME,Char,6;N,Integer;", 2);
    AppendNamedRows(oem, "NAME", {"\xe4rger"});  // stored in code page 437 by the engine
    ASSERT_EQ(AdsCloseTable(oem), 0u);
    ADSHANDLE wide = CreateTable(connection_, "oemwide", "W,NVarChar,4;V,VarChar,3;C,Char,2;NC,NChar,2;I,Integer;", 2);
    AppendNamedRows(wide, "C", {"x"});
    ASSERT_EQ(AdsAppendRecord(wide), 0u);
    std::u16string hi = u"hi";
    QByteArray w("W");
    ASSERT_EQ(AdsSetStringW(wide, A(w), hi.data(), 2), 0u) << LastError();
    SetString(wide, "V", "ab");
    std::u16string ab = u"ab";
    QByteArray nc("NC");
    ASSERT_EQ(AdsSetStringW(wide, A(nc), ab.data(), 2), 0u) << LastError();
    SetLong(wide, "I", 0x01020304);
    ASSERT_EQ(AdsWriteRecord(wide), 0u);
    ASSERT_EQ(AdsCloseTable(wide), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  ADSHANDLE connection_ = 0;
  TAdsConnection con_{nullptr};
};

// The position of the first name equal to name at or after from; -1 when none.
long Find(const Names& names, const std::string& name, long from = 0) {
  for (long i = from; i < static_cast<long>(names.size()); ++i)
    if (names[static_cast<size_t>(i)] == name) return i;
  return -1;
}

}  // namespace

TEST_F(AdsDataTrace, OpeningCallsTheEngineStepByStep) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  con_.Connect();
  const size_t mark = trace_.Mark();
  ds.Open();
  const Names names = EngineTrace::Names(trace_.Since(mark));
  // The handle provider's own calls come first.
  long at = Find(names, "AdsOpenTable90");
  ASSERT_GE(at, 0);
  const std::vector<std::string> steps = {"AdsGetRecordLength", "AdsGetTableOpenOptions", "AdsGetAllIndexes",
                                          "AdsGetBookmarkLength", "AdsGetNumFields",     "AdsGetFieldType",
                                          "AdsGetFieldLength",    "AdsGetFieldName",     "AdsIsNullable",
                                          "AdsGetFieldOffset",    "AdsGetColumnPermissions", "AdsGetBookmarkLength",
                                          "AdsGotoBOF",           "AdsSkip",             "AdsAtEOF"};
  for (const std::string& step : steps) {
    const long next = Find(names, step, at + 1);
    EXPECT_GT(next, at) << step << " after position " << at;
    if (next > at) at = next;
  }
  // The standard record cache makes no call; the table is not a statement, so peeking does not
  // happen for a shared open either.
  EXPECT_EQ(Find(names, "AdsCacheRecords"), -1);
  EXPECT_EQ(Find(names, "AdsSqlPeekStatement"), -1);
  EXPECT_TRUE(ds.Active());
}

TEST_F(AdsDataTrace, RecordCacheOptionsTellTheEngineAtOpenAndWhileOpen) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  ds.AdsTableOptions().SetAdsRecordCache(rcAggressive);
  size_t mark = trace_.Mark();
  ds.Open();
  std::vector<std::string> lines = trace_.Since(mark);
  long at = Find(EngineTrace::Names(lines), "AdsCacheRecords");
  ASSERT_GE(at, 0);
  EXPECT_NE(lines[static_cast<size_t>(at)].find("usNumRecords=100"), std::string::npos) << lines[static_cast<size_t>(at)];
  mark = trace_.Mark();
  ds.AdsTableOptions().SetAdsRecordCache(rcNone);
  lines = trace_.Since(mark);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("AdsCacheRecords(", 0), 0u);
  EXPECT_NE(lines[0].find("usNumRecords=0"), std::string::npos) << lines[0];
  EXPECT_EQ(ds.AdsTableOptions().AdsRecordCache(), rcNone);
}

TEST_F(AdsDataTrace, ClosingTwiceMakesNoSecondCall) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  ds.Open();
  size_t mark = trace_.Mark();
  ds.Close();
  EXPECT_EQ(EngineTrace::Names(trace_.Since(mark)), Names({"AdsCloseTable"}));
  mark = trace_.Mark();
  ds.Close();
  EXPECT_TRUE(trace_.Since(mark).empty());
  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
  EXPECT_EQ(ds.ActiveHandle(), TAdsDataSet::kNoHandle);
}

TEST_F(AdsDataTrace, OemTablesReReadTheirCharacterFieldsOnly) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("oemnames");
  ds.AdsTableOptions().SetAdsCharType(OEM);
  ds.Open();
  EXPECT_EQ(ds.OpenCharType(), 2);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), QString::fromUtf8("\xc3\xa4rger"));
  const size_t mark = trace_.Mark();
  ds.Refresh();
  const std::vector<std::string> lines = trace_.Since(mark);
  const Names names = EngineTrace::Names(lines);
  const long record = Find(names, "AdsGetRecord");
  const long reRead = Find(names, "AdsGetField", record);
  ASSERT_GE(record, 0);
  ASSERT_GT(reRead, record);
  EXPECT_NE(lines[static_cast<size_t>(reRead)].find("usOption=0"), std::string::npos) << lines[static_cast<size_t>(reRead)];
  // One re-read per record: the integer field is not asked.
  long count = 0;
  for (const std::string& n : names) count += n == "AdsGetField";
  EXPECT_EQ(count, 1);
}

// A field without a value is not read again: the engine's text for it would give it one.
TEST_F(AdsDataTrace, OemTablesKeepFieldsWithoutAValueWithoutOne) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("oemwide");
  ds.AdsTableOptions().SetAdsCharType(OEM);
  ds.Open();
  ds.First();
  EXPECT_EQ(ds.FieldByName("C")->AsString(), "x");
  EXPECT_TRUE(ds.FieldByName("W")->IsNull());
  EXPECT_TRUE(ds.FieldByName("NC")->IsNull());
  ds.Next();
  EXPECT_EQ(ds.FieldByName("W")->AsString(), "hi");
  EXPECT_TRUE(ds.FieldByName("C")->IsNull());
  ds.Close();
}

// A DBF record ends with its last field. When that field is a character field of an OEM table,
// an edit reads it again through the engine like every other one, so that the edit starts from
// its translated text; what is posted from it reads back the same through another open.
TEST_F(AdsDataTrace, OemEditsReReadTheCharacterFieldThatEndsTheRecord) {
  const QString stored = QStringLiteral("\u00e4rger");
  struct Case {
    TAdsTableTypes component;
    UNSIGNED16 engine;
    const char* fields;
    const char* field;  // the field's number in the trace
  };
  for (const Case& c : {Case{ttAdsCDX, 2, "N,Numeric,4,0;NAME,Char,7;", "#2"}, Case{ttAdsNTX, 1, "NAME,Char,7;", "#1"}}) {
    SCOPED_TRACE(c.fields);
    std::filesystem::remove(dir_.path() / "oemlast.dbf");
    QByteArray name("oemlast.dbf"), fields(c.fields);
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(connection_, A(name), nullptr, c.engine, 2, 1, 1, 0, A(fields), 0, nullptr, &t), 0u)
        << LastError();
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    SetString(t, "NAME", stored);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    for (int pass = 0; pass < 2; ++pass) {
      TAdsTable tb(nullptr);
      tb.SetName("tb");
      tb.SetAdsConnection(&con_);
      tb.SetTableType(c.component);
      tb.SetTableName("oemlast.dbf");
      tb.AdsTableOptions().SetAdsCharType(OEM);
      tb.Open();
      TField* f = tb.FieldByName("NAME");
      if (pass == 1) {
        EXPECT_EQ(f->AsString(), stored + "x");
        break;
      }
      const size_t mark = trace_.Mark();
      tb.Edit();
      const std::vector<std::string> lines = trace_.Since(mark);
      const Names names = EngineTrace::Names(lines);
      const long record = Find(names, "AdsGetRecord");
      ASSERT_GE(record, 0);
      const long reRead = Find(names, "AdsGetField", record);
      ASSERT_GT(reRead, record) << "the edit does not read the field again";
      EXPECT_NE(lines[static_cast<size_t>(reRead)].find("pucFldName=" + std::string(c.field)), std::string::npos)
          << lines[static_cast<size_t>(reRead)];
      EXPECT_EQ(f->AsString(), stored);
      f->SetAsString(f->AsString() + "x");
      tb.Post();
    }
  }
}

TEST_F(AdsDataTrace, AnsiTablesReadRecordsWholeAndAskOnlyForBlobMarkers) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  ds.Open();
  const size_t mark = trace_.Mark();
  ds.Refresh();
  const Names names = EngineTrace::Names(trace_.Since(mark));
  EXPECT_EQ(Find(names, "AdsGetField"), -1);
  EXPECT_EQ(Find(names, "AdsGetFieldW"), -1);
  const long record = Find(names, "AdsGetRecord");
  ASSERT_GE(record, 0);
  EXPECT_EQ(Find(names, "AdsIsEmpty", record), Find(names, "AdsIsNull", record) - 1);
}

TEST_F(AdsDataTrace, BookmarkChecksAndComparisons) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  ds.Open();
  const TBookmark first = ds.GetBookmark();
  ds.Next();
  const TBookmark second = ds.GetBookmark();

  size_t mark = trace_.Mark();
  EXPECT_EQ(ds.CompareBookmarks(TBookmark(), TBookmark()), 0);
  EXPECT_EQ(ds.CompareBookmarks(first, TBookmark()), -1);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark(), first), 1);
  EXPECT_FALSE(ds.BookmarkValid(TBookmark()));
  EXPECT_TRUE(trace_.Since(mark).empty()) << "absent bookmarks need no engine call";

  mark = trace_.Mark();
  EXPECT_LT(ds.CompareBookmarks(first, second), 0);
  EXPECT_EQ(EngineTrace::Names(trace_.Since(mark)), Names({"AdsCompareBookmarks"}));

  mark = trace_.Mark();
  EXPECT_TRUE(ds.BookmarkValid(first));
  EXPECT_EQ(EngineTrace::Names(trace_.Since(mark)), Names({"AdsGotoBookmark", "AdsAtEOF"}));
  // The engine moved behind the framework's back: the next buffer operation repositions.
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  ds.Prior();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "ann");

  // A record number beyond the table is no valid bookmark, and no exception either.
  TBookmark bogus = first;
  const uint32_t far = 999;
  std::memcpy(bogus.data(), &far, 4);
  EXPECT_FALSE(ds.BookmarkValid(bogus));
}

TEST_F(AdsDataTrace, AdsActiveRecordReadsTheEnginesBookmarkThenMovesToTheActiveRecord) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("names");
  ds.Open();
  ds.Next();
  const size_t mark = trace_.Mark();
  const uint32_t engineBookmark = ds.AdsActiveRecord();
  const std::vector<std::string> lines = trace_.Since(mark);
  ASSERT_EQ(EngineTrace::Names(lines), Names({"AdsGetBookmark", "AdsGotoRecord"}));
  EXPECT_NE(lines[1].find("ulRec=2"), std::string::npos) << lines[1];
  EXPECT_NE(engineBookmark, 0u);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
}

TEST_F(AdsDataTrace, OemReReadsKeepTheLengthsAndFieldsAfterEachValue) {
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con_);
  ds.SetTableName("oemwide");
  ds.AdsTableOptions().SetAdsCharType(OEM);
  ds.Open();
  // Row 1: the variable fields hold no value; the engine's terminators written after the
  // re-read values must not turn their stored lengths into values.
  EXPECT_TRUE(ds.FieldByName("W")->IsNull());
  EXPECT_TRUE(ds.FieldByName("V")->IsNull());
  EXPECT_EQ(ds.FieldByName("C")->AsString(), "x");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("W")->AsString(), "hi");
  EXPECT_EQ(ds.FieldByName("V")->AsString(), "ab");
  EXPECT_TRUE(ds.FieldByName("C")->IsNull());
  // The national string fills its field: both bytes of the wide terminator land in the next
  // field and are put back.
  EXPECT_EQ(ds.FieldByName("NC")->AsString(), "ab");
  EXPECT_EQ(ds.FieldByName("I")->AsInteger(), 0x01020304);
}
