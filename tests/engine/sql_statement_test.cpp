// SQL statements and their cursors through the C interface: the dictionary's table list, what
// every reading call does on a cursor, statement handles, and the error formats.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastCode;
using sqltest::LastText;
using sqltest::Rows;

class SqlStatement : public sqltest::SqlTest {};

TEST_F(SqlStatement, SystemTablesListsExactlyTheDictionarysTables) {
  MakeTable("customers", "ID,Integer;NAME,Char,20;");
  MakeTable("orders", "ID,Integer;");
  MakeTable("Items", "ID,Integer;");
  // A table file beside the dictionary that the dictionary does not hold is not listed.
  ADSHANDLE free = 0;
  ASSERT_EQ(AdsCreateTable90(0, U8(ws_.Win("loose.adt")), nullptr, 3, 1, 1, 1, 0, U8("A,Integer;"), 0, nullptr, &free),
            0u);
  AdsCloseTable(free);

  ADSHANDLE cursor = 0;
  ASSERT_EQ(Run("select name from system.tables", &cursor), 0u) << LastText();
  ASSERT_NE(cursor, 0u);
  EXPECT_EQ(sqltest::FieldNames(cursor), std::vector<std::string>{"Name"});
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetHandleType(cursor, &type), 0u);
  EXPECT_EQ(type, ADS_CURSOR);
  Rows rows = sqltest::ReadAll(cursor);
  std::vector<std::string> names;
  for (auto& r : rows) names.push_back(r[0]);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Items", "customers", "orders"}));
  UNSIGNED32 count = 0;
  EXPECT_EQ(AdsGetRecordCount(cursor, 2, &count), 0u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(AdsCloseTable(cursor), 0u);
}

TEST_F(SqlStatement, AnEmptyDictionaryGivesAnEmptyCursor) {
  ADSHANDLE cursor = 0;
  ASSERT_EQ(Run("select name from system.tables", &cursor), 0u) << LastText();
  UNSIGNED16 eof = 0, bof = 0;
  EXPECT_EQ(AdsGotoTop(cursor), 0u);
  EXPECT_EQ(AdsAtEOF(cursor, &eof), 0u);
  EXPECT_EQ(AdsAtBOF(cursor, &bof), 0u);
  EXPECT_EQ(eof, 1);
  EXPECT_EQ(bof, 1);
  AdsCloseTable(cursor);
}

TEST_F(SqlStatement, ACursorIsReadLikeATable) {
  MakeTable("people", "ID,Integer;NAME,Char,20;BORN,Date;SCORE,Double,2;OK,Logical;",
            {{"1", "Ann", "03/04/1990", "1.5", "T"}, {"2", "Bob", "", "2.25", "F"}, {"3", "Cy", "12/31/2000", "", ""}});
  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select id, name, born, score, ok from people order by id desc", &c), 0u) << LastText();
  // The selected columns keep their engine types and lengths.
  struct Expect {
    const char* field;
    UNSIGNED16 type;
  } expects[] = {{"id", 11}, {"name", 4}, {"born", 3}, {"score", 10}, {"ok", 1}};
  for (const auto& e : expects) {
    UNSIGNED16 t = 0;
    EXPECT_EQ(AdsGetFieldType(c, U8(e.field), &t), 0u) << e.field;
    EXPECT_EQ(t, e.type) << e.field;
  }
  UNSIGNED32 len = 0;
  EXPECT_EQ(AdsGetFieldLength(c, U8("name"), &len), 0u);
  EXPECT_EQ(len, 20u);

  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"3", "Cy", "12/31/2000", "", ""},
                                       {"2", "Bob", "", "2.25", "F"},
                                       {"1", "Ann", "03/04/1990", "1.50", "T"}}));
  // Navigation, record numbers, typed getters and bookmarks.
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsSkip(c, 1), 0u);
  UNSIGNED32 recno = 0;
  EXPECT_EQ(AdsGetRecordNum(c, 2, &recno), 0u);
  EXPECT_EQ(recno, 2u);
  SIGNED32 id = 0;
  EXPECT_EQ(AdsGetLong(c, U8("ID"), &id), 0u);
  EXPECT_EQ(id, 2);
  DOUBLE score = 0;
  EXPECT_EQ(AdsGetDouble(c, U8("SCORE"), &score), 0u);
  EXPECT_DOUBLE_EQ(score, 2.25);
  ADSHANDLE mark = 0;
  ASSERT_EQ(AdsGetBookmark(c, &mark), 0u);
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsGotoBookmark(c, mark), 0u);
  EXPECT_EQ(AdsGetLong(c, U8("ID"), &id), 0u);
  EXPECT_EQ(id, 2);
  ASSERT_EQ(AdsSkip(c, -5), 0u);
  UNSIGNED16 bof = 0;
  EXPECT_EQ(AdsAtBOF(c, &bof), 0u);
  EXPECT_EQ(bof, 1);
  // The cursor is static: read-only, and AdsSqlPeekStatement says so.
  UNSIGNED32 options = 0;
  EXPECT_EQ(AdsGetTableOpenOptions(c, &options), 0u);
  EXPECT_TRUE(options & ADS_READONLY);
  UNSIGNED16 live = 9;
  EXPECT_EQ(AdsSqlPeekStatement(c, &live), 0u);
  EXPECT_EQ(live, 0);
  ASSERT_EQ(AdsGotoTop(c), 0u);
  EXPECT_NE(AdsSetString(c, U8("NAME"), U8("x"), 1), 0u);
  AdsCloseTable(c);
}

