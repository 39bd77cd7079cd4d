// The connection component's services on the real engine: transactions and savepoints with
// their events and the attached datasets, lists of tables, links and procedures, links to other
// dictionaries, server information, user groups and the date format.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <cmath>
#include <functional>

#include "adstable_dictionary.h"
#include "tests/engine/support/aceadmin_run.h"
#include "fake_dataset.h"
#include "runtime/datetime.h"

using namespace adsdata_test;

namespace {


QStringList Strings(const TStringList& list) {
  QStringList s;
  for (int i = 0; i < list.Count(); ++i) s << list.Strings(i);
  return s;
}

class ConnectionServices : public PeopleDictionary {
 protected:
  void SetUp() override {
    PeopleDictionary::SetUp();
    if (HasFatalFailure()) return;
    Configure(con_);
    con_.SetName("con");
  }

  // Every event of a transaction appends its name to log_.
  void RecordTransactionEvents() {
    con_.BeforeCommit = [this](TComponent*) { log_ << "BeforeCommit"; };
    con_.AfterCommit = [this](TComponent*) { log_ << "AfterCommit"; };
    con_.BeforeRollback = [this](TComponent*) { log_ << "BeforeRollback"; };
    con_.AfterRollback = [this](TComponent*) { log_ << "AfterRollback"; };
  }

  // The ages in people, in natural order, as the connection sees them.
  QStringList Ages() {
    QStringList ages;
    ADSHANDLE cursor = 0;
    con_.Execute("select AGE from people", nullptr, true, &cursor);
    for (UNSIGNED32 rc = AdsGotoTop(cursor); rc == 0;) {
      UNSIGNED16 eof = 0;
      AdsAtEOF(cursor, &eof);
      if (eof) break;
      UNSIGNED8 text[20] = {};
      UNSIGNED32 length = 19;
      QByteArray field("AGE");
      AdsGetField(cursor, A(field), text, &length, 3);
      ages << QString::fromLatin1(reinterpret_cast<char*>(text), static_cast<int>(length));
      rc = AdsSkip(cursor, 1);
    }
    return ages;
  }

  TAdsConnection con_{nullptr};
  QStringList log_;
};

}  // namespace

// ---- transactions ----

TEST_F(ConnectionServices, TransactionsNeedAConnection) {
  RecordTransactionEvents();
  const std::function<void()> calls[] = {
      [&] { con_.BeginTransaction(); }, [&] { con_.Commit(); },
      [&] { con_.Rollback(); },         [&] { con_.Rollback("mark"); },
      [&] { con_.CreateSavepoint("mark"); },
  };
  for (const auto& call : calls) EXPECT_EQ(Raised(call), "No connection to the database server.");
  EXPECT_TRUE(log_.isEmpty()) << "no event without a connection";
  EXPECT_FALSE(con_.IsConnected()) << "nothing connects implicitly";
}

TEST_F(ConnectionServices, NestedTransactionsSavepointsAndAPartialRollback) {
  con_.Connect();
  EXPECT_FALSE(con_.TransactionActive());
  EXPECT_EQ(con_.TransactionCount(), 0);
  con_.BeginTransaction();
  EXPECT_TRUE(con_.TransactionActive());
  EXPECT_EQ(con_.TransactionCount(), 1);
  con_.Execute("update people set AGE = 1", nullptr, false, nullptr);
  con_.CreateSavepoint("one");
  con_.Execute("update people set AGE = 2 where NAME = 'ann'", nullptr, false, nullptr);
  EXPECT_EQ(Ages(), QStringList({"1", "2", "1"}));
  con_.Rollback("one");
  EXPECT_EQ(Ages(), QStringList({"1", "1", "1"})) << "back to the savepoint";
  EXPECT_TRUE(con_.TransactionActive()) << "the transaction goes on";
  try {
    con_.Rollback("nosuch");
    FAIL() << "an unknown savepoint must be refused";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
  }
  con_.BeginTransaction();
  EXPECT_EQ(con_.TransactionCount(), 2);
  con_.Commit();
  EXPECT_TRUE(con_.TransactionActive()) << "only the outermost commit ends it";
  con_.Commit();
  EXPECT_FALSE(con_.TransactionActive());
  EXPECT_EQ(Ages(), QStringList({"1", "1", "1"}));
}

