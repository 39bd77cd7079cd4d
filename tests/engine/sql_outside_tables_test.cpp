// Tables named by a path in SQL on a dictionary connection: a file outside the dictionary is
// reachable only by its administrators, deleting files needs the administrator, a path to a
// dictionary table's file carries that table's rights, and every statement reads a path alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"
#include "support/sql_fixture.h"

namespace {

namespace fs = std::filesystem;
using acetest::Last;
using acetest::U8;
using sqltest::Rows;

// DB/db.add with the table "t" (one row); the free tables victim/items and v.1/items (one row
// each) beside DB; the users clerk (no rights), reader (read on "t") and boss (a member of the
// administrators' group).
class SqlOutsideTables : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(ws_.Host("DB"));
    dd_ = ws_.CreateDictionary("DB/db.add");
    MakeTable(dd_, "t");
    for (const char* folder : {"victim", "v.1"}) {
      fs::create_directories(ws_.Host(folder));
      ADSHANDLE free = 0;
      ASSERT_EQ(AdsConnect(U8(ws_.Win(folder)), &free), 0u) << Last().text;
      MakeTable(free, "items");
      ASSERT_EQ(AdsDisconnect(free), 0u);
    }
    ASSERT_EQ(AdsDDCreateUserGroup(dd_, U8("DB:Admin"), nullptr), 0u) << Last().text;
    for (const char* user : {"clerk", "reader", "boss"}) {
      ASSERT_EQ(AdsDDCreateUser(dd_, nullptr, U8(user), U8("pw"), nullptr), 0u) << Last().text;
    }
    ASSERT_EQ(AdsDDAddUserToGroup(dd_, U8("DB:Admin"), U8("boss")), 0u) << Last().text;
    ASSERT_EQ(AdsDDGrantPermission(dd_, 1, U8("t"), U8("reader"), 1), 0u) << Last().text;
  }
  void TearDown() override {
    for (ADSHANDLE h : connections_) AdsDisconnect(h);
    AdsDisconnect(dd_);
  }

  void MakeTable(ADSHANDLE connection, const char* name) {
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(connection, U8(name), nullptr, 3, 1, 1, 1, 0, U8("A,Integer;"), 0, nullptr, &t), 0u)
        << Last().text;
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetLong(t, ADSFIELD(1), 1), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }

  ADSHANDLE As(const std::string& user) {
    ADSHANDLE h = 0;
    std::string cs = "Data Source=" + ws_.Win("DB/db.add") + ";User ID=" + user + ";Password=" +
                     (user == "adssys" ? "" : "pw") + ";";
    EXPECT_EQ(acetest::Connect101(cs, &h), 0u) << Last().text;
    connections_.push_back(h);
    return h;
  }

  // Runs sql on a new statement of connection; the code, and the rows of a cursor.
  UNSIGNED32 Run(ADSHANDLE connection, const std::string& sql, Rows* rows = nullptr) {
    ADSHANDLE s = 0, c = 0;
    EXPECT_EQ(AdsCreateSQLStatement(connection, &s), 0u);
    UNSIGNED32 rc = AdsExecuteSQLDirect(s, U8(sql), &c);
    if (rc == 0 && c != 0) {
      if (rows) *rows = sqltest::ReadAll(c);
      AdsCloseTable(c);
    }
    AdsCloseSQLStatement(s);
    return rc;
  }

  bool FilesOf(const std::string& folder) { return fs::exists(ws_.Host(folder + "/items.adt")); }

  acetest::Workspace ws_;
  ADSHANDLE dd_ = 0;
  std::vector<ADSHANDLE> connections_;
};

