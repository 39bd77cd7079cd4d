// A connection's SQL statements keep the tables they read open between statements, without any
// lock: whatever another process does to a table between two statements (opening it
// exclusively, changing it, writing its files anew, dying in a transaction) the second statement
// sees exactly as a connection that never read the table sees it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/table/table.h"
#include "support/child_process.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastCode;
using sqltest::LastText;
using sqltest::Rows;

const Rows kBoats = {{"1", "Albatross"}, {"2", "Barnacle"}, {"3", "Cormorant"}, {"4", "Dogfish"}};

class SqlParkedTables : public sqltest::SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    MakeBoats(kBoats);
    ASSERT_EQ(Run("create index byid on boats (id)"), 0u) << LastText();
  }

  void MakeBoats(const Rows& rows) { MakeTable("boats", "ID,Integer;NAME,Char,12;", rows); }

  // The statements every case reads the table with: a scan, an index lookup and a range over
  // the tag in its order.
  Rows Read() { return Query("select id, name from boats where id > 0 order by id"); }
  Rows LookUp(int id) { return Query("select name from boats where id = " + std::to_string(id)); }

  // What a connection that never read the table answers.
  Rows Fresh(const std::string& sql) {
    ADSHANDLE c = 0, s = 0, cursor = 0;
    EXPECT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;", &c), 0u)
        << LastText();
    EXPECT_EQ(AdsCreateSQLStatement(c, &s), 0u);
    Rows rows;
    if (AdsExecuteSQLDirect(s, U8(sql), &cursor) == 0) {
      rows = sqltest::ReadAll(cursor);
      AdsCloseTable(cursor);
    } else {
      ADD_FAILURE() << sql << ": " << LastText();
    }
    AdsDisconnect(c);
    return rows;
  }

  // Opens the table as a free table in the child (options 1: exclusively).
  static UNSIGNED32 OpenInChild(const std::string& path, UNSIGNED32 options, ADSHANDLE* t) {
    return AdsOpenTable90(0, U8(path), nullptr, ADS_ADT, 1, 1, 1, options, nullptr, t);
  }

  std::string Path() const { return ws_.Host("boats.adt"); }

  // Stamps the tables' folder as last changed a minute ago, as a folder nobody has touched
  // lately is: a kept open then trusts what it saw of the folder's names while they do not
  // change. In a folder changed just now (every case's other half) it looks at them each time.
  void AgeFolder() {
    timespec ago{};
    clock_gettime(CLOCK_REALTIME, &ago);
    ago.tv_sec -= 60;
    const timespec times[2] = {ago, ago};
    ASSERT_EQ(utimensat(AT_FDCWD, ws_.Host(".").c_str(), times, 0), 0);
  }

  // Reads kBoats three times: the first statement opens the table, the second takes the kept
  // open up and looks at the folder's names, the third finds the folder unchanged when it aged.
  void ReadThrice(const std::string& sql) {
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Query(sql), kBoats) << "statement " << i + 1;
  }

  // Makes the unindexed table `name` of kBoats (in a folder then aged when asked) and reads it
  // thrice; answers the statement that reads it.
  std::string CratesReadThrice(const std::string& name, bool aged) {
    MakeTable(name, "ID,Integer;NAME,Char,12;", kBoats);
    if (aged) AgeFolder();
    const std::string sql = "select id, name from " + name + " order by id";
    ReadThrice(sql);
    return sql;
  }
};

// Whether the tables' folder was last changed long before the statements (true) or just now.
constexpr bool kFolderAges[] = {false, true};

TEST_F(SqlParkedTables, AnExclusiveOpenElsewhereSucceedsBetweenStatementsAndIsRespected) {
  ASSERT_EQ(Read(), kBoats);
  const std::string path = Path();
  {
    // The table was read a moment ago; another process still opens it exclusively and changes
    // it while it holds it.
    acetest::ChildHolder other([&]() -> acetest::ChildHolder::Report {
      ADSHANDLE t = 0;
      UNSIGNED32 rc = OpenInChild(path, 1, &t);
      if (rc) return {rc, 0};
      if ((rc = AdsGotoRecord(t, 2)) || (rc = AdsSetString(t, U8("NAME"), U8("Bonito"), 6)) ||
          (rc = AdsWriteRecord(t))) {
        return {rc, 0};
      }
      return {0, 0};
    });
    ASSERT_EQ(other.report()[0], 0u) << "the exclusive open elsewhere was refused";
    // Meanwhile a statement is refused as one of a connection that never read the table.
    ADSHANDLE cursor = 0;
    EXPECT_NE(Run("select name from boats where id = 2", &cursor), 0u);
    UNSIGNED32 refused = LastCode();
    ADSHANDLE c = 0, s = 0;
    ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;", &c), 0u);
    ASSERT_EQ(AdsCreateSQLStatement(c, &s), 0u);
    EXPECT_NE(AdsExecuteSQLDirect(s, U8("select name from boats where id = 2"), &cursor), 0u);
    EXPECT_EQ(refused, LastCode()) << LastText();
    AdsDisconnect(c);
  }
  // Once it is gone, its change is read.
  EXPECT_EQ(LookUp(2), (Rows{{"Bonito"}}));
  EXPECT_EQ(Read(), (Rows{{"1", "Albatross"}, {"2", "Bonito"}, {"3", "Cormorant"}, {"4", "Dogfish"}}));
}

