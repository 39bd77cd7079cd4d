// The table component on real dictionaries and folders: the reindex run's open (dictionary name,
// table type 0, exclusive option) seen in the call trace, the open option bits, the closed-only
// properties, the table-type rules, the table file's existence, and the reindex run's loop with a table
// that another process holds.
#include <gtest/gtest.h>

#include <functional>

#include "ads/adstable.h"
#include "adstable_dictionary.h"
#include "other_user.h"
#include "runtime/data/data_source.h"

using namespace adsdata_test;

namespace {

using AdsTableOnDictionary = PeopleDictionary;

std::vector<std::string> CallsOf(const std::vector<std::string>& lines, const std::string& entryPoint) {
  std::vector<std::string> calls;
  for (const std::string& l : lines)
    if (l.rfind(entryPoint + "(", 0) == 0) calls.push_back(l);
  return calls;
}

std::vector<std::string> OpenCalls(const std::vector<std::string>& lines) { return CallsOf(lines, "AdsOpenTable90"); }

QStringList Walk(TAdsDataSet& d, const char* field = "NAME") {
  QStringList names;
  for (d.First(); !d.Eof(); d.Next()) names << d.FieldByName(field)->AsString();
  return names;
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

namespace {

// The dictionary of the fixture with two more tables, so a run has neighbours on both sides of
// "people"; "people" has the order BYNAME, which the dictionary names as its default index.
class AdsTableRun : public PeopleDictionary {
 protected:
  void PreparePeople(ADSHANDLE folder) override {
    QByteArray name("people"), tag("BYNAME"), expr("NAME");
    ADSHANDLE t = 0, order = 0;
    ASSERT_EQ(AdsOpenTable90(folder, A(name), nullptr, 3, 1, 1, 1, 1, nullptr, &t), 0u) << LastError();
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(tag), A(expr), nullptr, nullptr, 2, 512, nullptr, &order), 0u)
        << LastError();
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }

  void SetUp() override {
    PeopleDictionary::SetUp();
    AddTables({"cargo", "ships"});
    ADSHANDLE dd = ConnectDictionary();
    QByteArray name("people"), index("BYNAME");
    ASSERT_EQ(AdsDDSetTableProperty(dd, A(name), ADS_DD_TABLE_DEFAULT_INDEX, index.data(),
                                    static_cast<UNSIGNED16>(index.size())),
              0u)
        << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }

  // The tool's loop over "select name from system.tables": one line per table, "ok" or the
  // message of what failed.
  QStringList RunLikeTheTool(TAdsConnection& con, TAdsTable& tb,
                             const std::function<void(TAdsTable&)>& betweenOpenAndClose = nullptr) {
    TAdsQuery q(nullptr);
    q.SetName("q");
    q.SetAdsConnection(&con);
    q.SQL()->SetText("select name from system.tables");
    q.Open();
    QStringList log;
    for (q.First(); !q.Eof(); q.Next()) {
      const QString name = q.FieldByName("Name")->AsString();
      try {
        tb.SetExclusive(true);
        tb.SetTableName(name);
        tb.Open();
        if (betweenOpenAndClose) betweenOpenAndClose(tb);
        tb.AdsReindex();
        tb.Close();
        log << name + ": ok";
      } catch (const Exception& e) {
        log << name + ": " + e.Message();
      }
    }
    q.Close();
    q.SetAdsConnection(nullptr);
    return log;
  }
};

}  // namespace

