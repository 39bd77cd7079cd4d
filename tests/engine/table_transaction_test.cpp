// Transactions through the C interface: a rollback undoes edits, appends, deletions and blob
// changes (index orders follow), savepoints undo part of a transaction, transactions nest by
// count, records changed in a transaction stay locked against others until it ends, other
// connections and processes read the committed records until the commit, a disconnect rolls
// back what was not committed, the next open undoes the transaction of a process that died,
// and misuse gives its documented error.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

class TableTransaction : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u);
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("ledger"), nullptr, ADS_ADT, 1, 0, 0, 0,
                               U8("NAME,Char,10;AMOUNT,Integer;NOTE,Memo"), 0, nullptr, &t),
              0u)
        << acetest::Last().text;
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, U8("BYNAME"), U8("NAME"), nullptr, nullptr, 0, 0, nullptr, &order), 0u);
    for (const char* name : {"alpha", "bravo", "charlie"}) {
      ASSERT_EQ(AdsAppendRecord(t), 0u);
      ASSERT_EQ(AdsSetString(t, U8("NAME"), U8(name), static_cast<UNSIGNED32>(std::string(name).size())), 0u);
      ASSERT_EQ(AdsSetLong(t, U8("AMOUNT"), 10), 0u);
      ASSERT_EQ(AdsSetString(t, U8("NOTE"), U8(std::string("note of ") + name), 8 + static_cast<UNSIGNED32>(std::string(name).size())), 0u);
      ASSERT_EQ(AdsWriteRecord(t), 0u);
    }
    AdsCloseTable(t);
    ASSERT_EQ(AdsOpenTable90(conn_, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &table_), 0u);
    ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &byName_), 0u);
  }
  void TearDown() override {
    if (conn_) AdsDisconnect(conn_);
  }

  std::string Text(ADSHANDLE h, UNSIGNED32 rec, const char* field) {
    EXPECT_EQ(AdsGotoRecord(h, rec), 0u);
    UNSIGNED8 buf[64];
    UNSIGNED32 len = sizeof buf;
    if (AdsGetString(h, U8(field), buf, &len, 0) != 0) return "<error>";
    return std::string(reinterpret_cast<char*>(buf), len);
  }
  // Names along the index, deleted records hidden.
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    AdsShowDeleted(0);
    AdsGotoTop(byName_);
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(byName_, &eof) == 0 && !eof && out.size() < 20) {
      UNSIGNED8 buf[16];
      UNSIGNED32 len = sizeof buf;
      AdsGetString(byName_, U8("NAME"), buf, &len, 0);
      std::string name(reinterpret_cast<char*>(buf), len);
      out.push_back(name.substr(0, name.find_last_not_of(' ') + 1));
      AdsSkip(byName_, 1);
    }
    return out;
  }
  void SetName(UNSIGNED32 rec, const std::string& name) {
    ASSERT_EQ(AdsGotoRecord(table_, rec), 0u);
    ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
    ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  }

  // The names of the ledger's records in natural order, deleted records hidden, as another
  // connection of this process reads them through a table and through SQL (which must agree).
  std::vector<std::string> NamesElsewhere() {
    ADSHANDLE other = 0, t = 0;
    EXPECT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other), 0u);
    EXPECT_EQ(AdsOpenTable90(other, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &t), 0u);
    std::vector<std::string> names;
    AdsShowDeleted(0);
    UNSIGNED16 eof = 0;
    for (AdsGotoTop(t); AdsAtEOF(t, &eof) == 0 && !eof && names.size() < 20; AdsSkip(t, 1)) {
      UNSIGNED8 buf[16];
      UNSIGNED32 len = sizeof buf;
      AdsGetString(t, U8("NAME"), buf, &len, 0);
      std::string name(reinterpret_cast<char*>(buf), len);
      names.push_back(name.substr(0, name.find_last_not_of(' ') + 1));
    }
    UNSIGNED32 count = 0;
    EXPECT_EQ(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &count), 0u);
    EXPECT_EQ(count, names.size()) << "counting agrees with reading";
    std::vector<std::string> selected;
    ADSHANDLE stmt = 0, cursor = 0;
    EXPECT_EQ(AdsCreateSQLStatement(other, &stmt), 0u);
    EXPECT_EQ(AdsExecuteSQLDirect(stmt, U8("select NAME from ledger"), &cursor), 0u) << acetest::Last().text;
    for (AdsGotoTop(cursor); AdsAtEOF(cursor, &eof) == 0 && !eof; AdsSkip(cursor, 1)) {
      UNSIGNED8 buf[16];
      UNSIGNED32 len = sizeof buf;
      AdsGetString(cursor, U8("NAME"), buf, &len, 0);
      std::string name(reinterpret_cast<char*>(buf), len);
      selected.push_back(name.substr(0, name.find_last_not_of(' ') + 1));
    }
    EXPECT_EQ(selected, names) << "SQL reads the same records";
    AdsDisconnect(other);
    return names;
  }

  // The transaction logs beside the ledger.
  size_t Logs() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(ws_.Host(""))) {
      if (e.path().filename().string().rfind("ledger.adt.txn", 0) == 0) ++n;
    }
    return n;
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0, byName_ = 0;
};

