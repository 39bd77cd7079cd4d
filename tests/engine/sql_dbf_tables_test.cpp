// DBF tables in a dictionary: created on a dictionary connection they join it with their type,
// open by name as that type, and SQL selects from them, changes them and lists them in
// system.tables with their type.
#include <gtest/gtest.h>

#include <string>

#include "ace/ace.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastText;
using sqltest::Rows;

class SqlDbfTables : public sqltest::SqlTest {
 protected:
  void Create(const std::string& name, UNSIGNED16 type) {
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(conn_, U8(name), nullptr, type, 1, 1, 1, 0,
                               U8("ID,Num,4,0;NAME,Char,10;BORN,Date;NOTES,Memo;"), 0, nullptr, &t),
              0u)
        << LastText();
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
};

TEST_F(SqlDbfTables, DictionaryTablesOfBothDbfTypesOpenAndServeSql) {
  Create("ships", 1);
  Create("ports", 2);
  for (auto [name, type] : {std::pair<const char*, UNSIGNED16>{"ships", 1}, {"ports", 2}}) {
    SCOPED_TRACE(name);
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable90(conn_, U8(name), nullptr, 0, 0, 0, 2, 0, nullptr, &t), 0u) << LastText();
    UNSIGNED16 reported = 0;
    ASSERT_EQ(AdsGetTableType(t, &reported), 0u);
    EXPECT_EQ(reported, type);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    const std::string table = name;
    ASSERT_EQ(Run("INSERT INTO " + table + " (ID, NAME, BORN, NOTES) VALUES (1, 'Aurora', '2024-02-29', 'first')"), 0u)
        << LastText();
    ASSERT_EQ(Run("INSERT INTO " + table + " (ID, NAME) VALUES (2, 'Borealis')"), 0u) << LastText();
    ASSERT_EQ(Run("UPDATE " + table + " SET NOTES = 'second' WHERE ID = 2"), 0u) << LastText();
    ASSERT_EQ(Run("DELETE FROM " + table + " WHERE ID = 1"), 0u) << LastText();
    ASSERT_EQ(Run("INSERT INTO " + table + " (ID, NAME, BORN) VALUES (3, 'Cygnus', '1999-12-31')"), 0u) << LastText();
    // Numeric fields keep their stored text, right-aligned.
    EXPECT_EQ(Query("SELECT ID, NAME, NOTES FROM " + table + " ORDER BY ID"),
              (Rows{{"   2", "Borealis", "second"}, {"   3", "Cygnus", ""}}));
    EXPECT_EQ(Query("SELECT NAME FROM " + table + " WHERE BORN = '1999-12-31'"), (Rows{{"Cygnus"}}));
  }
  EXPECT_EQ(Query("SELECT Name, Table_Type FROM system.tables ORDER BY Name"), (Rows{{"ports", "2"}, {"ships", "1"}}));
}

}  // namespace
