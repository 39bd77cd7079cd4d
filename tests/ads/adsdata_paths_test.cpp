// How a dataset finds its database: DatabaseName naming a connection component (through the
// four passes), an alias of the alias file, or a path; the database path; implicit connections
// shared by every dataset of the same path; the listing of table files; and renames of the
// connection component carried over to the datasets that name it.
#include <gtest/gtest.h>

#include <QFile>
#include <fstream>
#include <thread>

#include "adsdata_test_dataset.h"
#include "faulty_engine.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

void WriteFile(const std::filesystem::path& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path.string()));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

std::string Message(const Exception& e) { return e.Message().toStdString(); }

class AdsDataPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "abc", "NAME,Char,6;");
    AppendNamedRows(t, "NAME", {"ann"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ADSHANDLE e = CreateTable(connection_, "Other", "NAME,Char,6;");
    ASSERT_EQ(AdsCloseTable(e), 0u);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  testenv::TempDir dir_;
  ADSHANDLE connection_ = 0;
};

}  // namespace

TEST_F(AdsDataPaths, APathKeepsItsTextWithoutOneTrailingSeparator) {
  struct Row {
    const char* name;
    const char* path;
  };
  const Row rows[] = {{"C:\\data\\", "C:\\data"}, {"C:\\data", "C:\\data"}, {"C:\\", "C:"},
                      {"\\\\srv\\share\\", "\\\\srv\\share"}, {"/", "/"}, {"d/e/", "d/e"},
                      {"relativename", "relativename"}};
  for (const Row& r : rows) {
    TestAdsDataSet ds(nullptr);
    ds.SetDatabaseName(r.name);
    EXPECT_EQ(ds.DatabaseName(), r.name);
    EXPECT_EQ(ds.GetDatabasePath(), r.path) << r.name;
    EXPECT_EQ(ds.TableType(), ttAdsADT);
  }
}

TEST_F(AdsDataPaths, DatasetsWhosePathsDifferInCaseShareOneImplicitConnection) {
  const QString lower = QString::fromStdString(dir_.str());
  QString upper = lower;
  // Change the case of the last folder's letters: the host finds it ignoring case.
  const qsizetype cut = upper.lastIndexOf('/');
  upper = upper.left(cut) + upper.mid(cut).toUpper();
  ASSERT_NE(upper, lower);
  const int before = TDynamicConnList::Instance().Count();
  TestAdsDataSet a(nullptr), b(nullptr);
  a.SetDatabaseName(lower + "/");
  a.SetTableName("abc");
  b.SetDatabaseName(upper);
  b.SetTableName("abc");
  a.Open();
  b.Open();
  EXPECT_EQ(a.FieldByName("NAME")->AsString(), "ann");
  EXPECT_EQ(b.FieldByName("NAME")->AsString(), "ann");
  EXPECT_EQ(TDynamicConnList::Instance().Count(), before + 1);
  EXPECT_EQ(a.GetAceConnectionHandle(), b.GetAceConnectionHandle());
  EXPECT_EQ(a.ConnectAndGetHandle(), TDynamicConnList::Instance().FindSameDatabasename(lower));
  // Closing and freeing datasets leaves the implicit connection open.
  a.Close();
  b.Close();
  EXPECT_EQ(TDynamicConnList::Instance().Count(), before + 1);
  EXPECT_NE(TDynamicConnList::Instance().FindSameDatabasename(upper), 0u);
}

TEST_F(AdsDataPaths, ABareDriveConnectsToItsRootFolder) {
  TestAdsDataSet ds(nullptr);
  ds.SetDatabaseName("C:\\");
  EXPECT_EQ(ds.GetDatabasePath(), "C:");
  const uint32_t handle = ds.ConnectAndGetHandle();
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(TDynamicConnList::Instance().FindSameDatabasename("c:\\"), handle);
  EXPECT_EQ(ds.ConnectAndGetHandle(), handle);
}

