// What SQL statements do to and with the data: joins, grouping, parameters of every setter,
// static and live cursors, procedures, timeouts and the abort callback.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "ace/ace.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastCode;
using sqltest::LastText;
using sqltest::Rows;

class SqlExecution : public sqltest::SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    MakeTable("cust", "ID,Integer;NAME,Char,20;", {{"1", "Ann"}, {"2", "Bob"}, {"3", "Cy"}});
    MakeTable("orders", "NO,Integer;CUST,Integer;AMOUNT,Double,2;DAY,Date;",
              {{"10", "1", "5.5", "01/02/2024"}, {"11", "1", "4.5", "01/03/2024"}, {"12", "2", "7", "02/01/2024"}});
  }
};

TEST_F(SqlExecution, JoinsGroupingAndOrdering) {
  EXPECT_EQ(Query("select c.name, count(*) as n, sum(o.amount) as total from cust c join orders o on o.cust = c.id "
                  "group by c.name order by total desc"),
            (Rows{{"Ann", "2", "10"}, {"Bob", "1", "7"}}));
  EXPECT_EQ(Query("select c.name from cust c left join orders o on o.cust = c.id where o.no is null"), (Rows{{"Cy"}}));
  EXPECT_EQ(Query("select no from orders where day >= '2024-01-03' order by no"), (Rows{{"11"}, {"12"}}));
}

TEST_F(SqlExecution, ParametersOfEverySetter) {
  MakeTable("p", "S,Char,10;W,NChar,5;L,Logical;D,Double,3;DT,Date;T,Time;TS,TimeStamp;B,Binary;E,Char,4;");
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s, const_cast<WCHAR*>(u"insert into p values (:s, :w, ?, :d, :dt, :t, :ts, :b, :e)")), 0u)
      << LastText();
  ASSERT_EQ(AdsSetString(s, ADSFIELD(1), U8("text"), 4), 0u) << LastText();
  ASSERT_EQ(AdsSetStringW(s, ADSFIELD(2), const_cast<WCHAR*>(u"\u00e9t\u00e9"), 3), 0u);
  ASSERT_EQ(AdsSetLogical(s, ADSFIELD(3), 1), 0u);
  ASSERT_EQ(AdsSetDouble(s, ADSFIELD(4), 2.125), 0u);
  ASSERT_EQ(AdsSetJulian(s, ADSFIELD(5), 2415019), 0u);  // 1899-12-30
  ASSERT_EQ(AdsSetMilliseconds(s, ADSFIELD(6), 43200000), 0u);
  SIGNED32 raw[2] = {2460311, 3723004};  // 2024-01-01 01:02:03.004
  ASSERT_EQ(AdsSetTimeStampRaw(s, ADSFIELD(7), raw, 8), 0u);
  UNSIGNED8 bytes[] = {0, 1, 2, 3, 255};
  ASSERT_EQ(AdsSetBinary(s, ADSFIELD(8), 6, 5, 0, bytes, 2), 0u);
  ASSERT_EQ(AdsSetBinary(s, ADSFIELD(8), 6, 5, 2, bytes + 2, 3), 0u);
  ASSERT_EQ(AdsSetEmpty(s, ADSFIELD(9)), 0u);
  ASSERT_EQ(AdsExecuteSQL(s, nullptr), 0u) << LastText();

  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select * from p", &c), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c)[0][0], "text");
  ASSERT_EQ(AdsGotoTop(c), 0u);
  WCHAR wide[10];
  UNSIGNED32 wlen = 10;
  ASSERT_EQ(AdsGetStringW(c, U8("W"), wide, &wlen, 2), 0u) << LastText();
  EXPECT_EQ(std::u16string(wide, wlen), u"\u00e9t\u00e9");
  UNSIGNED16 logical = 0;
  EXPECT_EQ(AdsGetLogical(c, U8("L"), &logical), 0u);
  EXPECT_EQ(logical, 1);
  DOUBLE d = 0;
  EXPECT_EQ(AdsGetDouble(c, U8("D"), &d), 0u);
  EXPECT_DOUBLE_EQ(d, 2.125);
  SIGNED32 julian = 0, ms = 0;
  EXPECT_EQ(AdsGetJulian(c, U8("DT"), &julian), 0u);
  EXPECT_EQ(julian, 2415019);
  EXPECT_EQ(AdsGetMilliseconds(c, U8("T"), &ms), 0u);
  EXPECT_EQ(ms, 43200000);
  EXPECT_EQ(AdsGetJulian(c, U8("TS"), &julian), 0u);
  EXPECT_EQ(AdsGetMilliseconds(c, U8("TS"), &ms), 0u);
  EXPECT_EQ(julian, 2460311);
  EXPECT_EQ(ms, 3723004);
  UNSIGNED8 blob[10];
  UNSIGNED32 blen = sizeof blob;
  EXPECT_EQ(AdsGetBinary(c, U8("B"), 0, blob, &blen), 0u) << LastText();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(blob), blen), std::string(reinterpret_cast<char*>(bytes), 5));
  UNSIGNED16 empty = 0;
  EXPECT_EQ(AdsIsEmpty(c, U8("E"), &empty), 0u);
  EXPECT_EQ(empty, 1);
  AdsCloseTable(c);
}

