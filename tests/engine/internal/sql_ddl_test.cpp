// Tables and indexes made and dropped through SQL: what the record calls, the catalogue and the
// index file show at once, and the refusals that leave everything as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "engine/index/index_file.h"
#include "support/sql_fixture.h"

namespace {

namespace fs = std::filesystem;
using acetest::U8;
using sqltest::LastText;
using sqltest::Rows;

class SqlDdl : public sqltest::SqlTest {
 protected:
  // Record numbers of a tag of the table's structural index, in key order.
  std::vector<uint32_t> TagOrder(const std::string& table, const std::string& tag) {
    std::unique_ptr<engine::index::IndexFile> index = engine::index::IndexFile::Open(ws_.Host(table + ".adi"), true);
    int t = index->FindTag(tag);
    EXPECT_GE(t, 0) << tag;
    if (t < 0) return {};
    std::vector<uint32_t> order;
    std::vector<uint8_t> key(index->tag(static_cast<size_t>(t)).layout.keyLength());
    for (uint64_t r = 0; r < index->KeyCount(static_cast<size_t>(t)); ++r) {
      order.push_back(index->EntryAt(static_cast<size_t>(t), r, key.data()));
    }
    return order;
  }
  ADSHANDLE Open(const std::string& table) {
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(conn_, U8(table), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
    return t;
  }
  Rows Tables() { return Query("select name from system.tables order by name"); }
};

TEST_F(SqlDdl, CreateTableTakesTheEngineTypeWordsAndTheRecordCallsSeeItAtOnce) {
  struct Column {
    const char* declaration;
    UNSIGNED16 type;
    UNSIGNED32 length;  // 0: not checked
    UNSIGNED16 decimals;
  } columns[] = {
      {"c CHAR(10)", 4, 10, 0},         {"ci CICHAR(8)", 20, 8, 0},     {"vc VARCHAR(30)", 23, 30, 0},
      {"i INTEGER", 11, 0, 0},          {"i2 INT", 11, 0, 0},           {"s SHORTINT", 12, 0, 0},
      {"s2 SMALLINT", 12, 0, 0},        {"ai AUTOINC", 15, 0, 0},       {"n NUMERIC(10,2)", 2, 10, 2},
      {"n2 DECIMAL(8)", 2, 8, 0},       {"d DOUBLE", 10, 0, 0},         {"d2 DOUBLE PRECISION", 10, 0, 0},
      {"d3 Double(4)", 10, 0, 4},       {"f FLOAT", 10, 0, 0},          {"cd CurDouble", 17, 0, 0},
      {"m MONEY", 18, 0, 0},            {"dt DATE", 3, 0, 0},           {"tm TIME", 13, 0, 0},
      {"ts TIMESTAMP", 14, 0, 0},       {"ts2 DATETIME", 14, 0, 0},     {"l LOGICAL", 1, 0, 0},
      {"b BOOLEAN", 1, 0, 0},           {"me MEMO", 5, 0, 0},           {"bl BLOB", 6, 0, 0},
      {"bi Binary", 6, 0, 0},           {"im IMAGE", 7, 0, 0},          {"r RAW(16)", 16, 16, 0},
      {"nc NCHAR(5)", 26, 5, 0},        {"nm NMEMO", 28, 0, 0},         {"rv ROWVERSION", 21, 0, 0},
      {"mt MODTIME", 22, 0, 0},         {"nul INTEGER NULL", 11, 0, 0},
  };
  std::string sql = "CREATE TABLE every (";
  for (size_t i = 0; i < std::size(columns); ++i) sql += (i ? ", " : "") + std::string(columns[i].declaration);
  ASSERT_EQ(Run(sql + ")"), 0u) << LastText();

  ADSHANDLE t = Open("every");
  UNSIGNED16 count = 0;
  ASSERT_EQ(AdsGetNumFields(t, &count), 0u);
  ASSERT_EQ(count, std::size(columns));
  for (size_t i = 0; i < std::size(columns); ++i) {
    const Column& c = columns[i];
    UNSIGNED16 type = 0;
    EXPECT_EQ(AdsGetFieldType(t, ADSFIELD(i + 1), &type), 0u);
    EXPECT_EQ(type, c.type) << c.declaration;
    if (c.length) {
      UNSIGNED32 length = 0;
      EXPECT_EQ(AdsGetFieldLength(t, ADSFIELD(i + 1), &length), 0u);
      EXPECT_EQ(length, c.length) << c.declaration;
    }
    UNSIGNED16 decimals = 99;
    EXPECT_EQ(AdsGetFieldDecimals(t, ADSFIELD(i + 1), &decimals), 0u);
    if (c.type == 2 || c.decimals) {
      EXPECT_EQ(decimals, c.decimals) << c.declaration;
    }
  }
  AdsCloseTable(t);
  EXPECT_EQ(Tables(), (Rows{{"every"}}));

  // Rows inserted through SQL are the table's records.
  ASSERT_EQ(Run("insert into every (c, i, n, me) values ('abc', 7, 12.5, 'long text')"), 0u) << LastText();
  t = Open("every");
  ASSERT_EQ(AdsGotoTop(t), 0u);
  SIGNED32 i = 0;
  EXPECT_EQ(AdsGetLong(t, U8("i"), &i), 0u);
  EXPECT_EQ(i, 7);
  SIGNED32 autoinc = 0;
  EXPECT_EQ(AdsGetLong(t, U8("ai"), &autoinc), 0u);
  EXPECT_EQ(autoinc, 1);
  AdsCloseTable(t);
  // A numeric value reads right-aligned in its width.
  EXPECT_EQ(Query("select c, n, me from every"), (Rows{{"abc", "     12.50", "long text"}}));
}

TEST_F(SqlDdl, ADictionaryTableGetsItsFileBesideTheDictionaryAndItsPrimaryKey) {
  ASSERT_EQ(Run("create table staff (id integer primary key, name char(20), city char(10), unique (name))"), 0u)
      << LastText();
  EXPECT_TRUE(fs::exists(ws_.Host("staff.adt")));
  EXPECT_EQ(Query("select name, table_relative_path, table_primary_key from system.tables"),
            (Rows{{"staff", "staff.adt", "PRIMARY_KEY"}}));
  EXPECT_EQ(Query("select name, index_expression, index_options from system.indexes where parent = 'staff' "
                  "order by name"),
            (Rows{{"PRIMARY_KEY", "id", "2048"}, {"name", "name", "2048"}}));
  ADSHANDLE t = Open("staff");
  UNSIGNED16 count = 0;
  EXPECT_EQ(AdsGetNumFields(t, &count), 0u);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(AdsGetNumIndexes(t, &count), 0u) << LastText();
  EXPECT_EQ(count, 2);
  AdsCloseTable(t);
  // Rows inserted through SQL are in the keys at once, and a key that repeats is refused.
  ASSERT_EQ(Run("insert into staff values (3, 'Cy', 'Oslo'); insert into staff values (1, 'Ann', 'Rome')"), 0u)
      << LastText();
  EXPECT_EQ(TagOrder("staff", "PRIMARY_KEY"), (std::vector<uint32_t>{2, 1}));
  EXPECT_EQ(Run("insert into staff values (3, 'Dan', 'Bern')"), 7045u) << LastText();
  EXPECT_EQ(Run("update staff set name = 'Ann' where id = 3"), 7045u) << LastText();
  EXPECT_EQ(Query("select id, name from staff order by id"), (Rows{{"1", "Ann"}, {"3", "Cy"}}));
}

TEST_F(SqlDdl, CreateIndexBuildsTheTagAtOnceAndDropIndexRemovesIt) {
  MakeTable("people", "ID,Integer;NAME,Char,10;CITY,Char,10;",
            {{"1", "Dora", "Rome"}, {"2", "Ann", "Oslo"}, {"3", "Cy", "Rome"}, {"4", "Bob", "Bern"}});
  ASSERT_EQ(Run("create index byname on people (name)"), 0u) << LastText();
  EXPECT_EQ(TagOrder("people", "byname"), (std::vector<uint32_t>{2, 4, 3, 1}));
  ASSERT_EQ(Run("CREATE INDEX bycity ON people (city, name)"), 0u) << LastText();
  EXPECT_EQ(TagOrder("people", "bycity"), (std::vector<uint32_t>{4, 2, 3, 1}));
  ASSERT_EQ(Run("create index newest on people (id desc)"), 0u) << LastText();
  EXPECT_EQ(TagOrder("people", "newest"), (std::vector<uint32_t>{4, 3, 2, 1}));
  ASSERT_EQ(Run("create index upname on people (upper(name) + city)"), 0u) << LastText();
  EXPECT_EQ(TagOrder("people", "upname"), (std::vector<uint32_t>{2, 4, 3, 1}));
  EXPECT_EQ(Query("select name, index_expression, index_options from system.indexes order by name"),
            (Rows{{"bycity", "city;name", "2"},
                  {"byname", "name", "0"},
                  {"newest", "id", "8"},
                  {"upname", "upper(name) + city", "0"}}));

  // A table handle opened afterwards has the tags as index orders.
  ADSHANDLE t = Open("people");
  UNSIGNED16 orders = 0;
  EXPECT_EQ(AdsGetNumIndexes(t, &orders), 0u) << LastText();
  EXPECT_EQ(orders, 4);
  AdsCloseTable(t);
  // A unique index over duplicate keys is refused; the table keeps the tags it had.
  EXPECT_EQ(Run("create unique index onecity on people (city)"), 7045u) << LastText();
  EXPECT_EQ(Query("select count(*) from system.indexes"), (Rows{{"4"}}));
  EXPECT_EQ(TagOrder("people", "byname"), (std::vector<uint32_t>{2, 4, 3, 1}));
  ASSERT_EQ(Run("create unique index oneid on people (id)"), 0u) << LastText();

  // An index is dropped by table.name or, in a dictionary, by its name alone; the dictionary
  // forgets it as the table's default index.
  ASSERT_EQ(Run("execute procedure sp_ModifyTableProperty('people', 'TABLE_DEFAULT_INDEX', 'byname', NULL)"), 0u)
      << LastText();
  ASSERT_EQ(Run("drop index people.byname"), 0u) << LastText();
  EXPECT_EQ(Query("select table_default_index from system.tables"), (Rows{{""}}));
  ASSERT_EQ(Run("drop index newest"), 0u) << LastText();
  ASSERT_EQ(Run("drop index people.bycity; drop index people.upname; drop index people.oneid"), 0u) << LastText();
  EXPECT_EQ(Query("select count(*) from system.indexes"), (Rows{{"0"}}));
  EXPECT_FALSE(fs::exists(ws_.Host("people.adi")));
  EXPECT_EQ(Query("select count(*) from people"), (Rows{{"4"}}));
}

TEST_F(SqlDdl, DropTableRemovesTheTableItsFilesAndItsEntry) {
  ASSERT_EQ(Run("create table notes (id integer, body memo); insert into notes values (1, 'text');"
                "create index byid on notes (id)"),
            0u)
      << LastText();
  for (const char* file : {"notes.adt", "notes.adm", "notes.adi"}) EXPECT_TRUE(fs::exists(ws_.Host(file))) << file;
  // Not while another open holds it.
  ADSHANDLE t = Open("notes");
  EXPECT_EQ(Run("drop table notes"), 5402u) << LastText();
  EXPECT_EQ(Run("drop index notes.byid"), 5402u) << LastText();
  EXPECT_EQ(Run("create index other on notes (id)"), 5402u) << LastText();
  AdsCloseTable(t);
  EXPECT_EQ(Query("select body from notes"), (Rows{{"text"}}));
  ASSERT_EQ(Run("drop table notes"), 0u) << LastText();
  for (const char* file : {"notes.adt", "notes.adm", "notes.adi"}) EXPECT_FALSE(fs::exists(ws_.Host(file))) << file;
  EXPECT_EQ(Tables(), Rows{});
  ADSHANDLE gone = 0;
  EXPECT_EQ(AdsOpenTable90(conn_, U8("notes"), nullptr, 0, 1, 1, 1, 0, nullptr, &gone), 5132u);
  // A dictionary entry whose file is already gone is removed as well.
  MakeTable("lost", "A,Integer;");
  fs::remove(ws_.Host("lost.adt"));
  ASSERT_EQ(Run("drop table lost"), 0u) << LastText();
  EXPECT_EQ(Tables(), Rows{});
}

TEST_F(SqlDdl, RefusedDefinitionsChangeNothing) {
  MakeTable("t", "A,Integer;NAME,Char,10;", {{"1", "keep"}});
  ASSERT_EQ(Run("create index ia on t (a)"), 0u) << LastText();
  struct Case {
    const char* sql;
    UNSIGNED32 code;
    const char* text;
  } cases[] = {
      {"create table t (a integer)", 7200, "NATIVEERROR = 2142;"},
      {"create table x (a nosuchtype)", 7200, "\"nosuchtype\""},
      {"create table x (a char)", 7200, "NATIVEERROR = 2100;"},
      {"create table x (a integer(4))", 7200, "NATIVEERROR = 2100;"},
      {"create table x (a numeric)", 7200, "NATIVEERROR = 2100;"},
      {"create table x (a integer not null)", 7200, "NATIVEERROR = 2140;"},
      {"create table x (a integer default 0)", 7200, "NATIVEERROR = 2140;"},
      {"create table x (a integer, a char(2))", 5408, "\"a\""},
      {"create table x (a integer, primary key (b))", 5147, "column \"b\""},
      {"create table x (a integer primary key, b integer primary key)", 7200, "NATIVEERROR = 2100;"},
      {"create table x (a integer", 7200, "NATIVEERROR = 2100;"},
      {"create table x ()", 7200, "NATIVEERROR = 2100;"},
      {"create table x (a integer) extra", 7200, "NATIVEERROR = 2100;"},
      {"create table \"C:\\elsewhere\\x\" (a integer)", 7200, "NATIVEERROR = 2100;"},
      {"drop table nowhere", 7200, "NATIVEERROR = 2101;"},
      {"create index ib on nowhere (a)", 7200, "NATIVEERROR = 2101;"},
      {"create index ib on t (nosuch)", 5303, "nosuch"},
      {"create index ib on t (a desc, name)", 7200, "NATIVEERROR = 2140;"},
      {"create index ia on t (name)", 7200, "NATIVEERROR = 2142;"},
      {"create index ib on t a", 7200, "NATIVEERROR = 2100;"},
      {"create index ib on t (a", 7200, "NATIVEERROR = 2100;"},
      {"drop index t.nosuch", 7200, "NATIVEERROR = 2102;"},
      {"drop index nosuch", 7200, "NATIVEERROR = 2102;"},
      {"alter table t add column b integer", 7200, "NATIVEERROR = 2140;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.sql), c.code) << c.sql << ": " << LastText();
    EXPECT_NE(LastText().find(c.text), std::string::npos) << c.sql << ": " << LastText();
  }
  EXPECT_FALSE(fs::exists(ws_.Host("x.adt")));
  EXPECT_EQ(Tables(), (Rows{{"t"}}));
  EXPECT_EQ(Query("select a, name from t"), (Rows{{"1", "keep"}}));
  EXPECT_EQ(Query("select name, index_expression from system.indexes"), (Rows{{"ia", "a"}}));
  EXPECT_EQ(TagOrder("t", "ia"), (std::vector<uint32_t>{1}));
}

TEST_F(SqlDdl, OnlyTheAdministratorDefinesTablesOfADictionary) {
  MakeTable("t", "A,Integer;");
  ASSERT_EQ(Run("execute procedure sp_CreateUser('clerk', 'pw', '')"), 0u) << LastText();
  ADSHANDLE clerk = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=clerk;Password=pw;", &clerk), 0u)
      << LastText();
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(clerk, &s), 0u);
  ADSHANDLE c = 0;
  for (const char* sql : {"create table mine (a integer)", "drop table t", "create index ia on t (a)"}) {
    EXPECT_EQ(AdsExecuteSQLDirect(s, U8(sql), &c), 5916u) << sql << ": " << LastText();
  }
  AdsDisconnect(clerk);
  EXPECT_EQ(Tables(), (Rows{{"t"}}));
}

TEST_F(SqlDdl, AFolderConnectionDefinesTheFoldersTableFiles) {
  ADSHANDLE folder = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.WinFolder() + ";", &folder), 0u) << LastText();
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(folder, &s), 0u);
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("create table loose (id integer, name char(8)); insert into loose values (5, "
                                      "'x'); create index byid on loose (id)"),
                                &c),
            0u)
      << LastText();
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(folder, U8("loose"), nullptr, 3, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  UNSIGNED16 fields = 0;
  EXPECT_EQ(AdsGetNumFields(t, &fields), 0u);
  EXPECT_EQ(fields, 2);
  AdsCloseTable(t);
  EXPECT_EQ(TagOrder("loose", "byid"), (std::vector<uint32_t>{1}));
  // The dictionary of the same folder does not list a free table.
  EXPECT_EQ(Tables(), Rows{});
  // Without a dictionary an index is named with its table.
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8("drop index byid"), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2100;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("drop index loose.byid; drop table loose"), &c), 0u) << LastText();
  EXPECT_FALSE(fs::exists(ws_.Host("loose.adt")));
  AdsDisconnect(folder);
}