TEST_F(AdsDataPaths, AFailedImplicitConnectRaisesTheEngineErrorAndAddsNothing) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  ds.SetDatabaseName("/nonexistent/folder/of/tables");
  const int before = TDynamicConnList::Instance().Count();
  try {
    ds.ConnectAndGetHandle();
    FAIL() << "connected to a missing folder";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
    EXPECT_NE(e.ACEErrorCode(), 5121u);
    EXPECT_FALSE(e.Message().startsWith("tb: ")) << "the list reports without the dataset: " << Message(e);
  }
  EXPECT_EQ(TDynamicConnList::Instance().Count(), before);
}

TEST_F(AdsDataPaths, ConnectionComponentsAreFoundInFourPasses) {
  TComponent form(nullptr), other(nullptr);
  form.SetName("form");
  other.SetName("other");
  // Registered first, but of another owner and created on another thread.
  std::unique_ptr<TAdsConnection> foreign;
  std::thread([&] { foreign = std::make_unique<TAdsConnection>(nullptr); }).join();
  foreign->SetName("shared");
  TAdsConnection elsewhere(&other);
  elsewhere.SetName("shared");
  TAdsConnection mine(&form);
  mine.SetName("Shared");
  TAdsConnection only(&other);
  only.SetName("onlycon");

  struct Row {
    TComponent* owner;
    const char* name;
    TAdsConnection* expected;
  };
  const Row rows[] = {
      {&form, "SHARED", &mine},           // pass 1: same owner, this thread
      {nullptr, "shared", &elsewhere},    // pass 2: this thread (first in the registry)
      {&other, "shared", &elsewhere},     // pass 1 again
      {&form, "onlycon", &only},          // any owner
      {&form, "OTHER.onlycon", &only},    // owner name + "." + name
      {&form, "form.nothing", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TestAdsDataSet ds(r.owner);
    ds.SetDatabaseName(r.name);
    EXPECT_EQ(ds.AdsConnection(), r.expected);
    EXPECT_EQ(ds.DatabaseName(), r.name);
  }
  // A component of another thread is taken when it is the only one of its name.
  foreign->SetName("threaded");
  TestAdsDataSet ds(&form);
  ds.SetDatabaseName("threaded");
  EXPECT_EQ(ds.AdsConnection(), foreign.get());
  ds.SetAdsConnection(nullptr);
}

TEST_F(AdsDataPaths, AnAttachedDatasetTakesTheConnectionsPath) {
  // A dictionary connection's tables live in the dictionary's folder.
  const std::string dictionary = (dir_.path() / "DB.add").string();
  {
    QByteArray path = ToAnsi(QString::fromStdString(dictionary));
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &h), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(h), 0u);
  }
  TComponent form(nullptr);
  form.SetName("form");
  TAdsConnection con(&form);
  con.SetName("con");
  con.SetConnectPath(QString::fromStdString(dictionary));
  TestAdsDataSet ds(&form);
  ds.SetDatabaseName("CON");
  ASSERT_EQ(ds.AdsConnection(), &con);
  EXPECT_EQ(ds.GetDatabasePath(), QString::fromStdString(dir_.str()));
  EXPECT_EQ(con.DataSetCount(), 1);
  // Setting a path later does not detach the dataset; its path is then the path given.
  ds.SetDatabaseName("C:\\elsewhere\\");
  EXPECT_EQ(ds.AdsConnection(), &con);
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\elsewhere");
  // An empty name follows the connection again.
  ds.SetDatabaseName("");
  EXPECT_EQ(ds.GetDatabasePath(), QString::fromStdString(dir_.str()));
}

TEST_F(AdsDataPaths, RenamingTheConnectionRenamesTheDatabaseNameOfItsDatasets) {
  TComponent form(nullptr);
  form.SetName("form");
  TAdsConnection con(&form);
  con.SetName("con");
  TestAdsDataSet byName(&form), byOwnerName(&form);
  byName.SetDatabaseName("con");
  byOwnerName.SetDatabaseName("form.con");
  con.SetName("renamed");
  EXPECT_EQ(byName.DatabaseName(), "renamed");
  EXPECT_EQ(byOwnerName.DatabaseName(), "form.renamed");
  EXPECT_EQ(byName.AdsConnection(), &con);
}