TEST_F(SqlExecution, ParameterErrors) {
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s, const_cast<WCHAR*>(u"select name from cust where id = ?")), 0u);
  // Out of range, by name, and missing values are parameter errors (NATIVEERROR 2110).
  EXPECT_EQ(AdsSetString(s, ADSFIELD(2), U8("1"), 1), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2110;"), std::string::npos) << LastText();
  EXPECT_EQ(AdsSetString(s, U8("id"), U8("1"), 1), 7200u);
  ADSHANDLE c = 0;
  EXPECT_EQ(AdsExecuteSQL(s, &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2110;"), std::string::npos) << LastText();
  // A text parameter compares with a number column as a number.
  ASSERT_EQ(AdsSetString(s, ADSFIELD(1), U8("2"), 1), 0u);
  ASSERT_EQ(AdsExecuteSQL(s, &c), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"Bob"}}));
  // Markers inside quotes are text, and ":name" markers count by occurrence.
  ADSHANDLE s2 = Statement();
  ASSERT_EQ(AdsPrepareSQLW(s2, const_cast<WCHAR*>(u"select ':x ?' as a, :v as b, :v as c")), 0u) << LastText();
  ASSERT_EQ(AdsSetString(s2, ADSFIELD(1), U8("one"), 3), 0u);
  ASSERT_EQ(AdsSetString(s2, ADSFIELD(2), U8("two"), 3), 0u);
  EXPECT_EQ(AdsSetString(s2, ADSFIELD(3), U8("x"), 1), 7200u);
  ASSERT_EQ(AdsExecuteSQL(s2, &c), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{":x ?", "one", "two"}}));
}

// A statement reads a column several times per row (in conditions, aggregates and the result):
// every read gives the value of the row at hand, NULLs included, whether the table is scanned
// (in batches: the table is larger than one), looked up through a tag, or read again as the
// inner side of a join.
TEST_F(SqlExecution, EveryReadOfAColumnGivesTheCurrentRowsValue) {
  const int kRows = 3000;
  Rows rows;
  int64_t count = 0, sum = 0, quarters = 0;
  for (int n = 1; n <= kRows; ++n) {
    auto maybe = [&](int every, const std::string& value) { return n % every == 0 ? std::string() : value; };
    rows.push_back({std::to_string(n), maybe(7, std::to_string(n * 3)), maybe(5, std::to_string(n / 4.0)),
                    maybe(11, std::to_string(n * 1.25)), maybe(13, n % 2 ? "T" : "F"),
                    std::to_string(n % 300 - 150)});
    if (n % 7) ++count, sum += n * 3;
    if (n % 5) quarters += n;
  }
  MakeTable("nums", "ID,Integer;I,Integer;D,Double;N,Numeric,10,2;L,Logical;S,ShortInt;", rows);
  ASSERT_EQ(Run("CREATE INDEX byid ON nums (id)"), 0u) << LastText();
  // Rows of the table `t` whose columns are not what their record number (the number the row
  // was made from) says; each column is read twice per row.
  auto wrong = [](const std::string& t) {
    auto c = [&](const char* column) { return t + "." + column; };
    const std::string n = t + ".rowid";
    auto is = [&](const std::string& read, const std::string& every, const std::string& expected) {
      return read + " IS NOT (CASE WHEN " + n + " % " + every + " = 0 THEN NULL ELSE " + expected + " END)";
    };
    return " (" + c("id") + " IS NOT " + n + " OR " + c("id") + " + 0 IS NOT " + n + " OR " + is(c("i"), "7", n + " * 3") +
           " OR " + is(c("i") + " + 1", "7", n + " * 3 + 1") + " OR " + is(c("d"), "5", n + " / 4.0") + " OR " +
           is(c("d") + " * 2", "5", n + " / 2.0") + " OR " + is(c("n"), "11", n + " * 1.25") + " OR " +
           is(c("n") + " - 1", "11", n + " * 1.25 - 1") + " OR " + is(c("l"), "13", n + " % 2") + " OR " + c("s") +
           " IS NOT " + n + " % 300 - 150 OR " + c("s") + " + 0 IS NOT " + n + " % 300 - 150)";
  };
  EXPECT_EQ(Query("SELECT COUNT(*) FROM nums WHERE" + wrong("nums")), (Rows{{"0"}})) << "scan";
  EXPECT_EQ(Query("SELECT COUNT(*) FROM nums WHERE id BETWEEN 1000 AND 1400 AND" + wrong("nums")), (Rows{{"0"}}))
      << "range lookup";
  EXPECT_EQ(Query("SELECT COUNT(*) FROM nums WHERE id = 2310 AND" + wrong("nums")), (Rows{{"0"}})) << "lookup";
  EXPECT_EQ(Query("SELECT COUNT(*) FROM nums a JOIN nums b ON b.id = a.id + 1 WHERE a.id <= 300 AND" + wrong("b")),
            (Rows{{"0"}}))
      << "inner side of a join";
  EXPECT_EQ(Query("SELECT COUNT(*) FROM nums a JOIN nums b ON b.id = a.id + 1 WHERE a.id <= 300"), (Rows{{"300"}}));
  EXPECT_EQ(Query("SELECT COUNT(i), SUM(i), MIN(i), MAX(i), CAST(SUM(d) * 4 AS INTEGER), CAST(MIN(d) * 4 AS INTEGER), "
                  "CAST(MAX(d) * 4 AS INTEGER), COUNT(l), SUM(l), MIN(s), MAX(s) FROM nums"),
            (Rows{{std::to_string(count), std::to_string(sum), "3", std::to_string(kRows * 3), std::to_string(quarters),
                   "1", std::to_string(kRows - 1), std::to_string(kRows - kRows / 13), "1385", "-150", "149"}}));
}

