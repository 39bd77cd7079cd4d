// Transactions through the C interface: a rollback undoes edits, appends, deletions and blob
// changes (index orders follow), savepoints undo part of a transaction, transactions nest by
// count, records changed in a transaction stay locked against others until it ends, a
// disconnect rolls back what was not committed, and misuse gives its documented error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
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
  UNSIGNED16 deleted = 0;
  ASSERT_EQ(AdsGotoRecord(table_, 4), 0u);
  ASSERT_EQ(AdsIsRecordDeleted(table_, &deleted), 0u);
  EXPECT_EQ(deleted, 1);  // the appended record stays, deleted: record numbers never move
  ASSERT_EQ(AdsInTransaction(conn_, &in), 0u);
  EXPECT_EQ(in, 0);
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