TEST_F(ConnectionServices, AnotherProcessSeesTheTransactionOnlyOnceItIsCommitted) {
  // The other process: the admin shell, reading the dictionary through SQL.
  const std::string query = (dir_.path() / "ages.sql").string();
  QFile sql(QString::fromStdString(query));
  ASSERT_TRUE(sql.open(QIODevice::WriteOnly));
  sql.write("select NAME, AGE from people order by NAME;\n");
  sql.close();
  auto seen = [&] {
    setenv("ACEADMIN_PASSWORD", "", 1);
    acetest::ToolRun run = acetest::Aceadmin("sql " + acetest::Q(dictionary_) + " < " + acetest::Q(query));
    EXPECT_EQ(run.status, 0) << run.output;
    return QString::fromStdString(run.output).simplified();
  };
  const QString committed = seen();
  ASSERT_TRUE(committed.contains("ann")) << committed.toStdString();

  con_.Connect();
  con_.BeginTransaction();
  con_.Execute("update people set AGE = 41 where NAME = 'ann'", nullptr, false, nullptr);
  con_.CreateSavepoint("more");
  con_.Execute("update people set AGE = 42 where NAME = 'bob'", nullptr, false, nullptr);
  con_.Rollback("more");
  EXPECT_EQ(Ages(), QStringList({"", "41", ""})) << "the connection sees its own changes";
  EXPECT_EQ(seen(), committed) << "nothing shows before the commit";
  con_.Commit();
  const QString after = seen();
  EXPECT_TRUE(after.contains("ann | 41")) << after.toStdString();
  EXPECT_FALSE(after.contains("42")) << "the rolled-back part stays undone: " << after.toStdString();
}

TEST_F(ConnectionServices, RollbackCancelsThenRefreshesTheAttachedDatasetsBetweenItsEvents) {
  RecordTransactionEvents();
  RecordingDataSet a(nullptr, &log_), b(nullptr, &log_), closed(nullptr, &log_);
  a.SetName("a");
  b.SetName("b");
  closed.SetName("closed");
  a.Attach(&con_);
  b.Attach(&con_);
  closed.Attach(&con_);
  con_.Connect();
  a.active_ = true;
  b.active_ = true;
  b.browsing_ = false;  // editing: cancelled, but not refreshed
  log_.clear();

  struct Case {
    bool cancelOnRollback;
    QStringList expected;
  } cases[] = {
      {true, {"BeforeRollback", "a:Cancel", "b:Cancel", "closed:Cancel", "a:Refresh", "AfterRollback"}},
      {false, {"BeforeRollback", "a:Refresh", "AfterRollback"}},
  };
  for (const Case& c : cases) {
    con_.SetCancelOnRollback(c.cancelOnRollback);
    con_.BeginTransaction();
    con_.Execute("update people set AGE = 3", nullptr, true, nullptr);
    ASSERT_EQ(con_.CachedStatements().size(), 1u);
    log_.clear();
    con_.Rollback();
    EXPECT_EQ(log_, c.expected);
    EXPECT_TRUE(con_.CachedStatements().empty()) << "a rollback closes the cached statements";
    EXPECT_FALSE(con_.TransactionActive());
    // An empty savepoint name is the whole rollback, events and all.
    con_.BeginTransaction();
    log_.clear();
    con_.Rollback(QString());
    EXPECT_EQ(log_, c.expected);
  }
  a.Attach(nullptr);
  b.Attach(nullptr);
  closed.Attach(nullptr);
}

TEST_F(ConnectionServices, AFailedCommitOrRollbackFiresOnlyTheEventBeforeIt) {
  RecordTransactionEvents();
  con_.Connect();
  con_.Execute("select * from people", nullptr, true, nullptr);
  EXPECT_THROW(con_.Commit(), AdsError) << "nothing to commit";
  EXPECT_EQ(log_, QStringList({"BeforeCommit"}));
  EXPECT_TRUE(con_.CachedStatements().empty());
  log_.clear();
  EXPECT_THROW(con_.Rollback(), AdsError);
  EXPECT_EQ(log_, QStringList({"BeforeRollback"}));
  log_.clear();
  con_.BeginTransaction();
  con_.Commit();
  EXPECT_EQ(log_, QStringList({"BeforeCommit", "AfterCommit"}));
}