TEST_F(SqlStatement, StatementHandlesAndTheirLifetime) {
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(conn_, &s), 0u);
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetHandleType(s, &type), 0u);
  EXPECT_EQ(type, ADS_STATEMENT);
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("select name from system.tables"), &c), 0u);
  ASSERT_EQ(AdsCloseSQLStatement(s), 0u);
  // The statement's cursors go with it; the statement handle is stale afterwards.
  EXPECT_EQ(AdsGotoTop(c), 5901u);
  EXPECT_EQ(AdsCloseSQLStatement(s), 5106u);
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8("select 1"), &c), 5106u);
  EXPECT_EQ(AdsCloseSQLStatement(0), 5106u);
  EXPECT_EQ(AdsCreateSQLStatement(0, &s), 5024u);
  // A statement used after its connection was closed is stale too.
  ADSHANDLE s2 = 0;
  ASSERT_EQ(AdsCreateSQLStatement(conn_, &s2), 0u);
  ASSERT_EQ(AdsDisconnect(conn_), 0u);
  conn_ = 0;
  EXPECT_EQ(AdsExecuteSQLDirect(s2, U8("select 1"), &c), 5106u);
}

TEST_F(SqlStatement, PreparedStatementsRunAgainAndEachRunGivesAFreshCursor) {
  MakeTable("t", "ID,Integer;", {{"1"}, {"2"}});
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s, const_cast<WCHAR*>(u"select count(*) as n from t")), 0u) << LastText();
  ADSHANDLE c1 = 0, c2 = 0;
  ASSERT_EQ(AdsExecuteSQL(s, &c1), 0u) << LastText();
  ASSERT_EQ(AdsExecuteSQL(s, &c2), 0u) << LastText();
  EXPECT_NE(c1, c2);
  EXPECT_EQ(sqltest::ReadAll(c1), (Rows{{"2"}}));
  EXPECT_EQ(sqltest::ReadAll(c2), (Rows{{"2"}}));
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetFieldType(c1, U8("n"), &type), 0u);
  EXPECT_EQ(type, 11);  // a computed count is an Integer
  // A statement that produces no rows hands back no cursor; neither does a null out-parameter.
  EXPECT_EQ(AdsExecuteSQL(s, nullptr), 0u);
  ADSHANDLE none = 99;
  EXPECT_EQ(AdsExecuteSQLDirectW(s, const_cast<WCHAR*>(u"update t set id = id + 10"), &none), 0u) << LastText();
  EXPECT_EQ(none, 0u);
  // The wide text is the same SQL.
  ADSHANDLE c3 = 0;
  ASSERT_EQ(AdsExecuteSQLDirectW(s, const_cast<WCHAR*>(u"select id from t order by id"), &c3), 0u);
  EXPECT_EQ(sqltest::ReadAll(c3), (Rows{{"11"}, {"12"}}));
  // Executing without a prepared text fails cleanly.
  ADSHANDLE s2 = Statement();
  EXPECT_EQ(AdsExecuteSQL(s2, &c3), 7200u);
}

TEST_F(SqlStatement, RowsAffectedComeFromTheStatement) {
  MakeTable("t", "ID,Integer;NAME,Char,10;", {{"1", "a"}, {"2", "b"}, {"3", "c"}});
  ADSHANDLE s = Statement();
  ADSHANDLE c = 0;
  UNSIGNED32 n = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("update t set name = 'z' where id >= 2"), &c), 0u) << LastText();
  EXPECT_EQ(AdsGetRecordCount(s, 2, &n), 0u);
  EXPECT_EQ(n, 2u);
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("delete from t where id = 1"), &c), 0u) << LastText();
  EXPECT_EQ(AdsGetRecordCount(s, 2, &n), 0u);
  EXPECT_EQ(n, 1u);
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("insert into t (id, name) values (7, 'q')"), &c), 0u) << LastText();
  EXPECT_EQ(AdsGetRecordCount(s, 2, &n), 0u);
  EXPECT_EQ(n, 1u);
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("select * from t"), &c), 0u);
  EXPECT_EQ(AdsGetRecordCount(s, 2, &n), 5117u);
  AdsCloseTable(c);
  EXPECT_EQ(Query("select id, name from t order by id"), (Rows{{"2", "z"}, {"3", "z"}, {"7", "q"}}));
}