TEST_F(SqlParkedTables, WhatAnotherProcessDoesToTheTableIsReadByTheNextStatement) {
  struct Case {
    const char* what;
    std::function<int(const std::string& path)> change;  // in the other process; 0 when done
    Rows after;
  } cases[] = {
      {"a record changed in a shared open",
       [](const std::string& path) {
         ADSHANDLE t = 0;
         if (OpenInChild(path, 0, &t) || AdsGotoRecord(t, 3) ||
             AdsSetString(t, U8("NAME"), U8("Coelacanth"), 10) || AdsWriteRecord(t)) {
           return 1;
         }
         return 0;
       },
       {{"1", "Albatross"}, {"2", "Barnacle"}, {"3", "Coelacanth"}, {"4", "Dogfish"}}},
      {"a record appended",
       [](const std::string& path) {
         ADSHANDLE t = 0;
         if (OpenInChild(path, 0, &t) || AdsAppendRecord(t) || AdsSetLong(t, U8("ID"), 5) ||
             AdsSetString(t, U8("NAME"), U8("Eelpout"), 7) || AdsWriteRecord(t)) {
           return 1;
         }
         return 0;
       },
       {{"1", "Albatross"}, {"2", "Barnacle"}, {"3", "Cormorant"}, {"4", "Dogfish"}, {"5", "Eelpout"}}},
      {"the table packed (a new file, records renumbered)",
       [](const std::string& path) {
         ADSHANDLE t = 0;
         if (OpenInChild(path, 0, &t) || AdsGotoRecord(t, 1) || AdsDeleteRecord(t) || AdsCloseTable(t))
           return 1;
         if (OpenInChild(path, 1, &t) || AdsPackTable(t)) return 2;
         return 0;
       },
       {{"2", "Barnacle"}, {"3", "Cormorant"}, {"4", "Dogfish"}}},
      {"the indexes rebuilt (a new index file)",
       [](const std::string& path) {
         ADSHANDLE t = 0;
         if (OpenInChild(path, 1, &t) || AdsReindex61(t, 1024)) return 1;
         return 0;
       },
       kBoats},
      {"the table zapped",
       [](const std::string& path) {
         ADSHANDLE t = 0;
         if (OpenInChild(path, 1, &t) || AdsZapTable(t)) return 1;
         return 0;
       },
       {}},
  };
  for (bool aged : kFolderAges) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + (aged ? ", in a folder unchanged for a minute" : ""));
    if (aged) AgeFolder();
    // The first statement opens the table, the next ones take the kept open up again.
    ASSERT_EQ(Read(), kBoats);
    ASSERT_EQ(LookUp(3), (Rows{{"Cormorant"}}));
    ASSERT_EQ(Read(), kBoats);
    const std::string path = Path();
    ASSERT_EQ(acetest::RunInChild([&] { return c.change(path); }), 0);
    EXPECT_EQ(Read(), c.after);
    EXPECT_EQ(Read(), Fresh("select id, name from boats where id > 0 order by id"));
    EXPECT_EQ(LookUp(3), Fresh("select name from boats where id = 3"));
    // The next case starts from the table as it was.
    ASSERT_EQ(Run("drop table boats"), 0u) << LastText();
    MakeBoats(kBoats);
    ASSERT_EQ(Run("create index byid on boats (id)"), 0u) << LastText();
  }
  }
}