// Statements look their tables up in the dictionary with statements the dictionary keeps
// prepared: kept, they hold no lock on it (another connection changes it at once), and every
// look-up reads the dictionary as it is then.
TEST_F(SqlExecution, DictionaryLookUpsHoldNoLockAndSeeOtherConnectionsChanges) {
  ADSHANDLE other = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;", &other), 0u) << LastText();
  EXPECT_EQ(Query("select count(*) from cust"), (Rows{{"3"}}));
  // A lock held by a kept statement would make these wait for it and fail.
  ASSERT_EQ(AdsDDCreateUser(other, nullptr, U8("eve"), U8("pw"), nullptr), 0u) << LastText();
  ASSERT_EQ(AdsDDRenameObject(other, U8("cust"), U8("client"), ADS_DD_TABLE_OBJECT, 0), 0u) << LastText();
  EXPECT_EQ(Query("select count(*) from client"), (Rows{{"3"}}));
  EXPECT_NE(Run("select count(*) from cust"), 0u) << "the old name is gone from the dictionary";
  ASSERT_EQ(AdsDisconnect(other), 0u);
}

TEST_F(SqlExecution, AStaticCursorIsUnaffectedByLaterChangesAndChangesAreSeenAtOnce) {
  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select name from cust order by id", &c), 0u);
  ASSERT_EQ(Run("update cust set name = 'Zed' where id = 1"), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"Ann"}, {"Bob"}, {"Cy"}}));
  // A table handle sees the change at once.
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("cust"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  ASSERT_EQ(AdsGotoTop(t), 0u);
  UNSIGNED8 buf[30];
  UNSIGNED32 len = sizeof buf;
  ASSERT_EQ(AdsGetString(t, U8("NAME"), buf, &len, 2), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "Zed");
  // A record locked by a table handle cannot be changed by a statement.
  ASSERT_EQ(AdsLockRecord(t, 2), 0u);
  EXPECT_EQ(Run("update cust set name = 'No' where id = 2"), 5035u) << LastText();
  AdsCloseTable(t);
  EXPECT_EQ(Query("select name from cust where id = 2"), (Rows{{"Bob"}}));
}

