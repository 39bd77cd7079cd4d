// The order of a cursor of an ORDER BY: AdsGetIndexHandle with no name gives an index order
// that walks the rows as the statement sorted them, and that the index calls accept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastText;
using sqltest::Rows;

class SqlResultOrder : public sqltest::SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    MakeTable("ships", "ID,Integer;NAME,Char,12;PORT,Char,8;TONS,Double,1;",
              {{"1", "Dora", "Oslo", "12.5"},
               {"2", "Anna", "Bergen", "40"},
               {"3", "Cleo", "Oslo", "7"},
               {"4", "Bea", "Bergen", "40"},
               {"5", "Edda", "Molde", "3"}});
  }

  static std::string Text(UNSIGNED32 (*get)(ADSHANDLE, UNSIGNED8*, UNSIGNED16*), ADSHANDLE h) {
    UNSIGNED8 buf[600];
    UNSIGNED16 len = sizeof buf;
    if (get(h, buf, &len) != 0) return "<error " + LastText() + ">";
    return std::string(reinterpret_cast<char*>(buf), len);
  }

  // The rows of `cursor` walked along `order` from its top, the field `field` of each.
  static std::vector<std::string> Walk(ADSHANDLE order, ADSHANDLE cursor, const char* field) {
    std::vector<std::string> out;
    EXPECT_EQ(AdsGotoTop(order), 0u) << LastText();
    for (int guard = 0; guard < 100; ++guard) {
      UNSIGNED16 eof = 1;
      EXPECT_EQ(AdsAtEOF(cursor, &eof), 0u);
      if (eof) break;
      UNSIGNED8 buf[64];
      UNSIGNED32 len = sizeof buf;
      EXPECT_EQ(AdsGetField(cursor, U8(field), buf, &len, 3), 0u) << LastText();
      out.emplace_back(reinterpret_cast<char*>(buf), len);
      EXPECT_EQ(AdsSkip(order, 1), 0u) << LastText();
    }
    return out;
  }

  static std::vector<std::string> Column(const Rows& rows, size_t c) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r[c]);
    return out;
  }
};

TEST_F(SqlResultOrder, AnOrderByGivesTheCursorAnOrderKeyedOnItsColumns) {
  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select id, name, port from ships order by port, name", &c), 0u) << LastText();
  ADSHANDLE order = 0;
  ASSERT_EQ(AdsGetIndexHandle(c, nullptr, &order), 0u) << LastText();
  ASSERT_NE(order, 0u);
  ADSHANDLE again = 0;
  ASSERT_EQ(AdsGetIndexHandle(c, U8(""), &again), 0u);
  EXPECT_EQ(again, order);

  // It describes itself as an index order on the ORDER BY's columns.
  EXPECT_EQ(Text(AdsGetIndexName, order), "ORDERBY");
  EXPECT_EQ(Text(AdsGetIndexExpr, order), "PORT;NAME");
  UNSIGNED16 segments = 0;
  ASSERT_EQ(AdsGetNumSegments(order, &segments), 0u) << LastText();
  ASSERT_EQ(segments, 2);
  for (UNSIGNED16 s = 0; s < segments; ++s) {
    UNSIGNED8 buf[510];
    UNSIGNED16 len = sizeof buf;
    ASSERT_EQ(AdsGetSegmentFieldname(order, s, buf, &len), 0u) << LastText();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), s == 0 ? "PORT" : "NAME");
  }
  // The cursor lists it among its orders, so a search by those fields can prefer it.
  ADSHANDLE all[8];
  UNSIGNED16 count = 8;
  ASSERT_EQ(AdsGetAllIndexes(c, all, &count), 0u) << LastText();
  ASSERT_EQ(count, 1);
  EXPECT_EQ(all[0], order);

  // Walking the order, forwards and from the bottom, gives the rows as the cursor holds them.
  Rows rows = sqltest::ReadAll(c);
  EXPECT_EQ(Column(rows, 1), (std::vector<std::string>{"Anna", "Bea", "Edda", "Cleo", "Dora"}));
  EXPECT_EQ(Walk(order, c, "NAME"), Column(rows, 1));
  ASSERT_EQ(AdsGotoBottom(order), 0u);
  SIGNED32 id = 0;
  ASSERT_EQ(AdsGetLong(c, U8("ID"), &id), 0u);
  EXPECT_EQ(id, 1);
  UNSIGNED32 keys = 0;
  ASSERT_EQ(AdsGetKeyCount(order, ADS_RESPECTFILTERS, &keys), 0u);
  EXPECT_EQ(keys, 5u);
  // Key numbers along the order are the row positions.
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsSkip(c, 2), 0u);
  UNSIGNED32 key = 0;
  ASSERT_EQ(AdsGetKeyNum(order, ADS_RESPECTFILTERS, &key), 0u) << LastText();
  EXPECT_EQ(key, 3u);

  // A seek on the order finds a row by its key.
  UNSIGNED16 found = 0;
  ASSERT_EQ(AdsSeek(order, U8("Oslo"), 4, ADS_STRINGKEY, ADS_SOFTSEEK, &found), 0u) << LastText();
  EXPECT_EQ(found, 1);
  ASSERT_EQ(AdsGetLong(c, U8("ID"), &id), 0u);
  EXPECT_EQ(id, 3);
  AdsCloseTable(c);
}