TEST_F(AdsDataPaths, AliasesGiveAPathAndATableType) {
  testenv::TempDir ini;
  WriteFile(ini.path() / "ads.ini", "[Databases]\r\nfleet=C:\\data\\;NTX\r\nplain=C:\\plain\r\nfox=C:\\fox;v\r\n"
                                    "cdx=C:\\c;C\r\nadt=C:\\a;A\r\n");
  setenv("adsini_path", ini.str().c_str(), 1);
  struct Row {
    const char* name;
    const char* path;
    TAdsTableTypes type;
  };
  const Row rows[] = {{"fleet", "C:\\data", ttAdsNTX}, {"PLAIN", "C:\\plain", ttAdsADT}, {"fox", "C:\\fox", ttAdsVFP},
                      {"cdx", "C:\\c", ttAdsCDX},      {"adt", "C:\\a", ttAdsADT},        {"unknown", "unknown", ttAdsADT}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TestAdsDataSet ds(nullptr);
    ds.SetDatabaseName(r.name);
    EXPECT_EQ(ds.GetDatabasePath(), r.path);
    EXPECT_EQ(ds.TableType(), r.type);
  }
  // A name with a separator is a path, never an alias.
  TestAdsDataSet ds(nullptr);
  ds.SetDatabaseName(".\\fleet");
  EXPECT_EQ(ds.GetDatabasePath(), ".\\fleet");
  EXPECT_EQ(ds.TableType(), ttAdsADT);
  unsetenv("adsini_path");
}

TEST_F(AdsDataPaths, DatabaseNameAndConnectionAreFrozenWhileOpen) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  ds.SetDatabaseName(QString::fromStdString(dir_.str()));
  ds.SetTableName("abc");
  ds.Open();
  try {
    ds.SetDatabaseName("C:\\other");
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5121u);
    EXPECT_EQ(Message(e), "tb: Cannot perform this operation on an open dataset");
  }
  TAdsConnection con(nullptr);
  try {
    ds.SetAdsConnection(&con);
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(Message(e), "tb: Table must not be Active.");
  }
  EXPECT_EQ(ds.AdsConnection(), nullptr);
  EXPECT_EQ(con.DataSetCount(), 0);
}

TEST_F(AdsDataPaths, GetFilesListsTheTableFilesOfTheDatabase) {
  TestAdsDataSet ds(nullptr);
  ds.SetDatabaseName(QString::fromStdString(dir_.str()) + "/");
  TStringList files;
  files.Add("kept");
  ds.GetFiles(&files);
  ASSERT_EQ(files.Count(), 3);
  EXPECT_EQ(files.Strings(0), "kept");
  EXPECT_EQ(files.Strings(1), "abc.adt");
  EXPECT_EQ(files.Strings(2), "Other.adt");
  // DBF table types look for other files: there are none here.
  ds.SetTableType(ttAdsCDX);
  TStringList none;
  ds.GetFiles(&none);
  EXPECT_EQ(none.Count(), 0);
  // No database: nothing is listed and nothing is asked.
  TestAdsDataSet empty(nullptr);
  empty.GetFiles(&none);
  EXPECT_EQ(none.Count(), 0);
}

