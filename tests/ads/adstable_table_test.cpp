// The table component on real dictionaries and folders: the reindex run's open (dictionary name,
// table type 0, exclusive option) seen in the call trace, the open option bits, the closed-only
// properties, the table-type rules and the table file's existence.
#include <gtest/gtest.h>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

class AdsTableOnDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    dictionary_ = (dir_.path() / "DB.add").string();
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    ADSHANDLE dd = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &dd), 0u) << LastError();
    ADSHANDLE folder = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(folder, "people", "NAME,Char,10;AGE,Integer;");
    AppendNamedRows(t, "NAME", {"cy", "ann", "bob"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ASSERT_EQ(AdsDisconnect(folder), 0u);
    QByteArray name("people");
    QByteArray file("people.adt");
    ASSERT_EQ(AdsDDAddTable(dd, A(name), A(file), 3, 1, nullptr, nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }

  void Configure(TAdsConnection& con) {
    con.SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
    con.SetLoginPrompt(false);
    con.SetUsername("adssys");
    con.SetConnectPath(QString::fromStdString(dictionary_));
  }

  testenv::TempDir dir_;
  std::string dictionary_;
};

std::vector<std::string> OpenCalls(const std::vector<std::string>& lines) {
  std::vector<std::string> opens;
  for (const std::string& l : lines)
    if (l.rfind("AdsOpenTable90(", 0) == 0) opens.push_back(l);
  return opens;
}

}  // namespace

TEST_F(AdsTableOnDictionary, ExclusiveOpenUsesTheDictionaryNameTypeZeroAndOptionOne) {
  testenv::TempDir traceDir;
  EngineTrace trace((traceDir.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  tb.SetExclusive(true);
  tb.SetTableName("people");
  const size_t mark = trace.Mark();
  tb.Open();
  ASSERT_TRUE(tb.Active());
  const std::vector<std::string> opens = OpenCalls(trace.Since(mark));
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_NE(opens[0].find("pucName=\"people\""), std::string::npos) << opens[0];
  EXPECT_NE(opens[0].find("usTableType=0,"), std::string::npos) << opens[0];
  EXPECT_NE(opens[0].find("ulOptions=1,"), std::string::npos) << opens[0];
  EXPECT_EQ(opens[0].find(dir_.str()), std::string::npos) << "no path on a dictionary connection: " << opens[0];
  tb.AdsReindex();
  QStringList names;
  for (tb.First(); !tb.Eof(); tb.Next()) names << tb.FieldByName("NAME")->AsString();
  EXPECT_EQ(names.size(), 3);
  tb.Close();
  EXPECT_FALSE(tb.Active());
  EXPECT_EQ(tb.TableType(), ttAdsADT);
  tb.SetAdsConnection(nullptr);
}

TEST_F(AdsTableOnDictionary, ExclusiveAssignmentIsRefusedWhileOpen) {
  TAdsConnection con(nullptr);
  Configure(con);
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  tb.SetExclusive(true);
  tb.SetTableName("people");
  tb.Open();
  try {
    tb.SetExclusive(true);
    FAIL() << "no refusal";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Cannot perform this operation on an open dataset");
  }
  EXPECT_THROW(tb.SetTableName("other"), EADSDatabaseError);
  EXPECT_THROW(tb.SetTableType(ttAdsCDX), EADSDatabaseError);
  EXPECT_THROW(tb.SetIndexCollationMismatch(icmIgnore), EADSDatabaseError);
  tb.Close();
  tb.SetAdsConnection(nullptr);
}

TEST_F(AdsTableOnDictionary, AMissingTableNameOrDatabaseIsRefusedBeforeTheEngine) {
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  try {
    tb.Open();
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Missing TableName property");
  }
  tb.SetTableName("people");
  try {
    tb.Open();
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: One of the DatabaseName property or the AdsConnection property must have a value.");
  }
  EXPECT_FALSE(tb.Active());
}

TEST(AdsTableOptions, OpenOptionBitsFollowTheSettings) {
  struct Case {
    bool exclusive, readOnly, connectionReadOnly;
    TIndexCollationMismatchOptions mismatch;
    TAdsTableCachingOption caching;
    uint32_t expected;
  };
  const Case cases[] = {
      {true, true, false, icmError, tcNone, 0x3},          {true, false, false, icmError, tcNone, 0x1},
      {false, true, false, icmError, tcNone, 0x2},         {false, false, false, icmError, tcNone, 0x0},
      {true, false, true, icmError, tcNone, 0x3},          {false, false, false, icmIgnore, tcNone, 0x200},
      {false, false, false, icmReindex, tcNone, 0x100},    {false, false, false, icmError, tcReads, 0x20000000},
      {true, false, false, icmReindex, tcWrites, 0x40000101},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TableOpenOptions(c.exclusive, c.readOnly, c.connectionReadOnly, c.mismatch, c.caching), c.expected)
        << c.exclusive << c.readOnly << c.connectionReadOnly << c.mismatch << c.caching;
}

TEST(AdsTableTypes, EngineCodesOfTableTypes) {
  EXPECT_EQ(TableTypeOfEngineCode(2), ttAdsCDX);
  EXPECT_EQ(TableTypeOfEngineCode(1), ttAdsNTX);
  EXPECT_EQ(TableTypeOfEngineCode(4), ttAdsVFP);
  EXPECT_EQ(TableTypeOfEngineCode(3), ttAdsADT);
  EXPECT_EQ(TableTypeOfEngineCode(0), ttAdsADT);
}

TEST(AdsTableFiles, TableNameChangesClearIndexFilesAndExistsTestsTheRightFile) {
  testenv::TempDir dir;
  TAdsTable tb(nullptr);
  tb.SetDatabaseName(QString::fromStdString(dir.str()));
  tb.SetTableName("orders");
  tb.IndexFiles()->Add("extra.cdx");
  tb.SetTableName("orders");
  EXPECT_EQ(tb.IndexFiles()->Count(), 1) << "the same name keeps the list";
  tb.SetTableName("ORDERS");
  EXPECT_EQ(tb.IndexFiles()->Count(), 0) << "a change of letter case clears it";

  EXPECT_FALSE(tb.Exists());
  { std::ofstream(dir.path() / "orders.adt") << "x"; }
  EXPECT_TRUE(tb.Exists()) << tb.TablePathWithExtension().toStdString();
  tb.SetTableType(ttAdsCDX);
  EXPECT_TRUE(tb.TablePathWithExtension().endsWith("\\ORDERS.dbf"));
  tb.SetTableName("orders.adt");
  EXPECT_TRUE(tb.TablePathWithExtension().endsWith("\\orders.adt"));
  TAdsTable empty(nullptr);
  EXPECT_FALSE(empty.Exists());
}

TEST_F(AdsTableOnDictionary, TheReindexRunsRoadListsTablesAndRebuildsEachExclusively) {
  TAdsConnection con(nullptr);
  Configure(con);
  TAdsQuery q(nullptr);
  q.SetName("q");
  q.SetAdsConnection(&con);
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  con.Connect();
  q.SQL()->SetText("select name from system.tables");
  q.Open();
  QStringList seen;
  for (q.First(); !q.Eof(); q.Next()) {
    const QString name = q.FieldByName("Name")->AsString();
    seen << name;
    tb.SetExclusive(true);
    tb.SetTableName(name);
    tb.Open();
    tb.AdsReindex();
    tb.Close();
  }
  q.Close();
  EXPECT_EQ(seen, QStringList({"people"}));
  tb.SetAdsConnection(nullptr);
  q.SetAdsConnection(nullptr);
}