TEST_F(TableTransaction, RollbackUndoesEveryKindOfChangeAndSavepointsUndoPart) {
  const std::vector<std::string> before = Names();
  ASSERT_EQ(before, (std::vector<std::string>{"alpha", "bravo", "charlie"}));
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(1, "zulu");
  ASSERT_EQ(AdsGotoRecord(table_, 1), 0u);
  ASSERT_EQ(AdsSetString(table_, U8("NOTE"), U8("rewritten"), 9), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u);
  ASSERT_EQ(AdsAppendRecord(table_), 0u);
  ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8("delta"), 5), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u);
  ASSERT_EQ(AdsGotoRecord(table_, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(table_), 0u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"charlie", "delta", "zulu"}));

  ASSERT_EQ(AdsCreateSavepoint(conn_, U8("half"), 0), 0u);
  SetName(3, "echo");
  EXPECT_EQ(Names(), (std::vector<std::string>{"delta", "echo", "zulu"}));
  ASSERT_EQ(AdsRollbackTransaction80(conn_, U8("HALF"), 0), 0u) << acetest::Last().text;  // names ignore case
  EXPECT_EQ(Names(), (std::vector<std::string>{"charlie", "delta", "zulu"}));
  UNSIGNED16 in = 0;
  ASSERT_EQ(AdsInTransaction(conn_, &in), 0u);
  EXPECT_EQ(in, 1);

  ASSERT_EQ(AdsRollbackTransaction(conn_), 0u) << acetest::Last().text;
  EXPECT_EQ(Names(), before);
  EXPECT_EQ(Text(table_, 1, "NAME"), "alpha     ");
  EXPECT_EQ(Text(table_, 1, "NOTE"), "note of alpha");  // the old blob was kept for the rollback
  // The appended record, still the last one, is gone: a rolled-back append leaves nothing, and
  // no other record's number moved.
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(table_, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(AdsGotoRecord(table_, 4), 5022u);
  ASSERT_EQ(AdsInTransaction(conn_, &in), 0u);
  EXPECT_EQ(in, 0);
}