// Whatever the ORDER BY, the order walks the rows in the cursor's sequence; only a clause that
// names result columns with one direction is keyed on them.
TEST_F(SqlResultOrder, EveryOrderByWalksTheRowsAsTheStatementSortedThem) {
  struct Case {
    const char* sql;
    const char* expression;
  } cases[] = {
      {"select name, tons from ships order by tons desc", "TONS"},
      {"select name, tons from ships order by 2, 1", "TONS;NAME"},
      {"select s.name as nm from ships s order by s.name", "RECNO()"},  // "name" is no result column
      {"select name as nm from ships order by nm desc", "nm"},
      {"select name from ships order by upper(name)", "RECNO()"},
      {"select name, tons from ships order by tons desc, name", "RECNO()"},  // directions mixed
      {"select name from ships order by name collate nocase", "RECNO()"},
      {"select count(*) as n, port from ships group by port order by n desc, port desc", "n;PORT"},
      {"select name from ships order by id limit 3", "RECNO()"},  // id is not selected
      {"select name, port from (select * from ships order by id) order by port desc", "PORT"},
  };
  for (const Case& k : cases) {
    ADSHANDLE c = 0;
    ASSERT_EQ(Run(k.sql, &c), 0u) << k.sql << ": " << LastText();
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsGetIndexHandle(c, nullptr, &order), 0u) << k.sql;
    ASSERT_NE(order, 0u) << k.sql;
    EXPECT_EQ(Text(AdsGetIndexExpr, order), k.expression) << k.sql;
    UNSIGNED8 buf[64];
    UNSIGNED16 len = sizeof buf;
    ASSERT_EQ(AdsGetFieldName(c, 1, buf, &len), 0u);
    std::string first(reinterpret_cast<char*>(buf), len);
    Rows rows = sqltest::ReadAll(c);
    EXPECT_EQ(Walk(order, c, first.c_str()), Column(rows, 0)) << k.sql;
    UNSIGNED32 keys = 0;
    ASSERT_EQ(AdsGetKeyCount(order, ADS_RESPECTFILTERS, &keys), 0u);
    EXPECT_EQ(keys, rows.size()) << k.sql;
    AdsCloseTable(c);
  }
}

TEST_F(SqlResultOrder, WithoutAnOrderByACursorHasNoOrderOfItsOwn) {
  for (const char* sql : {"select name from ships", "select name from ships where id in (select id from ships order by id)",
                          "select name from system.tables"}) {
    ADSHANDLE c = 0;
    ASSERT_EQ(Run(sql, &c), 0u) << sql << ": " << LastText();
    ADSHANDLE order = 99;
    ASSERT_EQ(AdsGetIndexHandle(c, nullptr, &order), 0u) << sql;
    EXPECT_EQ(order, 0u) << sql;
    UNSIGNED16 n = 9;
    ASSERT_EQ(AdsGetNumIndexes(c, &n), 0u);
    EXPECT_EQ(n, 0) << sql;
    AdsCloseTable(c);
  }
  // A table handle walks in record order: no order of its own either.
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(conn_, U8("ships"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  ADSHANDLE order = 99;
  ASSERT_EQ(AdsGetIndexHandle(t, nullptr, &order), 0u);
  EXPECT_EQ(order, 0u);
  AdsCloseTable(t);
}

// A live request whose ORDER BY is the key of one of the table's tags is the table itself,
// walking that tag; with any other ORDER BY it is a static cursor in the statement's order.
TEST_F(SqlResultOrder, ALiveCursorOfAnOrderByWalksTheTablesTag) {
  ASSERT_EQ(Run("create index byname on ships (name); create index byport on ships (port desc)"), 0u) << LastText();
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsStmtSetTableReadOnly(s, 2), 0u);
  struct Case {
    const char* sql;
    bool live;
    const char* orderName;  // AdsGetIndexName of the cursor's own order
    std::vector<std::string> names;
  } cases[] = {
      {"select * from ships order by name", true, "byname", {"Anna", "Bea", "Cleo", "Dora", "Edda"}},
      {"select * from ships order by ships.NAME asc", true, "byname", {"Anna", "Bea", "Cleo", "Dora", "Edda"}},
      {"select * from ships where tons > 5 order by name", true, "byname", {"Anna", "Bea", "Cleo", "Dora"}},
      {"select * from ships order by port desc", true, "byport", {"Dora", "Cleo", "Edda", "Anna", "Bea"}},
      {"select * from ships order by name desc", false, "ORDERBY", {"Edda", "Dora", "Cleo", "Bea", "Anna"}},
      {"select * from ships order by tons, name", false, "ORDERBY", {"Edda", "Cleo", "Dora", "Anna", "Bea"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    ADSHANDLE c = 0;
    ASSERT_EQ(Run(k.sql, &c, s), 0u) << LastText();
    UNSIGNED16 live = 9;
    ASSERT_EQ(AdsSqlPeekStatement(c, &live), 0u);
    EXPECT_EQ(live, k.live ? 1 : 0);
    EXPECT_EQ(Column(sqltest::ReadAll(c), 1), k.names);
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsGetIndexHandle(c, nullptr, &order), 0u);
    ASSERT_NE(order, 0u);
    EXPECT_EQ(Text(AdsGetIndexName, order), k.orderName);
    EXPECT_EQ(Walk(order, c, "NAME"), k.names);
    AdsCloseTable(c);
  }

  // An edit through the live cursor moves the record along the tag at once.
  ADSHANDLE c = 0;
  ASSERT_EQ(Run("select * from ships order by name", &c, s), 0u) << LastText();
  ASSERT_EQ(AdsGotoTop(c), 0u);
  ASSERT_EQ(AdsSetString(c, U8("NAME"), U8("Zora"), 4), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(c), 0u) << LastText();
  EXPECT_EQ(Column(sqltest::ReadAll(c), 1), (std::vector<std::string>{"Bea", "Cleo", "Dora", "Edda", "Zora"}));
  AdsCloseTable(c);
  EXPECT_EQ(Query("select name from ships where id = 2"), (Rows{{"Zora"}}));
}

}  // namespace