TEST_F(AdsDataPaths, GetFilesClosesItsOwnConnectionAlsoWhenTheSearchCannotBeEnded) {
  testenv::TempDir traceDir;
  const std::string traceFile = (traceDir.path() / "trace.txt").string();
  setenv("ACE_TRACE", traceFile.c_str(), 1);
  {
    FaultyEngine engine;  // loads the stand-in, tracing its calls
    engine.Fail("AdsFindClose", 5000);
    TestAdsDataSet ds(nullptr);
    ds.SetDatabaseName(QString::fromStdString(dir_.str()) + "/");
    TStringList files;
    try {
      ds.GetFiles(&files);
      ADD_FAILURE() << "the failed end of the search was not reported";
    } catch (const EADSDatabaseError& e) {
      EXPECT_TRUE(e.Message().contains("5000")) << e.Message().toStdString();
    }
  }
  unsetenv("ACE_TRACE");
  ace_binding::ResetForTesting();
  std::ifstream in(traceFile);
  std::string connected, line;
  std::vector<std::string> disconnects;
  while (std::getline(in, line)) {
    if (line.rfind("AdsConnect(", 0) == 0) {
      const size_t at = line.find("phConnect==>");
      ASSERT_NE(at, std::string::npos) << line;
      connected = line.substr(at + 12, line.find_first_of(",)", at) - at - 12);
    }
    if (line.rfind("AdsDisconnect(", 0) == 0) disconnects.push_back(line);
  }
  ASSERT_FALSE(connected.empty()) << "GetFiles made a connection of its own";
  ASSERT_EQ(disconnects.size(), 1u);
  EXPECT_NE(disconnects[0].find("hConnect=" + connected + ")"), std::string::npos) << disconnects[0];
}

TEST_F(AdsDataPaths, AssigningAConnectionClearsThePathWarning) {
  TAdsConnection con(nullptr);
  TestAdsDataSet ds(nullptr);
  for (TAdsConnection* value : {&con, &con, static_cast<TAdsConnection*>(nullptr)}) {
    ds.SetPathWarningGiven(true);
    ds.SetAdsConnection(value);
    EXPECT_FALSE(ds.PathWarningGiven());
  }
}

TEST_F(AdsDataPaths, GetFilesOfADictionaryConnectionListsTheDictionarysTables) {
  const std::string dictionary = (dir_.path() / "DB.add").string();
  {
    QByteArray path = ToAnsi(QString::fromStdString(dictionary));
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &h), 0u) << LastError();
    QByteArray name("abc");
    QByteArray file("abc.adt");
    ASSERT_EQ(AdsDDAddTable(h, A(name), A(file), 3, 1, nullptr, nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(h), 0u);
  }
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(dictionary));
  con.SetLoginPrompt(false);
  con.SetUsername("adssys");
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con);
  TStringList tables;
  ds.GetFiles(&tables);
  EXPECT_TRUE(con.IsConnected()) << "listing connects the component";
  ASSERT_EQ(tables.Count(), 1);
  EXPECT_EQ(tables.Strings(0).toLower(), "abc");
  ds.SetAdsConnection(nullptr);
}

TEST_F(AdsDataPaths, AttachingFollowsTheTableTypeOfTheConnectionsAlias) {
  testenv::TempDir ini;
  WriteFile(ini.path() / "ads.ini", "[Databases]\nold=C:\\data;ntx\nplain=C:\\plain\n");
  setenv("adsini_path", ini.str().c_str(), 1);
  TAdsConnection con(nullptr);
  con.SetAliasName("old");
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con);
  EXPECT_EQ(ds.TableType(), ttAdsNTX);
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\data");
  // An alias without a table type leaves the dataset's type as it is.
  con.SetAliasName("plain");
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\plain");
  EXPECT_EQ(ds.TableType(), ttAdsNTX);
  ds.SetAdsConnection(nullptr);
  unsetenv("adsini_path");
}