TEST_F(TableTransaction, AppendsOnEitherSideOfASavepointAreUndoneApart) {
  // Appends one after another are journaled as one run; a savepoint ends the run, and appends
  // to another table in between belong to their own.
  ADSHANDLE other = 0;
  ASSERT_EQ(AdsCreateTable90(conn_, U8("other"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("NAME,Char,10;"), 0, nullptr, &other), 0u)
      << acetest::Last().text;
  auto append = [](ADSHANDLE t, const std::string& name) {
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetString(t, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
  };
  auto count = [](ADSHANDLE t) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &n), 0u);
    return n;
  };
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  append(table_, "delta");
  append(table_, "echo");
  append(other, "one");
  append(table_, "foxtrot");
  ASSERT_EQ(AdsCreateSavepoint(conn_, U8("half"), 0), 0u);
  append(table_, "golf");
  append(table_, "hotel");
  append(other, "two");
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"}));
  // Both handles stood on records the rollback takes away: they end up past the last record.
  ASSERT_EQ(AdsRollbackTransaction80(conn_, U8("half"), 0), 0u) << acetest::Last().text;
  UNSIGNED16 eof = 0;
  ASSERT_EQ(AdsAtEOF(other, &eof), 0u);
  EXPECT_EQ(eof, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "bravo", "charlie", "delta", "echo", "foxtrot"}));
  EXPECT_EQ(count(other), 1u);
  EXPECT_EQ(Text(table_, 6, "NAME"), "foxtrot   ");
  append(table_, "india");
  ASSERT_EQ(AdsRollbackTransaction(conn_), 0u) << acetest::Last().text;
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "bravo", "charlie"}));
  EXPECT_EQ(count(table_), 3u);
  EXPECT_EQ(count(other), 0u);
  EXPECT_EQ(AdsCloseTable(other), 0u);
}

TEST_F(TableTransaction, NestedTransactionsEndWithTheOutermostCommit) {
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetTransactionCount(conn_, &count), 0u);
  EXPECT_EQ(count, 2u);
  SetName(2, "kilo");
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  ASSERT_EQ(AdsGetTransactionCount(conn_, &count), 0u);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  ASSERT_EQ(AdsGetTransactionCount(conn_, &count), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(AdsRollbackTransaction(conn_), 5930u);  // nothing left to roll back
  EXPECT_EQ(Text(table_, 2, "NAME"), "kilo      ");
}

TEST_F(TableTransaction, OtherConnectionsReadTheCommittedRecordsUntilTheCommit) {
  const std::vector<std::string> committed = {"alpha", "bravo", "charlie"};
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(1, "mike");
  ASSERT_EQ(AdsAppendRecord(table_), 0u);
  ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8("zulu"), 4), 0u);
  ASSERT_EQ(AdsWriteRecord(table_), 0u);
  ASSERT_EQ(AdsGotoRecord(table_, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(table_), 0u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"charlie", "mike", "zulu"})) << "the connection sees its changes";
  EXPECT_EQ(NamesElsewhere(), committed);
  EXPECT_EQ(Logs(), 1u);
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  EXPECT_EQ(NamesElsewhere(), (std::vector<std::string>{"mike", "charlie", "zulu"}));
  EXPECT_EQ(Logs(), 0u) << "a committed transaction leaves no log";

  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(3, "oscar");
  EXPECT_EQ(NamesElsewhere(), (std::vector<std::string>{"mike", "charlie", "zulu"}));
  ASSERT_EQ(AdsRollbackTransaction(conn_), 0u);
  EXPECT_EQ(NamesElsewhere(), (std::vector<std::string>{"mike", "charlie", "zulu"}));
  EXPECT_EQ(Logs(), 0u);
}

TEST_F(TableTransaction, AnotherProcessSeesTheChangesOnlyAfterTheCommit) {
  std::ofstream(ws_.Host("names.sql")) << "select NAME from ledger where AMOUNT = 10 order by NAME;\n";
  auto names = [&] {
    acetest::ToolRun run = acetest::Aceadmin("sql " + acetest::Q(ws_.Host("")) + " < " + acetest::Q(ws_.Host("names.sql")));
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
  };
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(2, "kilo");
  ASSERT_EQ(AdsCreateSavepoint(conn_, U8("later"), 0), 0u);
  SetName(3, "lima");
  ASSERT_EQ(AdsRollbackTransaction80(conn_, U8("later"), 0), 0u);
  std::string before = names();
  EXPECT_NE(before.find("bravo"), std::string::npos) << before;
  EXPECT_EQ(before.find("kilo"), std::string::npos) << before;
  EXPECT_NE(before.find("(3 rows)"), std::string::npos) << before;
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  std::string after = names();
  EXPECT_NE(after.find("kilo"), std::string::npos) << after;
  EXPECT_EQ(after.find("bravo"), std::string::npos) << after;
  EXPECT_EQ(after.find("lima"), std::string::npos) << "the savepoint's rollback stays undone: " << after;
}