// Made the same way as the table at `path` was, so that only the file's identity tells them
// apart; in another process.
int MakeCratesAgain(const std::string& path, const Rows& rows) {
  ADSHANDLE t = 0;
  if (AdsCreateTable90(0, U8(path), nullptr, ADS_ADT, 1, 1, 1, 0, U8("ID,Integer;NAME,Char,12;"), 0, nullptr, &t)) {
    return 1;
  }
  for (const auto& row : rows) {
    if (AdsAppendRecord(t) || AdsSetString(t, ADSFIELD(1), U8(row[0]), 1) ||
        AdsSetString(t, ADSFIELD(2), U8(row[1]), static_cast<UNSIGNED32>(row[1].size())) || AdsWriteRecord(t)) {
      return 2;
    }
  }
  return 0;
}

const Rows kFish = {{"1", "Anchovy"}, {"2", "Bream"}, {"3", "Char"}, {"4", "Dory"}};

uint64_t ChangeCounterOf(const std::string& path) {
  engine::table::Table::OpenOptions o;
  o.readOnly = true;
  return engine::table::Table::Open(path, o)->changeCounter();
}

// The cases below read a table without indexes: a change of an index file is noticed on its
// own (a rebuilt file has a new identity, a file left marked by a dead writer reads as
// unavailable), and here only the table file's identity and the transaction logs may tell.
TEST_F(SqlParkedTables, ATableMadeAgainWithTheSameChangeCounterIsReadAsItIsNow) {
  for (bool aged : kFolderAges) {
    SCOPED_TRACE(aged ? "in a folder unchanged for a minute" : "in a folder changed just now");
    const std::string name = aged ? "crates_aged" : "crates";
    const std::string sql = CratesReadThrice(name, aged);
    const std::string path = ws_.Host(name + ".adt");
    const uint64_t before = ChangeCounterOf(path);
    ASSERT_EQ(acetest::RunInChild([&] { return MakeCratesAgain(path, kFish); }), 0);
    ASSERT_EQ(ChangeCounterOf(path), before) << "the case needs equal change counters";
    EXPECT_EQ(Query(sql), kFish);
  }
}

// The table's name is a link to a file in another folder, and the file there is made again:
// the table's own folder does not change, so only following the link tells.
TEST_F(SqlParkedTables, ATableNamedByALinkIsFollowedToTheFileItLeadsToNow) {
  MakeTable("crates", "ID,Integer;NAME,Char,12;", kBoats);
  namespace fs = std::filesystem;
  const fs::path elsewhere = fs::path(ws_.Host("elsewhere"));
  fs::create_directory(elsewhere);
  const std::string target = (elsewhere / "crates.adt").string();
  fs::rename(ws_.Host("crates.adt"), target);
  fs::create_symlink(target, ws_.Host("crates.adt"));
  AgeFolder();
  const std::string sql = "select id, name from crates order by id";
  ASSERT_NO_FATAL_FAILURE(ReadThrice(sql));
  const uint64_t before = ChangeCounterOf(target);
  ASSERT_EQ(acetest::RunInChild([&] { return MakeCratesAgain(target, kFish); }), 0);
  ASSERT_EQ(ChangeCounterOf(target), before) << "the case needs equal change counters";
  EXPECT_EQ(Query(sql), kFish);
}

// A transaction's log is the only trace of a process that died in it. In a folder changed
// just now the log is made within the same second as the folder's last change and the
// statement before it, which a file system keeping whole seconds would stamp alike.
TEST_F(SqlParkedTables, ATransactionOfAProcessThatDiedIsStillFound) {
  for (bool aged : kFolderAges) {
    SCOPED_TRACE(aged ? "in a folder unchanged for a minute" : "in a folder changed just now");
    const std::string name = aged ? "crates_aged" : "crates";
    const std::string sql = CratesReadThrice(name, aged);
    const std::string path = ws_.Host(name + ".adt");
    // An exclusive open writes its counters only when it commits: the dead transaction's
    // change stands in the records while the change counter stays where the statement left it.
    ASSERT_EQ(acetest::RunInChild([&] {
                ADSHANDLE c = 0, t = 0;
                if (AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c)) return 1;
                if (AdsOpenTable90(c, U8(path), nullptr, ADS_ADT, 1, 1, 1, 1, nullptr, &t)) return 2;
                if (AdsBeginTransaction(c) || AdsGotoRecord(t, 2) ||
                    AdsSetString(t, U8("NAME"), U8("Ghost"), 5) || AdsWriteRecord(t) || AdsGotoRecord(t, 1)) {
                  return 3;
                }
                return 0;  // dies in the middle of its transaction
              }),
              0);
    EXPECT_EQ(Query(sql), kBoats);
    EXPECT_EQ(Query("select name from " + name + " where id = 2"), (Rows{{"Barnacle"}}));
  }
}

}  // namespace