// A static result cannot be edited: every change and every lock of its rows is refused with
// 5064, which the components turn into their "static VIEW" message; a live cursor is the table.
TEST_F(SqlExecution, AStaticCursorRefusesChangesAndLocksWith5064) {
  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select id, name from cust order by id", &c), 0u) << LastText();
  ASSERT_EQ(AdsGotoTop(c), 0u);
  EXPECT_EQ(AdsLockRecord(c, 0), 5064u);
  EXPECT_EQ(AdsLockRecord(c, 2), 5064u);
  EXPECT_EQ(AdsLockTable(c), 5064u);
  EXPECT_EQ(AdsSetLong(c, U8("ID"), 9), 5064u);
  EXPECT_EQ(AdsDeleteRecord(c), 5064u);
  EXPECT_EQ(AdsAppendRecord(c), 5064u);
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"1", "Ann"}, {"2", "Bob"}, {"3", "Cy"}}));

  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsStmtSetTableReadOnly(s, 2), 0u);
  ADSHANDLE live = 0;
  ASSERT_EQ(Run("select * from cust", &live, s), 0u) << LastText();
  ASSERT_EQ(AdsGotoTop(live), 0u);
  EXPECT_EQ(AdsLockRecord(live, 0), 0u) << LastText();
  EXPECT_EQ(AdsUnlockRecord(live, 0), 0u) << LastText();
}

TEST_F(SqlExecution, ALiveCursorIsTheTableItself) {
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsStmtSetTableReadOnly(s, 2), 0u);
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("select * from cust where id >= 2"), &c), 0u) << LastText();
  UNSIGNED16 live = 0;
  ASSERT_EQ(AdsSqlPeekStatement(c, &live), 0u);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"2", "Bob"}, {"3", "Cy"}}));
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsSetString(c, U8("NAME"), U8("Bea"), 3), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(c), 0u) << LastText();
  // A table handle sees the edit at once, and the cursor sees the table handle's.
  auto name = [](ADSHANDLE h) {
    UNSIGNED8 buf[30];
    UNSIGNED32 len = sizeof buf;
    EXPECT_EQ(AdsGetString(h, U8("NAME"), buf, &len, 2), 0u) << LastText();
    return std::string(reinterpret_cast<char*>(buf), len);
  };
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("cust"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  EXPECT_EQ(name(t), "Bea");
  ASSERT_EQ(AdsGotoRecord(t, 3), 0u);
  ASSERT_EQ(AdsSetString(t, U8("NAME"), U8("Cid"), 3), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsSkip(c, 1), 0u);
  EXPECT_EQ(name(c), "Cid");
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsCloseTable(c), 0u);
  EXPECT_EQ(Query("select name from cust where id = 2"), (Rows{{"Bea"}}));
  // Anything but a plain selection of one table stays static.
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("select name from cust order by name"), &c), 0u);
  ASSERT_EQ(AdsSqlPeekStatement(c, &live), 0u);
  EXPECT_EQ(live, 0);
  AdsCloseTable(c);
}

TEST_F(SqlExecution, ProceduresTheComponentsCall) {
  ASSERT_EQ(Run("execute procedure sp_setapplicationid('Quenlor run')"), 0u) << LastText();
  ADSHANDLE c = 0;
  ADSHANDLE s = Statement();
  ASSERT_EQ(Run("execute procedure sp_getapplicationid( )", &c, s), 0u) << LastText();
  UNSIGNED8 buf[301];
  UNSIGNED32 len = 301;
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsGetField(c, U8("ApplicationID"), buf, &len, 3), 0u) << LastText();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "Quenlor run");
  ASSERT_EQ(Run("EXECUTE PROCEDURE sp_ModifyTableProperty('cust', 'TABLE_PRIMARY_KEY', 'ID_TAG', 'APPEND_FAIL', NULL)"),
            0u)
      << LastText();
  EXPECT_EQ(Query("select table_primary_key from system.tables where name = 'cust'"), (Rows{{"ID_TAG"}}));
  ASSERT_EQ(Run("execute procedure sp_CreateUser('mia', 'secret', 'a clerk')"), 0u) << LastText();
  ASSERT_EQ(Run("execute procedure sp_CreateGroup('clerks', '')"), 0u) << LastText();
  ASSERT_EQ(Run("execute procedure sp_AddUserToGroup('mia', 'clerks')"), 0u) << LastText();
  EXPECT_EQ(Query("select name from system.usergroups"), (Rows{{"clerks"}}));
  Rows users = Query("select name from system.users order by name");
  EXPECT_NE(std::find(users.begin(), users.end(), std::vector<std::string>{"mia"}), users.end());
  EXPECT_EQ(Run("execute procedure sp_CreateUser('x')"), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2141;"), std::string::npos) << LastText();
}