TEST_F(TableTransaction, ARecordAStatementChangedStaysHeldAfterTheStatementEnds) {
  ADSHANDLE other = 0, otherTable = 0;
  ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other), 0u);
  ASSERT_EQ(AdsOpenTable90(other, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &otherTable), 0u);
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  ADSHANDLE stmt = 0;
  ASSERT_EQ(AdsCreateSQLStatement(conn_, &stmt), 0u);
  ASSERT_EQ(AdsExecuteSQLDirect(stmt, U8("update ledger set AMOUNT = 11 where NAME = 'bravo'"), nullptr), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsCloseSQLStatement(stmt), 0u);
  EXPECT_NE(AdsLockRecord(otherTable, 2), 0u) << "nobody else may change what a rollback will restore";
  ASSERT_EQ(AdsGotoRecord(otherTable, 2), 0u);
  EXPECT_EQ(AdsSetLong(otherTable, U8("AMOUNT"), 99), 5035u);
  ASSERT_EQ(AdsCreateSQLStatement(conn_, &stmt), 0u);
  ASSERT_EQ(AdsExecuteSQLDirect(stmt, U8("update ledger set AMOUNT = 12 where NAME = 'bravo'"), nullptr), 0u)
      << "the same connection changes it again: " << acetest::Last().text;
  ASSERT_EQ(AdsCloseSQLStatement(stmt), 0u);
  SetName(2, "bravo2");
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  EXPECT_EQ(AdsLockRecord(otherTable, 2), 0u) << acetest::Last().text;
  AdsDisconnect(other);
}

TEST_F(TableTransaction, ARollbackThroughTablesNoLongerOpenKeepsTheIndexRight) {
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  ADSHANDLE stmt = 0;
  ASSERT_EQ(AdsCreateSQLStatement(conn_, &stmt), 0u);
  ASSERT_EQ(AdsExecuteSQLDirect(stmt, U8("update ledger set NAME = 'aaron' where NAME = 'charlie'"), nullptr), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsExecuteSQLDirect(stmt, U8("insert into ledger (NAME, AMOUNT) values ('beth', 1)"), nullptr), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsCloseSQLStatement(stmt), 0u);
  AdsCloseTable(table_);
  table_ = 0;
  ASSERT_EQ(AdsRollbackTransaction(conn_), 0u) << acetest::Last().text;
  acetest::ToolRun verify = acetest::Aceadmin("verify-index " + acetest::Q(ws_.Host("ledger.adt")));
  EXPECT_EQ(verify.status, 0) << verify.output;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &table_), 0u);
  ASSERT_EQ(AdsGetIndexHandle(table_, U8("BYNAME"), &byName_), 0u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "bravo", "charlie"}));
}

TEST_F(TableTransaction, TheNextOpenUndoesTheTransactionOfAProcessThatDied) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ADSHANDLE c = 0, t = 0;
    if (AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) != 0) _exit(2);
    if (AdsOpenTable90(c, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &t) != 0) _exit(3);
    if (AdsBeginTransaction(c) != 0) _exit(4);
    AdsGotoRecord(t, 1);
    AdsSetString(t, U8("NAME"), U8("ghost"), 5);
    AdsWriteRecord(t);
    AdsAppendRecord(t);
    AdsSetString(t, U8("NAME"), U8("phantom"), 7);
    AdsWriteRecord(t);
    AdsGotoRecord(t, 2);
    AdsDeleteRecord(t);
    _exit(0);  // dies in the middle of its transaction
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Logs(), 1u) << "the dead transaction left its log";

  ADSHANDLE t = 0, order = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &t), 0u) << acetest::Last().text;
  EXPECT_EQ(Logs(), 0u) << "the open undid it";
  ASSERT_EQ(AdsGetIndexHandle(t, U8("BYNAME"), &order), 0u) << acetest::Last().text;
  byName_ = order;
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "bravo", "charlie"}));
  EXPECT_EQ(Text(t, 1, "NAME"), "alpha     ");
  AdsCloseTable(t);
  acetest::ToolRun verify = acetest::Aceadmin("verify-index " + acetest::Q(ws_.Host("ledger.adt")));
  EXPECT_EQ(verify.status, 0) << verify.output;
}