TEST_F(AdsDataPaths, TheDictionarysDefaultIndexBecomesTheActiveIndexName) {
  const std::string dictionary = (dir_.path() / "DB.add").string();
  {
    QByteArray path = ToAnsi(QString::fromStdString(dictionary));
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &h), 0u) << LastError();
    for (const char* table : {"abc", "Other"}) {
      QByteArray name(table);
      QByteArray file = QByteArray(table) + ".adt";
      ASSERT_EQ(AdsDDAddTable(h, A(name), A(file), 3, 1, nullptr, nullptr), 0u) << LastError();
    }
    QByteArray name("abc");
    QByteArray index("BYNAME");
    ASSERT_EQ(AdsDDSetTableProperty(h, A(name), ADS_DD_TABLE_DEFAULT_INDEX, index.data(),
                                    static_cast<UNSIGNED16>(index.size() + 1)),
              0u)
        << LastError();
    ASSERT_EQ(AdsDisconnect(h), 0u);
  }
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(dictionary));
  con.SetLoginPrompt(false);
  con.SetUsername("adssys");
  con.Connect();
  TestAdsDataSet withDefault(nullptr), without(nullptr);
  withDefault.SetAdsConnection(&con);
  withDefault.SetTableName("abc");
  withDefault.UpdateDefaultIndex();
  EXPECT_EQ(withDefault.DefaultIndex(), "BYNAME");
  EXPECT_EQ(withDefault.IndexName(), "ADS_DEFAULT");
  without.SetAdsConnection(&con);
  without.SetTableName("Other");
  without.UpdateDefaultIndex();
  EXPECT_EQ(without.DefaultIndex(), "");
  EXPECT_EQ(without.IndexName(), "");
  // A free-table connection has no default indexes.
  TAdsConnection folder(nullptr);
  folder.SetConnectPath(QString::fromStdString(dir_.str()));
  folder.SetLoginPrompt(false);
  TestAdsDataSet free(nullptr);
  free.SetAdsConnection(&folder);
  free.SetTableName("abc");
  free.UpdateDefaultIndex();
  EXPECT_EQ(free.IndexName(), "");
  EXPECT_FALSE(folder.IsConnected()) << "nothing is asked of a free-table connection";
  withDefault.SetAdsConnection(nullptr);
  without.SetAdsConnection(nullptr);
  free.SetAdsConnection(nullptr);
}

TEST_F(AdsDataPaths, ThreadsResolvingPathsShareTheImplicitConnections) {
  testenv::TempDir second;
  const QString paths[2] = {QString::fromStdString(dir_.str()), QString::fromStdString(second.str())};
  const int before = TDynamicConnList::Instance().Count();
  std::vector<uint32_t> seen[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        TestAdsDataSet ds(nullptr);
        ds.SetDatabaseName(paths[(t + i) % 2]);
        seen[t].push_back(ds.ConnectAndGetHandle());
      }
    });
  }
  for (std::thread& t : threads) t.join();
  // Two threads meeting a new path at once may each connect; later lookups give the first.
  const int added = TDynamicConnList::Instance().Count() - before;
  EXPECT_GE(added, 2);
  EXPECT_LE(added, 8);
  const uint32_t first[2] = {TDynamicConnList::Instance().FindSameDatabasename(paths[0]),
                             TDynamicConnList::Instance().FindSameDatabasename(paths[1])};
  EXPECT_NE(first[0], 0u);
  EXPECT_NE(first[1], 0u);
  EXPECT_NE(first[0], first[1]);
  for (int t = 0; t < 4; ++t) {
    for (uint32_t h : seen[t]) EXPECT_NE(h, 0u);
    // The last lookups of every thread found the first entry of their path.
    EXPECT_EQ(seen[t].back(), first[(t + 9) % 2]);
  }
}

TEST_F(AdsDataPaths, ANameThatIsNeitherComponentNorAliasIsAFolderOfTheCurrentFolder) {
  const std::filesystem::path sub = dir_.path() / "plainname";
  std::filesystem::create_directory(sub);
  {
    ADSHANDLE c = ConnectFolder(sub.string());
    ADSHANDLE t = CreateTable(c, "inner", "NAME,Char,6;");
    AppendNamedRows(t, "NAME", {"deep"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ASSERT_EQ(AdsDisconnect(c), 0u);
  }
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  unsetenv("adsini_path");
  {
    TestAdsDataSet ds(nullptr);
    ds.SetDatabaseName("plainname");
    ds.SetTableName("inner");
    EXPECT_EQ(ds.GetDatabasePath(), "plainname");
    ds.Open();
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "deep");
  }
  std::filesystem::current_path(previous);
}