TEST_F(SqlExecution, TheApplicationIdBelongsToTheConnectionNotToAStatement) {
  // Set through a bound parameter on a statement that is closed at once, as the components do.
  ADSHANDLE set = Statement();
  std::u16string text = u"execute procedure sp_setapplicationid(:FAppID)";
  ASSERT_EQ(AdsPrepareSQLW(set, text.data()), 0u) << LastText();
  ASSERT_EQ(AdsSetString(set, ADSFIELD(1), U8("nightly"), 7), 0u) << LastText();
  ASSERT_EQ(AdsExecuteSQL(set, nullptr), 0u) << LastText();
  ASSERT_EQ(AdsCloseSQLStatement(set), 0u);
  auto read = [&] {
    ADSHANDLE s = Statement();
    ADSHANDLE c = 0;
    EXPECT_EQ(Run("execute procedure sp_getapplicationid( )", &c, s), 0u) << LastText();
    UNSIGNED8 buf[301] = {};
    UNSIGNED32 len = 300;
    EXPECT_EQ(AdsGetField(c, U8("ApplicationID"), buf, &len, 3), 0u) << LastText();
    AdsCloseSQLStatement(s);
    return std::string(reinterpret_cast<char*>(buf), len);
  };
  EXPECT_EQ(read(), "nightly");
  EXPECT_EQ(read(), "nightly") << "reading it does not forget it";
  // Another connection has its own.
  ADSHANDLE other = 0;
  ASSERT_EQ(AdsConnect(U8(ws_.WinFolder().c_str()), &other), 0u) << LastText();
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(other, &s), 0u);
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsExecuteSQLDirect(s, U8("execute procedure sp_getapplicationid( )"), &c), 0u) << LastText();
  UNSIGNED8 buf[301] = {};
  UNSIGNED32 len = 300;
  ASSERT_EQ(AdsGetField(c, U8("ApplicationID"), buf, &len, 3), 0u) << LastText();
  EXPECT_EQ(len, 0u);
  AdsDisconnect(other);
}

TEST_F(SqlExecution, TheCatalogueDescribesColumns) {
  EXPECT_EQ(Query("select name, field_type, field_length from system.columns where parent = 'cust' order by field_num"),
            (Rows{{"ID", "11", "4"}, {"NAME", "4", "20"}}));
}

std::atomic<int> gAbortCalls{0};
UNSIGNED32 AbortAfterAFewCalls() { return ++gAbortCalls > 3 ? 1 : 0; }

TEST_F(SqlExecution, TimeoutsAndTheAbortCallbackStopALongQuery) {
  const char* endless =
      "with recursive n(i) as (select 1 union all select i + 1 from n) select count(*) from n";
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsSetSQLTimeout(s, 1), 0u);
  ADSHANDLE c = 0;
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8(endless), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2120;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsSetSQLTimeout(s, 0), 0u);
  ASSERT_EQ(AdsRegisterSQLAbortFunc(AbortAfterAFewCalls), 0u);
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8(endless), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2121;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsClearSQLAbortFunc(), 0u);
  // The statement works afterwards.
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8("select count(*) from cust"), &c), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(c), (Rows{{"3"}}));
}

std::atomic<int> gScanAbortCalls{0};
UNSIGNED32 AbortLater() { return ++gScanAbortCalls > 20 ? 1 : 0; }

// A join of a table with itself that would read hundreds of millions of rows is stopped by
// the timeout and by the abort callback while it reads the table, and nothing it read changes.
TEST_F(SqlExecution, TimeoutsAndTheAbortCallbackStopALongQueryOverATable) {
  ASSERT_EQ(Run("create table big (n integer, s char(10));"
                "insert into big select value, 'row' from (with recursive c(value) as (select 1 union all "
                "select value + 1 from c where value < 800) select value from c)"),
            0u)
      << LastText();
  const char* huge = "select count(*) from big a, big b, big c where a.s = b.s and b.s = c.s";
  ADSHANDLE s = Statement();
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsSetSQLTimeout(s, 1), 0u);
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8(huge), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2120;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsSetSQLTimeout(s, 0), 0u);
  // The connection's timeout applies to a statement without its own.
  ASSERT_EQ(AdsSetSQLTimeout(conn_, 1), 0u) << LastText();
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8(huge), &c), 7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2120;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsSetSQLTimeout(conn_, 0), 0u);
  ASSERT_EQ(AdsRegisterSQLAbortFunc(AbortLater), 0u);
  EXPECT_EQ(AdsExecuteSQLDirect(s, U8("update big set s = 'changed' where n in (select a.n from big a, big b, big c)"),
                                &c),
            7200u);
  EXPECT_NE(LastText().find("NATIVEERROR = 2121;"), std::string::npos) << LastText();
  ASSERT_EQ(AdsClearSQLAbortFunc(), 0u);
  EXPECT_EQ(Query("select count(*), min(s), max(s) from big"), (Rows{{"800", "row", "row"}}));
  // The table is free again: it can be dropped at once.
  EXPECT_EQ(Run("drop table big"), 0u) << LastText();
}

}  // namespace