// The tool's whole road on a dictionary, seen through the call trace: the table list from
// "select name from system.tables", and for each name an exclusive open by its dictionary name
// (table type 0, options 1) along the dictionary's default order when it names one, a rebuild
// of the indexes, and the close.
TEST_F(AdsTableRun, TheReindexRunsRoadOpensEachTableExclusivelyAlongItsDefaultOrder) {
  testenv::TempDir traceDir;
  EngineTrace trace((traceDir.path() / "trace.txt").string());
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
  struct Visit {
    QString name, indexName;
    QStringList rows, rowsAfterReindex;
    std::vector<std::string> calls;
  };
  std::vector<Visit> visits;
  for (q.First(); !q.Eof(); q.Next()) {
    Visit v;
    v.name = q.FieldByName("Name")->AsString();
    tb.SetExclusive(true);
    tb.SetTableName(v.name);
    const size_t mark = trace.Mark();
    tb.Open();
    v.indexName = tb.IndexName();
    v.rows = Walk(tb);
    tb.AdsReindex();
    v.rowsAfterReindex = Walk(tb);
    tb.Close();
    v.calls = trace.Since(mark);
    visits.push_back(v);
  }
  q.Close();

  struct Expected {
    const char* name;
    const char* defaultOrder;  // "" when the dictionary names none
    QStringList rows;
  };
  const Expected expected[] = {
      {"cargo", "", {"a", "b"}},
      {"people", "BYNAME", {"ann", "bob", "cy"}},  // natural order would be cy, ann, bob
      {"ships", "", {"a", "b"}},
  };
  ASSERT_EQ(visits.size(), std::size(expected));
  for (size_t i = 0; i < visits.size(); ++i) {
    const Visit& v = visits[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(v.name, e.name);
    const std::vector<std::string> opens = CallsOf(v.calls, "AdsOpenTable90");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_NE(opens[0].find(std::string("pucName=\"") + e.name + "\""), std::string::npos) << opens[0];
    EXPECT_NE(opens[0].find("usTableType=0,"), std::string::npos) << opens[0];
    EXPECT_NE(opens[0].find("ulOptions=1,"), std::string::npos) << opens[0];
    EXPECT_EQ(opens[0].find(dir_.str()), std::string::npos) << "no path on a dictionary connection";
    EXPECT_EQ(CallsOf(v.calls, "AdsReindex61").size(), 1u);
    const std::vector<std::string> orders = CallsOf(v.calls, "AdsGetIndexHandle");
    if (*e.defaultOrder != '\0') {
      EXPECT_EQ(v.indexName, "ADS_DEFAULT");
      ASSERT_EQ(orders.size(), 1u) << "the default order is chosen once, at the open";
      EXPECT_NE(orders[0].find(std::string("pucIndexOrder=\"") + e.defaultOrder + "\""), std::string::npos)
          << orders[0];
    } else {
      EXPECT_EQ(v.indexName, "");
      EXPECT_TRUE(orders.empty()) << orders[0];
    }
    EXPECT_EQ(v.rows, e.rows);
    EXPECT_EQ(v.rowsAfterReindex, e.rows) << "the rebuild keeps the order the table was opened along";
  }
  tb.SetAdsConnection(nullptr);
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsTableRun, TheDefaultIndexFollowsTheTableName) {
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  struct Step {
    const char* tableName;
    const char* defaultIndex;
    const char* indexName;
    QStringList indexNames;
  };
  const Step steps[] = {
      {"people", "BYNAME", "ADS_DEFAULT", {"BYNAME", "ADS_DEFAULT"}},
      {"cargo", "", "", {}},
      {"people", "BYNAME", "ADS_DEFAULT", {"BYNAME", "ADS_DEFAULT"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.tableName);
    tb.SetTableName(s.tableName);
    EXPECT_EQ(tb.DefaultIndex(), s.defaultIndex);
    EXPECT_EQ(tb.IndexName(), s.indexName);
    TStringList names;
    tb.GetIndexNames(&names);
    EXPECT_EQ(names.ToQStringList(), s.indexNames);
  }
  // Written in any letter case, the name selects the default order.
  tb.SetIndexName("ads_default");
  tb.Open();
  EXPECT_EQ(Walk(tb), QStringList({"ann", "bob", "cy"}));
  tb.Close();
  tb.SetAdsConnection(nullptr);
}

TEST_F(AdsTableRun, ATableHeldByAnotherProcessFailsItsExclusiveOpenWithTheEnginesText) {
  OtherUser other((dir_.path() / "people.adt").string());
  ASSERT_EQ(other.result(), 0u);
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  const QStringList log = RunLikeTheTool(con, tb);
  ASSERT_EQ(log.size(), 3) << log.join("\n").toStdString();
  // The message is the component's name and the engine's own text of the refusal.
  UNSIGNED32 code = 0;
  QByteArray attempt = "people";
  ADSHANDLE h = 0;
  EXPECT_NE(AdsOpenTable90(con.ConnectionHandle(), A(attempt), nullptr, 0, 1, 1, 1, 1, nullptr, &h), 0u);
  UNSIGNED8 text[601] = {};
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, text, &len);
  const QString engineText = FromAnsi(reinterpret_cast<const char*>(text));
  EXPECT_FALSE(engineText.isEmpty());
  EXPECT_TRUE(log.contains("people: tb: " + engineText)) << log.join("\n").toStdString();
  EXPECT_TRUE(log.contains("cargo: ok")) << log.join("\n").toStdString();
  EXPECT_TRUE(log.contains("ships: ok")) << log.join("\n").toStdString();
  EXPECT_FALSE(tb.Active());
  EXPECT_EQ(tb.Handle(), TAdsDataSet::kNoHandle) << "a refused open holds no handle";
  tb.SetAdsConnection(nullptr);
}

TEST_F(AdsTableRun, AFailureBetweenOpenAndCloseLeavesTheTableOpenForTheNextAssignment) {
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  bool failedOnce = false;
  const QStringList log = RunLikeTheTool(con, tb, [&](TAdsTable& t) {
    if (!failedOnce) {
      failedOnce = true;
      t.FieldByName("NO_SUCH_FIELD");
    }
  });
  ASSERT_EQ(log.size(), 3) << log.join("\n").toStdString();
  EXPECT_FALSE(log[0].endsWith(": ok")) << log[0].toStdString();
  for (int i = 1; i < 3; ++i)
    EXPECT_TRUE(log[i].endsWith(": tb: Cannot perform this operation on an open dataset")) << log[i].toStdString();
  EXPECT_TRUE(tb.Active()) << "the table of the first failure is still open";
  tb.Close();
  tb.SetAdsConnection(nullptr);
}

namespace {

// Opens the master-range operation to the tests.
class MasterRangeTable : public TAdsTable {
 public:
  using TAdsTable::ApplyMasterRange;
  using TAdsTable::TAdsTable;
};

}  // namespace

// The provider's default order and a detail's link fields on a table opened along the
// dictionary's default index ("ADS_DEFAULT" names no index definition of its own).
TEST_F(AdsTableRun, TheDefaultIndexIsTheDefaultOrderAndGivesTheDetailLinkFields) {
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable master(nullptr), tb(nullptr);
  master.SetName("master");
  master.SetAdsConnection(&con);
  master.SetTableName("cargo");
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  tb.SetTableName("people");
  ASSERT_EQ(tb.IndexName(), "ADS_DEFAULT");
  tb.Open();
  std::unique_ptr<TIndexDef> order = tb.PSGetDefaultOrder();
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->Name(), "BYNAME");
  EXPECT_EQ(order->Fields(), "NAME");
  tb.Close();

  TDataSource source(nullptr);
  source.SetDataSet(&master);
  tb.SetMasterSource(&source);
  tb.SetMasterFields("NAME");
  EXPECT_EQ(tb.MasterSource(), &source);
  EXPECT_EQ(tb.MasterFields(), "NAME");
  master.Open();
  tb.Open();
  EXPECT_EQ(Walk(tb), QStringList()) << "cargo's first NAME, \"a\", is in no row of people";
  std::vector<TField*> masterFields, detailFields;
  tb.GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master.FieldByName("NAME"));
  ASSERT_EQ(detailFields.size(), 1u);
  EXPECT_EQ(detailFields[0], tb.FieldByName("NAME"));
  EXPECT_THROW(master.SetMasterSource(&source), EDatabaseError) << "a dataset cannot follow itself";
  tb.Close();
  master.Close();
  tb.SetMasterSource(nullptr);
  tb.SetAdsConnection(nullptr);
  master.SetAdsConnection(nullptr);
}