TEST_F(ConnectionServices, ARolledBackChangeLeavesAnOpenTableShowingTheOldValues) {
  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con_);
  tb.SetTableName("people");
  tb.Open();
  con_.BeginTransaction();
  con_.Execute("update people set NAME = 'zed' where NAME = 'cy'", nullptr, false, nullptr);
  tb.Refresh();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "zed");
  con_.Rollback();
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "cy") << "the rollback refreshed the dataset";
}

TEST_F(ConnectionServices, ProviderTransactionsGoThroughTheConnection) {
  TAdsTable tb(nullptr);
  EXPECT_FALSE(tb.PSInTransaction()) << "no connection: no transaction";
  tb.PSStartTransaction();
  tb.PSEndTransaction(true);
  tb.SetAdsConnection(&con_);
  EXPECT_FALSE(tb.PSInTransaction()) << "not connected: no transaction";
  con_.Connect();
  RecordTransactionEvents();
  tb.PSStartTransaction();
  EXPECT_TRUE(tb.PSInTransaction());
  tb.PSEndTransaction(true);
  EXPECT_FALSE(tb.PSInTransaction());
  tb.PSStartTransaction();
  tb.PSEndTransaction(false);
  EXPECT_FALSE(tb.PSInTransaction());
  EXPECT_EQ(log_, QStringList({"BeforeCommit", "AfterCommit", "BeforeRollback", "AfterRollback"}));
}

// ---- tables, links and procedures ----

TEST_F(ConnectionServices, TableNamesOfADictionaryAndOfFoldersByMaskAndByAliasType) {
  TStringList list;
  EXPECT_EQ(Raised([&] { con_.GetTableNames(&list, QString()); }), "No connection to the database server.");
  AddTables({"ships"});
  con_.Connect();
  con_.GetTableNames(&list, "*.dbf");
  EXPECT_EQ(Strings(list), QStringList({"people", "ships"})) << "a dictionary lists its tables whatever the mask";
  con_.GetTableNames(nullptr, QString());
  con_.Disconnect();

  QFile dbf(QString::fromStdString((dir_.path() / "old.dbf").string()));
  ASSERT_TRUE(dbf.open(QIODevice::WriteOnly));
  dbf.close();
  testenv::TempDir ini;
  QFile file(QString::fromStdString((ini.path() / "ads.ini").string()));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(("[Databases]\r\nnative=" + dir_.str() + "\\;ADT\r\nplain=" + dir_.str() + "\r\n").c_str());
  file.close();
  setenv("adsini_path", ini.str().c_str(), 1);
  struct Case {
    QString alias;  // empty: the folder as ConnectPath
    QString mask;
    QStringList expected;
  } cases[] = {
      {"", "*.adt", {"people.adt", "ships.adt"}},
      {"", "*.dbf", {"old.dbf"}},
      {"", "", {"people.adt", "ships.adt"}},
      {"native", "*.dbf", {"people.adt", "ships.adt"}},
      {"plain", "*.dbf", {"old.dbf"}},
  };
  for (const Case& c : cases) {
    TAdsConnection folder(nullptr);
    if (c.alias.isEmpty())
      folder.SetConnectPath(QString::fromStdString(dir_.str()) + "/");
    else
      folder.SetAliasName(c.alias);
    folder.Connect();
    TStringList names;
    folder.GetTableNames(&names, c.mask);
    EXPECT_EQ(Strings(names), c.expected) << c.alias.toStdString() << " " << c.mask.toStdString();
  }
  unsetenv("adsini_path");
}