TEST_F(SqlDdl, AStatementPreparedBeforeItsTableChangedMustBeMadeAgain) {
  MakeTable("t", "A,Integer;", {{"1"}});
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s, const_cast<WCHAR*>(u"select * from t")), 0u) << LastText();
  ASSERT_EQ(Run("drop table t; create table t (b char(5), c integer); insert into t values ('new', 2)"), 0u)
      << LastText();
  ADSHANDLE c = 0;
  EXPECT_EQ(AdsExecuteSQL(s, &c), 7209u);
  EXPECT_NE(LastText().find("create it again"), std::string::npos) << LastText();
  // Closed, created and prepared again, the statement reads the new table.
  ASSERT_EQ(AdsCloseSQLStatement(s), 0u);
  ADSHANDLE s2 = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s2, const_cast<WCHAR*>(u"select * from t")), 0u) << LastText();
  ASSERT_EQ(AdsExecuteSQL(s2, &c), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"new", "2"}}));
}

TEST_F(SqlDdl, VerifyChecksWithoutRunning) {
  MakeTable("t", "A,Integer;");
  ADSHANDLE s = Statement();
  struct Case {
    const char16_t* sql;
    UNSIGNED32 code;
  } cases[] = {
      {u"select a from t", 0},
      {u"insert into t values (1)", 0},
      {u"create table q (a integer); insert into q values (1); select * from q", 0},
      {u"create index ia on t (a)", 0},
      {u"drop table t", 0},
      {u"selec a from t", 7200},
      {u"select nosuch from t", 5147},
      {u"select * from nowhere", 7200},
      {u"create table q (a nosuchtype)", 7200},
      {u"create index ia on t", 7200},
      {u"", 7200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AdsVerifySQLW(s, const_cast<WCHAR*>(reinterpret_cast<const WCHAR*>(c.sql))), c.code) << LastText();
  }
  // Nothing ran.
  EXPECT_FALSE(fs::exists(ws_.Host("q.adt")));
  EXPECT_EQ(Tables(), (Rows{{"t"}}));
  EXPECT_EQ(Query("select count(*) from t"), (Rows{{"0"}}));
  EXPECT_EQ(Query("select count(*) from system.indexes"), (Rows{{"0"}}));
}