TEST_F(SqlStatement, ErrorsCarryTheirDocumentedCodesAndTexts) {
  MakeTable("t", "ID,Integer;NAME,Char,10;");
  MakeTable("u", "ID,Integer;");
  struct Case {
    const char* sql;
    UNSIGNED32 code;
    const char* text;  // a part of the error text
  } cases[] = {
      {"selec * from t", 7200, "NATIVEERROR = 2100;"},
      {"select * from nowhere", 7200, "NATIVEERROR = 2101;"},
      {"select * from t where", 7200, "NATIVEERROR = 2100;"},
      {"select nosuch from t", 5147, "column \"nosuch\""},
      {"select id from t, u", 5148, "column \"id\""},
      {"insert into t (id) values ('abc')", 5149, "column \"ID\""},
      {"select nofunction(id) from t", 7200, "NATIVEERROR = 2103;"},
      {"execute procedure sp_nothing()", 7200, "NATIVEERROR = 2140;"},
      {"create view v as select * from t", 7200, "NATIVEERROR = 2140;"},
      {"attach database 'x.db' as x", 7200, "NATIVEERROR = 2140;"},
      {"pragma table_info(t)", 7200, "NATIVEERROR = 2140;"},
      {"", 7200, "NATIVEERROR = 2100;"},
      {"select id from t where count(*) > 1", 7200, "NATIVEERROR = 2104;"},
      {"select id from t limit 'many'", 7200, "NATIVEERROR = 2106;"},
      {"select abs(-9223372036854775808)", 7200, "NATIVEERROR = 2199;"},
  };
  for (const Case& c : cases) {
    ADSHANDLE cursor = 0;
    EXPECT_EQ(Run(c.sql, &cursor), c.code) << c.sql;
    std::string text = LastText();
    EXPECT_NE(text.find(c.text), std::string::npos) << c.sql << ": " << text;
    if (c.code == 7200) EXPECT_NE(text.find("Error 7200:"), std::string::npos) << text;
  }
}

// The session keeps what it learnt of a table between statements, but every statement sees
// the table as it is: no file stays open in between, and changes made elsewhere (fields added,
// the table dropped or made again) are seen by the next statement.
TEST_F(SqlStatement, EachStatementSeesTheTableAsItIsNow) {
  MakeTable("t", "ID,Integer;NAME,Char,10;", {{"1", "Ann"}, {"2", "Bob"}});
  ADSHANDLE s = Statement();
  auto rows = [&](const char* sql) {
    ADSHANDLE c = 0;
    EXPECT_EQ(AdsExecuteSQLDirect(s, U8(sql), &c), 0u) << sql << ": " << LastText();
    Rows r = c ? sqltest::ReadAll(c) : Rows{};
    if (c) AdsCloseTable(c);
    return r;
  };
  EXPECT_EQ(rows("select * from t where id = 2"), (Rows{{"2", "Bob"}}));
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("insert into t values (3, 'Cy')"), nullptr), 0u) << LastText();

  // Nothing holds the table between statements: it opens exclusively.
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("t"), nullptr, 0, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &t), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);

  // Fields added outside SQL: reading and inserting both take the new fields.
  ASSERT_EQ(AdsRestructureTable90(conn_, U8("t"), nullptr, 3, 1, 1, 1, U8("SCORE,Integer;"), nullptr, nullptr, 0,
                                  nullptr),
            0u)
      << LastText();
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("insert into t values (4, 'Dee', 7)"), nullptr), 0u) << LastText();
  EXPECT_EQ(rows("select * from t order by id"), (Rows{{"1", "Ann", ""}, {"2", "Bob", ""}, {"3", "Cy", ""},
                                                      {"4", "Dee", "7"}}));

  // Dropped and made again with other fields through another connection.
  ADSHANDLE other = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;", &other), 0u)
      << LastText();
  ADSHANDLE os = 0;
  ASSERT_EQ(AdsCreateSQLStatement(other, &os), 0u);
  ASSERT_EQ(AdsExecuteSQLDirect(os, U8("drop table t"), nullptr), 0u) << LastText();
  ADSHANDLE c = 0;
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8("select * from t"), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2101;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsExecuteSQLDirect(os, U8("create table t (CODE char(4)); insert into t values ('x')"), nullptr), 0u)
      << LastText();
  EXPECT_EQ(rows("select * from t"), (Rows{{"x"}}));
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("update t set code = 'y'"), nullptr), 0u) << LastText();
  EXPECT_EQ(rows("select code from t"), (Rows{{"y"}}));
  AdsCloseSQLStatement(os);
  AdsDisconnect(other);
}

}  // namespace