TEST_F(ConnectionServices, LinksToAnotherDictionaryAndTheirTables) {
  testenv::TempDir otherDir;
  const QString other = QString::fromStdString((otherDir.path() / "other.add").string());
  {
    QByteArray path = ToAnsi(other);
    ADSHANDLE dd = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &dd), 0u) << LastError();
    ADSHANDLE t = CreateTable(dd, "ships", "NAME,Char,10;");
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }
  con_.Connect();
  EXPECT_EQ(con_.GetNumActiveDDLinks(), 0);
  con_.CreateDDLink("fleet", other, "adssys", QString(), AdsLinkOptionBit(loPathIsStatic));
  EXPECT_EQ(con_.GetNumActiveDDLinks(), 1);
  TStringList info;
  con_.GetActiveDDLinkInfo(1, nullptr);
  con_.GetActiveDDLinkInfo(1, &info);
  EXPECT_EQ(Strings(info), QStringList({"fleet", other, "adssys"}));

  TStringList links, tables;
  con_.GetTableAndLinkNames(&links, &tables, QString());
  EXPECT_EQ(Strings(links), QStringList({"", "fleet"}));
  EXPECT_EQ(Strings(tables), QStringList({"people", "ships"}));
  con_.GetTableAndLinkNames(nullptr, nullptr, QString());
  TStringList onlyTables;
  con_.GetTableAndLinkNames(nullptr, &onlyTables, QString());
  EXPECT_EQ(Strings(onlyTables), QStringList({"people", "ships"}));

  con_.DropDDLink("fleet", true);
  EXPECT_EQ(con_.GetNumActiveDDLinks(), 0);
  try {
    con_.DropDDLink("fleet", true);
    FAIL() << "dropping a missing link must fail";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
  }
}