// A transaction of several tables commits through a commit record beside the first table;
// when the commit is done neither it nor any log is left, and every table shows its changes.
TEST_F(TableTransaction, ACommitOfTwoTablesLeavesNothingBeside) {
  ADSHANDLE second = 0;
  ASSERT_EQ(AdsCreateTable90(conn_, U8("journal"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("NAME,Char,10"), 0, nullptr, &second),
            0u);
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(1, "delta");
  ASSERT_EQ(AdsAppendRecord(second), 0u);
  ASSERT_EQ(AdsSetString(second, U8("NAME"), U8("echo"), 4), 0u);
  ASSERT_EQ(AdsWriteRecord(second), 0u);
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u) << acetest::Last().text;
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(ws_.Host(""))) {
    const std::string name = e.path().filename().string();
    if (name.find(".txn") != std::string::npos || name.find(".txc") != std::string::npos) left.push_back(name);
  }
  EXPECT_TRUE(left.empty()) << left.front();
  EXPECT_EQ(NamesElsewhere(), (std::vector<std::string>{"delta", "bravo", "charlie"}));
  EXPECT_EQ(Text(second, 1, "NAME"), "echo      ");
  AdsCloseTable(second);
}

TEST_F(TableTransaction, ChangedRecordsStayLockedUntilTheTransactionEnds) {
  ADSHANDLE other = 0, otherTable = 0;
  ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other), 0u);
  ASSERT_EQ(AdsOpenTable90(other, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &otherTable), 0u);
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  SetName(1, "mike");
  EXPECT_NE(AdsLockRecord(otherTable, 1), 0u);  // held by the transaction
  EXPECT_EQ(AdsLockRecord(otherTable, 2), 0u);  // untouched records are free
  AdsUnlockRecord(otherTable, 2);
  ASSERT_EQ(AdsCommitTransaction(conn_), 0u);
  EXPECT_EQ(AdsLockRecord(otherTable, 1), 0u) << acetest::Last().text;
  AdsDisconnect(other);
}

TEST_F(TableTransaction, ADisconnectRollsBackAndMisuseIsRefused) {
  EXPECT_EQ(AdsCommitTransaction(conn_), 5930u);
  EXPECT_EQ(AdsCreateSavepoint(conn_, U8("s"), 0), 5930u);
  ASSERT_EQ(AdsBeginTransaction(conn_), 0u);
  EXPECT_EQ(AdsRollbackTransaction80(conn_, U8("nowhere"), 0), 5931u);
  SetName(3, "oscar");
  ASSERT_EQ(AdsDisconnect(conn_), 0u);
  conn_ = 0;

  ADSHANDLE c = 0, t = 0;
  ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c), 0u);
  ASSERT_EQ(AdsOpenTable90(c, U8("ledger"), nullptr, ADS_ADT, 0, 0, 0, ADS_EXCLUSIVE, nullptr, &t), 0u)
      << acetest::Last().text;
  EXPECT_EQ(Text(t, 3, "NAME"), "charlie   ");
  ASSERT_EQ(AdsBeginTransaction(c), 0u);
  EXPECT_EQ(AdsPackTable(t), 5933u);
  EXPECT_EQ(AdsZapTable(t), 5933u);
  ASSERT_EQ(AdsRollbackTransaction(c), 0u);
  AdsDisconnect(c);
}

}  // namespace