TEST_F(SqlOutsideTables, OnlyTheDictionarysAdministratorsReachTablesOutsideIt) {
  const std::vector<std::string> names = {ws_.Host("victim/items"), ws_.Win("victim/items.adt"), "../victim/items"};
  const struct {
    const char* user;
    UNSIGNED32 select, insert, drop;
  } cases[] = {
      {"clerk", 5054, 5054, 5916},
      {"reader", 5054, 5054, 5916},
      {"boss", 0, 0, 5916},
  };
  for (const auto& c : cases) {
    ADSHANDLE h = As(c.user);
    for (const std::string& name : names) {
      SCOPED_TRACE(std::string(c.user) + " on " + name);
      Rows rows;
      UNSIGNED32 rc = Run(h, "select a from \"" + name + "\"", &rows);
      EXPECT_EQ(rc, c.select) << Last().text;
      if (rc == 5054) {
        EXPECT_NE(Last().text.find("outside the data dictionary"), std::string::npos) << Last().text;
      }
      if (rc == 0) {
        EXPECT_FALSE(rows.empty());
      }
      EXPECT_EQ(Run(h, "insert into \"" + name + "\" (a) values (2)"), c.insert) << Last().text;
      EXPECT_EQ(Run(h, "drop table \"" + name + "\""), c.drop) << Last().text;
      EXPECT_TRUE(FilesOf("victim")) << "a refused DROP TABLE deletes nothing";
    }
  }
  // The administrator may delete the files.
  EXPECT_EQ(Run(As("adssys"), "drop table \"../victim/items\""), 0u) << Last().text;
  EXPECT_FALSE(FilesOf("victim"));
}

TEST_F(SqlOutsideTables, APathMeansTheSameTableToEveryStatement) {
  // A folder with a dot in its name: found by SELECT and INSERT as DROP TABLE finds it.
  ADSHANDLE admin = As("adssys");
  for (const std::string& name : {ws_.Host("v.1/items"), ws_.Win("v.1/items")}) {
    SCOPED_TRACE(name);
    Rows rows;
    EXPECT_EQ(Run(admin, "insert into \"" + name + "\" (a) values (5)"), 0u) << Last().text;
    ASSERT_EQ(Run(admin, "select a from \"" + name + "\" order by a", &rows), 0u) << Last().text;
    EXPECT_EQ(rows.front(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows.back(), (std::vector<std::string>{"5"}));
  }
  EXPECT_EQ(Run(admin, "drop table \"" + ws_.Host("v.1/items") + "\""), 0u) << Last().text;
  EXPECT_FALSE(FilesOf("v.1"));
  EXPECT_EQ(Run(admin, "select a from \"" + ws_.Host("v.1/items") + "\""), 7200u) << "gone for every statement";
  EXPECT_NE(Last().text.find("Table not found"), std::string::npos) << Last().text;
}

// A name leads to the file named as written when there is one, else to the one whose name
// differs only in case; a kept table follows when a file named as written appears.
TEST_F(SqlOutsideTables, ANameLeadsToTheFileNamedAsWrittenOnceThereIsOne) {
  fs::create_directories(ws_.Host("cases"));
  ADSHANDLE free = 0;
  ASSERT_EQ(AdsConnect(U8(ws_.Win("cases")), &free), 0u) << Last().text;
  connections_.push_back(free);
  MakeTable(free, "Mixed");
  MakeTable(free, "other");
  // One statement for all: the connection keeps its tables between the runs.
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(free, &s), 0u);
  auto count = [&](const std::string& table) {
    ADSHANDLE c = 0;
    EXPECT_EQ(AdsExecuteSQLDirect(s, U8("select count(*) from " + table), &c), 0u) << Last().text;
    Rows rows = sqltest::ReadAll(c);
    AdsCloseTable(c);
    return rows;
  };
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("insert into other (a) values (2)"), &c), 0u) << Last().text;
  EXPECT_EQ(count("mixed"), (Rows{{"1"}})) << "Mixed.adt, named without regard to case";
  fs::copy_file(ws_.Host("cases/other.adt"), ws_.Host("cases/mixed.adt"));
  EXPECT_EQ(count("mixed"), (Rows{{"2"}})) << "mixed.adt, named as written";
  EXPECT_EQ(count("other"), (Rows{{"2"}}));
  EXPECT_EQ(AdsCloseSQLStatement(s), 0u);
}

TEST_F(SqlOutsideTables, APathToADictionaryTablesFileCarriesThatTablesRights) {
  for (const std::string& name : {ws_.Host("DB/t"), ws_.Win("DB/t.adt")}) {
    SCOPED_TRACE(name);
    Rows rows;
    EXPECT_EQ(Run(As("reader"), "select a from \"" + name + "\"", &rows), 0u) << Last().text;
    EXPECT_EQ(rows, (Rows{{"1"}}));
    EXPECT_EQ(Run(As("clerk"), "select a from \"" + name + "\""), 5054u);
    EXPECT_EQ(Run(As("reader"), "insert into \"" + name + "\" (a) values (3)"), 5054u) << "read only";
  }
}

}  // namespace