TEST_F(SqlDdl, UserAndGroupProceduresManageTheDictionary) {
  ASSERT_EQ(Run("execute procedure sp_CreateUser('mia', 'one', 'a clerk');"
                "execute procedure sp_CreateGroup('clerks', 'front desk');"
                "execute procedure sp_CreateGroup('night', '');"
                "execute procedure sp_AddUserToGroup('mia', 'clerks');"
                "execute procedure sp_AddUserToGroup('mia', 'night');"
                "execute procedure sp_RemoveUserFromGroup('mia', 'night');"
                "execute procedure sp_ModifyUserProperty('mia', 'USER_PASSWORD', 'two')"),
            0u)
      << LastText();
  auto login = [&](const char* password) {
    ADSHANDLE h = 0;
    UNSIGNED32 rc =
        acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=mia;Password=" + password + ";", &h);
    if (rc == 0) AdsDisconnect(h);
    return rc;
  };
  EXPECT_NE(login("one"), 0u);
  EXPECT_EQ(login("two"), 0u) << LastText();
  // The groups of the user, as the components read them.
  UNSIGNED8 groups[100];
  UNSIGNED16 len = sizeof groups;
  ASSERT_EQ(AdsDDGetUserProperty(conn_, U8("mia"), ADS_DD_USER_GROUP_MEMBERSHIP, groups, &len), 0u) << LastText();
  std::string got(reinterpret_cast<char*>(groups), len);
  got.erase(got.find_last_not_of('\0') + 1);
  EXPECT_EQ(got, "clerks");
  ASSERT_EQ(Run("execute procedure sp_DropUser('mia')"), 0u) << LastText();
  EXPECT_NE(login("two"), 0u);
  EXPECT_EQ(Run("execute procedure sp_ModifyUserProperty('nobody', 'USER_PASSWORD', 'x')"), 5132u) << LastText();
  EXPECT_EQ(Run("execute procedure sp_ModifyUserProperty('adssys', 'USER_DESCRIPTION', 'x')"), 7200u) << LastText();
}

}  // namespace