TEST(ConnectionLinkInfo, OnlyPiecesEndedByASemicolonCount) {
  struct Case {
    QString text;
    QStringList pieces;
  } cases[] = {
      {"fleet;C:\\d\\other.add;adssys", {"fleet", "C:\\d\\other.add"}},
      {"fleet;C:\\d\\other.add;adssys;", {"fleet", "C:\\d\\other.add", "adssys"}},
      {"a;;b;", {"a", "", "b"}},
      {"alone", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitTerminatedPieces(c.text), c.pieces) << c.text.toStdString();
}

TEST_F(ConnectionServices, ProcedureNamesComeFromADictionaryOnly) {
  TStringList names;
  con_.GetProcedureNames(&names);
  EXPECT_TRUE(con_.IsConnected()) << "asking connects";
  EXPECT_EQ(names.Count(), 0);
  QByteArray a("CloseDay"), b("Archive"), container("procs.so"), proc("run");
  ASSERT_EQ(AdsDDCreateProcedure(con_.ConnectionHandle(), A(a), A(container), A(proc), nullptr), 0u) << LastError();
  ASSERT_EQ(AdsDDCreateProcedure(con_.ConnectionHandle(), A(b), A(container), A(proc), nullptr), 0u) << LastError();
  con_.GetProcedureNames(&names);
  con_.GetProcedureNames(nullptr);
  QStringList found = Strings(names);
  found.sort();
  EXPECT_EQ(found, QStringList({"Archive", "CloseDay"}));

  TAdsConnection folder(nullptr);
  folder.SetConnectPath(QString::fromStdString(dir_.str()));
  TStringList none;
  folder.GetProcedureNames(&none);
  EXPECT_TRUE(folder.IsConnected());
  EXPECT_EQ(none.Count(), 0);
}

// ---- server information ----

TEST_F(ConnectionServices, ServerInformationConnectedAndNot) {
  EXPECT_EQ(Raised([&] { con_.ServerName(); }), "Must be connected to get the database server name.");
  EXPECT_EQ(con_.ConnectionType(), "");
  EXPECT_FALSE(con_.IsConnectionAlive());
  EXPECT_EQ(con_.DDVersionMajor(), 0);
  con_.CloseCachedTables();
  con_.SetDesigning(true);
  EXPECT_EQ(con_.ServerName(), "") << "at design time";
  con_.SetDesigning(false);

  const TDateTime before = Now();
  const TDateTime server = con_.GetServerTime();
  EXPECT_TRUE(con_.IsConnected()) << "asking for the time connects";
  const TDateTime after = Now();
  EXPECT_GE(server, before - 2.0 / 86400) << "the server is this machine";
  EXPECT_LE(server, after + 2.0 / 86400);

  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(con_.ServerName().toStdString(), host);
  EXPECT_EQ(con_.ConnectionType(), "Local");
  EXPECT_TRUE(con_.IsConnectionAlive());
  EXPECT_GT(con_.DDVersionMajor(), 0);
  EXPECT_GE(con_.DDVersionMinor(), 0);
  con_.CloseCachedTables();

  TAdsConnection folder(nullptr);
  folder.SetConnectPath(QString::fromStdString(dir_.str()));
  folder.Connect();
  EXPECT_EQ(folder.DDVersionMajor(), 0) << "a folder has no dictionary version";
  EXPECT_EQ(folder.DDVersionMinor(), 0);
}

TEST_F(ConnectionServices, UserGroupsAreReadOncePerConnection) {
  {
    ADSHANDLE dd = ConnectDictionary();
    QByteArray clerks("clerks"), night("night"), mia("mia"), ola("ola"), secret("secret");
    ASSERT_EQ(AdsDDCreateUserGroup(dd, A(clerks), nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDDCreateUserGroup(dd, A(night), nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDDCreateUser(dd, A(clerks), A(mia), A(secret), nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDDAddUserToGroup(dd, A(night), A(mia)), 0u) << LastError();
    ASSERT_EQ(AdsDDCreateUser(dd, nullptr, A(ola), A(secret), nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }
  EXPECT_EQ(con_.UserGroups()->Count(), 0) << "not connected";
  con_.SetUsername("mia");
  con_.SetPassword("secret");
  con_.Connect();
  QStringList groups = Strings(*con_.UserGroups());
  groups.sort();
  EXPECT_EQ(groups, QStringList({"clerks", "night"}));
  EXPECT_EQ(con_.UserGroupsString().split(';').size(), 2);
  con_.Disconnect();
  con_.SetUsername("ola");
  con_.Connect();
  EXPECT_EQ(con_.UserGroups()->Count(), 0) << "a user in no group";
  EXPECT_EQ(con_.UserGroupsString(), "");
}

// ---- date format ----

TEST_F(ConnectionServices, ADateFormatIsCheckedByTheEngineAndAppliedToTheConnection) {
  UNSIGNED8 process[13] = {};
  UNSIGNED16 length = 12;
  ASSERT_EQ(AdsGetDateFormat(process, &length), 0u);
  const std::string processFormat(reinterpret_cast<char*>(process), length);

  EXPECT_EQ(Raised([&] { con_.SetDateFormat("QQ"); }), "Unrecognized DateFormat String");
  EXPECT_EQ(con_.DateFormat(), "") << "a refused format is not kept";
  con_.SetDateFormat("DD.MM.YYYY");
  EXPECT_EQ(con_.DateFormat(), "DD.MM.YYYY");
  EXPECT_TRUE(con_.ConnectString().contains("DateFormat=DD.MM.YYYY;"));
  length = 12;
  ASSERT_EQ(AdsGetDateFormat(process, &length), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(process), length), processFormat)
      << "the process's format is put back after the check";

  con_.Connect();
  EXPECT_EQ(Raised([&] { con_.SetDateFormat(""); }),
            "The TAdsConnection.DateFormat may not be set to an empty string when IsConnected is TRUE");
  con_.SetDateFormat("YYYY/MM/DD");
  DOUBLE julian = 0;
  QByteArray date("2024/02/29");
  ASSERT_EQ(AdsConvertDateToJulian(con_.ConnectionHandle(), A(date), 10, &julian), 0u) << LastError();
  EXPECT_EQ(julian, 2460370.0) << "the connection reads dates in its new format";
  EXPECT_LT(std::fabs(con_.GetServerTime() - Now()), 2.0 / 86400);
  try {
    con_.SetDateFormat("QQ");
    FAIL() << "the engine refuses the format";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
  }
  EXPECT_EQ(con_.DateFormat(), "YYYY/MM/DD");
  con_.Disconnect();
  con_.SetDateFormat("");
  EXPECT_EQ(con_.DateFormat(), "") << "an empty format is kept while disconnected";
}