TEST_F(AdsTableRun, ProviderParametersRangeTheTableAlongItsOrder) {
  TAdsConnection con(nullptr);
  Configure(con);
  con.Connect();
  TAdsTable tb(nullptr);
  tb.SetName("tb");
  tb.SetAdsConnection(&con);
  tb.SetTableName("people");
  const struct {
    const char* name;  // "" for an unnamed parameter, the index field at its position
    const char* value;
    QStringList rows;
  } cases[] = {
      {"", "bob", {"bob"}},
      {"NAME", "ann", {"ann"}},
      {nullptr, nullptr, {"ann", "bob", "cy"}},  // no parameter: the range goes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "none");
    TParams params;
    if (c.name != nullptr) params.CreateParam(ftString, QString::fromLatin1(c.name), ptInput)->SetAsString(c.value);
    tb.PSSetParams(params);
    EXPECT_TRUE(tb.Active());
    EXPECT_EQ(Walk(tb), c.rows);
  }
  tb.Close();
  TParams none;
  tb.PSSetParams(none);
  EXPECT_FALSE(tb.Active()) << "without parameters a closed table stays closed";
  tb.SetAdsConnection(nullptr);
}

TEST_F(AdsTableRun, RangesOfAClosedTableAreRefusedAndAQueryHasNoDefaultIndex) {
  TAdsConnection con(nullptr);
  Configure(con);
  MasterRangeTable tb(nullptr);
  tb.SetName("tb");
  tb.SetTableName("people");
  for (const auto& operation : std::vector<std::function<void()>>{[&] { tb.CancelRange(); },
                                                                   [&] { tb.ApplyMasterRange(); }}) {
    try {
      operation();
      ADD_FAILURE() << "a closed table took a range operation";
    } catch (const EDatabaseError& e) {
      EXPECT_TRUE(e.Message().contains("closed dataset")) << e.Message().toStdString();
    }
  }

  testenv::TempDir traceDir;
  EngineTrace trace((traceDir.path() / "trace.txt").string());
  TAdsQuery q(nullptr);
  q.SetName("q");
  q.SetAdsConnection(&con);
  con.Connect();  // a dictionary connection refreshes its datasets' default indexes
  EXPECT_TRUE(CallsOf(trace.Lines(), "AdsDDGetTableProperty").empty()) << "a query asks for none";
  EXPECT_EQ(q.IndexName(), "");
  q.SetAdsConnection(nullptr);
}