namespace {

class SqlIndexLookup : public sqltest::SqlTest {};

// Equality on a column with an index tag of its own is answered from the tag; the rows are the
// same as those of a full scan in every case, and the plan says which way the table was read.
TEST_F(SqlIndexLookup, EqualityOnAnIndexedColumnReadsTheTagAndGivesTheScansRows) {
  MakeTable("people", "ID,Integer;NAME,Char,10;CI,CIChar,10;SCORE,Double;DAY,Date;",
            {{"3", "Ann", "Ann", "1.5", "01/02/2024"},
             {"1", "Bob", "bob", "2", "01/02/2024"},
             {"3", "Cy", "CY", "1.5", "03/04/2023"},
             {"2", "Ann", "ann", "3", ""},
             {"5", "Dora", "Dora", "2", "12/31/2024"},
             {"3", "Eve", "eve", "", "03/04/2023"}});
  ASSERT_EQ(Run("create index byid on people (id); create index byname on people (name);"
                "create index byci on people (ci); create index byscore on people (score);"
                "create index byupperci on people (upper(ci)); create index byday on people (day)"),
            0u)
      << LastText();
  // A deleted record and one appended after the index was made.
  ASSERT_EQ(Run("delete from people where name = 'Cy'; insert into people values (3, 'Fay', 'fay', 9, '2024-12-31')"),
            0u)
      << LastText();
  struct Case {
    const char* condition;   // on an indexed column
    const char* scanned;     // the same condition written so that it cannot use an index
    bool usesIndex;
  } cases[] = {
      {"id = 3", "+id = 3", true},
      {"id = ?", "+id = ?", true},
      {"3 = id", "3 = +id", true},
      {"id = 4", "+id = 4", true},
      {"id = 3.5", "+id = 3.5", true},
      {"id = '3'", "+id = 3", true},  // the column's affinity makes the text a number
      {"id = null", "+id = null", true},
      {"name = 'Ann'", "+name = 'Ann'", true},
      {"name = 'Ann  '", "+name = 'Ann  '", true},
      {"name = 'An'", "+name = 'An'", true},
      {"score = 1.5", "+score = 1.5", true},
      {"score = 2", "+score = 2", true},
      // Compared without case: answered by the tag of UPPER(ci), not by the one of ci.
      {"ci = 'ANN'", "+ci = 'ANN'", true},
      {"ci = 'fay'", "+ci = 'fay'", true},
      {"ci = 'ann '", "+ci = 'ann '", true},
      {"day = '2024-01-02'", "+day = '2024-01-02'", true},
      {"day = '2024-12-31'", "+day = '2024-12-31'", true},
      {"day = '2024-1-2'", "+day = '2024-1-2'", true},  // no date field reads so: no row
      {"day = 'soon'", "+day = 'soon'", true},
      {"day = null", "+day = null", true},
      // Ranges on a number or date column whose tag is the column itself.
      {"id > 2", "+id > 2", true},
      {"id between 2 and 3", "+id between 2 and 3", true},
      {"id >= 3 and id < 5", "+id >= 3 and +id < 5", true},
      {"id < 2.5", "+id < 2.5", true},
      {"id > 2.5 and id <= 5.5", "+id > 2.5 and +id <= 5.5", true},
      {"id > null", "+id > null", true},
      {"id > '2'", "+id > 2", true},  // read by a scan: text is no bound on the keys
      {"score >= 2", "+score >= 2", true},
      {"score < 2", "+score < 2", true},
      {"day > '2024-01-02'", "+day > '2024-01-02'", true},
      {"day between '2023-01-01' and '2024-01-02'", "+day between '2023-01-01' and '2024-01-02'", true},
      {"day >= '2024-1-2'", "+day >= '2024-1-2'", true},  // not as dates read: a scan
      {"name > 'B'", "+name > 'B'", false},  // texts compare otherwise than their keys
      {"ci < 'c'", "+ci < 'c'", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    auto rows = [&](const std::string& condition) {
      ADSHANDLE s = Statement();
      std::string sql = "select id, name from people where " + condition + " order by name";
      std::u16string wide(sql.begin(), sql.end());
      EXPECT_EQ(AdsPrepareSQLW(s, reinterpret_cast<WCHAR*>(wide.data())), 0u) << LastText();
      if (condition.find('?') != std::string::npos) {
        EXPECT_EQ(AdsSetDouble(s, ADSFIELD(1), 3), 0u) << LastText();
      }
      ADSHANDLE cursor = 0;
      EXPECT_EQ(AdsExecuteSQL(s, &cursor), 0u) << LastText();
      return cursor ? sqltest::ReadAll(cursor) : Rows{};
    };
    EXPECT_EQ(rows(c.condition), rows(c.scanned));
    // Ordered by an indexed column in either direction, a lookup gives the scan's sequence.
    if (std::string(c.condition).find('?') == std::string::npos) {
      for (const char* column : {"id", "score", "day"}) {
        for (const char* direction : {"", " desc"}) {
          std::string order = std::string(" order by ") + column + direction;
          std::string select = std::string("select ") + column + " from people where ";
          EXPECT_EQ(Query(select + c.condition + order), Query(select + c.scanned + order)) << order;
        }
      }
    }
    if (std::string(c.condition).find('?') == std::string::npos) {
      Rows plan = Query(std::string("explain query plan select id from people where ") + c.condition);
      ASSERT_FALSE(plan.empty());
      bool indexed = plan[0].back().find("INDEX 0") == std::string::npos;
      EXPECT_EQ(indexed, c.usesIndex) << plan[0].back();
    }
  }
  // An ORDER BY of the looked-up column alone walks its tag instead of sorting the rows.
  struct Ordered {
    const char* select;
    bool sorts;
  } ordered[] = {
      {"select id from people where id > 1 order by id", false},
      {"select id from people where id between 2 and 4 order by id desc", false},
      {"select name from people where day < '2024-06-01' order by day", false},
      {"select id from people where id = 3 order by id", false},
      {"select id from people where id > 1 order by id, name", true},
      {"select id from people where id > 1 order by name", true},
      {"select id from people where name = 'Ann' order by id", true},
  };
  for (const Ordered& o : ordered) {
    std::string plan;
    for (const auto& row : Query(std::string("explain query plan ") + o.select)) plan += row.back() + "\n";
    EXPECT_EQ(plan.find("ORDER BY") != std::string::npos, o.sorts) << o.select << "\n" << plan;
  }
  EXPECT_EQ(Query("select id from people where id between 2 and 4 order by id desc"), (Rows{{"3"}, {"3"}, {"3"}, {"2"}}));
  EXPECT_EQ(Query("select name from people where id = 3 order by name"), (Rows{{"Ann"}, {"Eve"}, {"Fay"}}));
  EXPECT_EQ(Query("select id from people where ci = 'ANN' order by id"), (Rows{{"2"}, {"3"}}));
  EXPECT_EQ(Query("select name from people where day = '2024-12-31' order by name"), (Rows{{"Dora"}, {"Fay"}}));
}

// Statements whose ORDER BY a lookup's tag may give, each run once on the indexed column and
// once with the column written as "+column", which SQLite can neither look up nor take its
// order from, so it scans and sorts. Both must give the same sequence of ordering values and
// the same rows (rows whose ordering values tie may come in another order; where the ORDER BY
// names a column that tells every row apart, the sequences must be equal row for row). The
// table has ties, empty values, negative numbers, deleted records and records appended after
// the indexes were made, and more rows than a lookup reads at once.
TEST_F(SqlIndexLookup, AnOrderByALookupsTagGivesTheScansSequence) {
  Rows rows;
  auto date = [](int day) {
    // Days from 2023-01-01 over two years, as MM/DD/YYYY.
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 2023 + day / 365, d = day % 365, month = 0;
    while (d >= kMonthDays[month]) d -= kMonthDays[month++];
    return std::to_string(month + 101).substr(1) + "/" + std::to_string(d + 101).substr(1) + "/" +
           std::to_string(year);
  };
  for (int n = 0; n < 1200; ++n) {
    char score[16];
    std::snprintf(score, sizeof score, "%.2f", ((n * 13) % 29) / 4.0 - 3);
    rows.push_back({n % 50 == 7 ? "" : std::to_string((n * 37) % 101 - 20), n % 40 == 3 ? "" : score,
                    n % 30 == 11 ? "" : date((n * 7) % 730), "r" + std::to_string(n)});
  }
  MakeTable("marks", "ID,Integer;SCORE,Double;DAY,Date;NAME,Char,10;", rows);
  MakeTable("picks", "POS,Integer;REF,Integer;", {{"1", "40"}, {"2", "-3"}, {"3", "17"}, {"4", "40"}, {"5", "99"}});
  ASSERT_EQ(Run("create index byid on marks (id); create index byscore on marks (score);"
                "create index byday on marks (day)"),
            0u)
      << LastText();
  ASSERT_EQ(Run("delete from marks where name like 'r1%5' or name like 'r3%'; "
                "insert into marks values (17, -3, '2023-05-05', 'late1'); "
                "insert into marks values (-20, 4, '2024-12-31', 'late2'); "
                "insert into marks values (null, 0, null, 'late3')"),
            0u)
      << LastText();

  struct Case {
    const char* select;  // {c} is where the indexed column goes: "c" or "+c"
    bool unique;         // the ORDER BY tells every row apart: compare row for row
    int sorts;           // whether the plan sorts the rows (1) or takes the tag's order (0); -1 not checked
    const char* scanned = nullptr;  // the scanning statement where "+c" would not mean the same
  } cases[] = {
      {"select id, name from marks where {id} between -5 and 60 order by id", false, 0},
      {"select id, name from marks where {id} between -5 and 60 order by id desc", false, 0},
      {"select id, name from marks where {id} >= -100 order by id desc", false, 0},  // the whole table
      {"select id, name from marks where {id} < 0 order by id", false, 0},
      {"select id, name from marks where {id} > 2.5 and {id} <= 9.5 order by id desc", false, 0},
      {"select id, name from marks where {id} > 79 order by id", false, 0},  // nothing above 80
      // A text bound is no bound on the keys (the walk passes every key); the scan needs the number.
      {"select id, name from marks where {id} > '2' order by id desc", false, 0,
       "select id, name from marks where +id > 2 order by id desc"},
      {"select id, name from marks where {id} = 7 order by id desc", false, 0},
      {"select score, name from marks where {score} >= -1.5 order by score desc", false, 0},
      {"select score, name from marks where {score} < 0 order by score", false, 0},
      {"select day, name from marks where {day} between '2023-03-01' and '2024-02-01' order by day desc", false, 0},
      {"select day, name from marks where {day} > '2023-06-30' order by day", false, 0},
      {"select day, name from marks where {day} = '2023-05-05' order by day", false, 0},
      // LIMIT and OFFSET take their rows from the ordered sequence.
      {"select id from marks where {id} > 10 order by id desc limit 7 offset 5", false, 0},
      {"select id from marks where {id} between 0 and 50 order by id limit 3", false, 0},
      // Orders the tag cannot give are sorted.
      {"select id, name from marks where {id} between 3 and 30 order by id, name", true, 1},
      {"select id, name from marks where {id} between 3 and 30 order by id desc, name desc", true, 1},
      {"select name, id from marks where {id} between 3 and 30 order by name", true, 1},
      {"select score, name from marks where {id} > 0 order by score desc", false, 1},
      {"select id, name from marks where {id} >= 0 order by id nulls last", false, -1},
      {"select id, name from marks where {id} >= 0 order by id desc nulls first", false, -1},
      {"select id, name from marks where {id} in (40, -3, 17) order by id desc", false, -1},
      // Grouping and distinct values over a walked range.
      {"select id, count(*), sum(score) from marks where {id} > 0 group by id", true, -1},
      {"select distinct id from marks where {id} < 50 order by id desc", true, -1},
      // The table as the inner side of a join, looked up once per outer row.
      {"select m.id, p.pos, m.name from picks p join marks m on {m.id} = p.ref order by m.id", false, -1},
      {"select m.id, p.pos, m.name from picks p join marks m on {m.id} = p.ref order by m.id desc", false, -1},
      {"select m.id, p.pos, m.name from picks p join marks m on {m.id} between p.ref and p.ref + 2 "
       "order by m.id desc", false, -1},
  };
  auto spell = [](std::string sql, bool scanned) {
    for (const char* column : {"m.id", "id", "score", "day"}) {
      std::string mark = std::string("{") + column + "}";
      for (size_t at; (at = sql.find(mark)) != std::string::npos;) {
        sql.replace(at, mark.size(), (scanned ? "+" : "") + std::string(column));
      }
    }
    return sql;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select);
    Rows looked = Query(spell(c.select, false)), scanned = Query(c.scanned ? c.scanned : spell(c.select, true));
    ASSERT_EQ(looked.size(), scanned.size());
    if (c.unique) {
      EXPECT_EQ(looked, scanned);
    } else {
      std::vector<std::string> lookedOrder, scannedOrder;
      for (size_t i = 0; i < looked.size(); ++i) {
        lookedOrder.push_back(looked[i][0]);
        scannedOrder.push_back(scanned[i][0]);
      }
      EXPECT_EQ(lookedOrder, scannedOrder);
      std::sort(looked.begin(), looked.end());
      std::sort(scanned.begin(), scanned.end());
      EXPECT_EQ(looked, scanned);
    }
    if (c.sorts >= 0) {
      std::string plan;
      for (const auto& row : Query("explain query plan " + spell(c.select, false))) plan += row.back() + "\n";
      EXPECT_EQ(plan.find("FOR ORDER BY") != std::string::npos, c.sorts == 1) << plan;
      EXPECT_EQ(plan.find("INDEX 0") != std::string::npos, false) << plan;
    }
  }
  // The walk gives ties by record number, upwards or downwards with the order.
  EXPECT_EQ(Query("select name from marks where id = -20 order by id"),
            Query("select name from marks where +id = -20 order by rowid"));
  EXPECT_EQ(Query("select name from marks where id between -20 and -20 order by id desc"),
            Query("select name from marks where +id = -20 order by rowid desc"));
}

// A lookup whose ORDER BY the tag was to give still sorts its rows when the index cannot be
// read: the statement falls back to the scan and sorts the records itself.
// An ordered lookup gives its rows in the tag's order but reads the records in file order, many
// with one read where they lie close together. Each tag entry must still get its own record:
// here each key's records lie 24 records apart, so a range gathers records past the ones it
// wants, and (plain table) another connection's transaction has changed some of them, which
// the lookup shows as committed. Encrypted records are read one run of neighbours at a time.
TEST_F(SqlIndexLookup, AnOrderedLookupGivesEachKeyItsCommittedRecord) {
  for (bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "encrypted" : "plain");
    const std::string table = encrypted ? "tally_enc" : "tally";
    Rows rows;
    for (int n = 1; n <= 240; ++n) rows.push_back({std::to_string(n % 24), "n" + std::to_string(n)});
    MakeTable(table, "ID,Integer;NAME,Char,10;", rows);
    ASSERT_EQ(Run("create index byid on " + table + " (id)"), 0u) << LastText();
    if (encrypted) {
      ADSHANDLE t = 0;
      ASSERT_EQ(AdsOpenTable90(conn_, U8(table), nullptr, 3, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &t), 0u) << LastText();
      ASSERT_EQ(AdsEnableEncryption(t, U8("tally pw")), 0u) << LastText();
      ASSERT_EQ(AdsEncryptTable(t), 0u) << LastText();
      ASSERT_EQ(AdsCloseTable(t), 0u);
    }
    // Another connection changes records 30 (key 6) and 55 (key 7) in a transaction it keeps open.
    ADSHANDLE other = 0, otherTable = 0;
    ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;", &other), 0u) << LastText();
    if (!encrypted) {
      ASSERT_EQ(AdsOpenTable90(other, U8(table), nullptr, 3, 1, 1, 1, 0, nullptr, &otherTable), 0u) << LastText();
      ASSERT_EQ(AdsBeginTransaction(other), 0u);
      for (UNSIGNED32 recno : {30u, 55u}) {
        ASSERT_EQ(AdsGotoRecord(otherTable, recno), 0u);
        ASSERT_EQ(AdsSetString(otherTable, U8("NAME"), U8("dirty"), 5), 0u) << LastText();
        ASSERT_EQ(AdsWriteRecord(otherTable), 0u) << LastText();
      }
    }

    ADSHANDLE s = Statement();
    if (encrypted) ASSERT_EQ(AdsStmtSetTablePassword(s, U8(table), U8("tally pw")), 0u);
    struct Case {
      int from, to;
      bool descending;
    } cases[] = {{5, 9, false}, {5, 9, true}, {0, 23, false}, {22, 23, true}, {7, 7, false}};
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + (c.descending ? " desc" : ""));
      // Ties come by record number, upwards for ascending and downwards for descending.
      Rows expected;
      for (int id = c.from; id <= c.to; ++id) {
        for (int n = id == 0 ? 24 : id; n <= 240; n += 24) expected.push_back({std::to_string(id), "n" + std::to_string(n)});
      }
      if (c.descending) std::reverse(expected.begin(), expected.end());
      ADSHANDLE cursor = 0;
      ASSERT_EQ(Run("select id, name from " + table + " where id between " + std::to_string(c.from) + " and " +
                        std::to_string(c.to) + " order by id" + (c.descending ? " desc" : ""),
                    &cursor, s),
                0u)
          << LastText();
      EXPECT_EQ(sqltest::ReadAll(cursor), expected);
      AdsCloseTable(cursor);
    }
    if (!encrypted) ASSERT_EQ(AdsRollbackTransaction(other), 0u);
    AdsDisconnect(other);
  }
}

TEST_F(SqlIndexLookup, AnOrderedLookupOverADamagedIndexStillSorts) {
  MakeTable("tides", "ID,Integer;AT,Date;",
            {{"4", "01/05/2024"}, {"1", ""}, {"3", "01/02/2024"}, {"2", "01/09/2024"}, {"5", "01/01/2024"}});
  ASSERT_EQ(Run("create index byid on tides (id); create index byat on tides (at)"), 0u) << LastText();
  EXPECT_EQ(Query("select id from tides where id > 1 order by id desc"), (Rows{{"5"}, {"4"}, {"3"}, {"2"}}));
  acetest::WriteFile(ws_.Host("tides.adi"), std::string(4096, '\xA5'));
  EXPECT_EQ(Query("select id from tides where id > 1 order by id desc"), (Rows{{"5"}, {"4"}, {"3"}, {"2"}}));
  EXPECT_EQ(Query("select id from tides where id >= 2 order by id"), (Rows{{"2"}, {"3"}, {"4"}, {"5"}}));
  EXPECT_EQ(Query("select id from tides where at >= '2024-01-02' order by at"), (Rows{{"3"}, {"4"}, {"2"}}));
}

}  // namespace
