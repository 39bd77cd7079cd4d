// Rights on single columns of a dictionary table: granted as "table.column" objects, reported
// by AdsGetColumnPermissions, and enforced wherever a value is written — the field setters of
// a table handle and SQL INSERT and UPDATE — while the columns without rights of their own
// follow the table's rights. Renaming the table keeps them; removing it drops them.
#include <gtest/gtest.h>

#include <string>

#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastCode;
using sqltest::LastText;
using sqltest::Rows;

constexpr UNSIGNED32 kRead = 0x1, kUpdate = 0x2, kInsert = 0x10;

class ApiColumnRights : public sqltest::SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    MakeTable("people", "NAME,Char,8;SALARY,Integer;NOTE,Char,8;", {{"ann", "100", "a"}, {"bob", "200", "b"}});
    ASSERT_EQ(AdsDDCreateUserGroup(conn_, U8("staff"), nullptr), 0u) << LastText();
    ASSERT_EQ(AdsDDCreateUser(conn_, U8("staff"), U8("clerk"), U8("pw"), nullptr), 0u) << LastText();
    ASSERT_EQ(AdsDDGrantPermission(conn_, ADS_DD_TABLE_OBJECT, U8("people"), U8("clerk"), kRead | kUpdate | kInsert), 0u)
        << LastText();
    // SALARY may only be read; NOTE may be changed but not given in a new record (granted to
    // the clerk's group).
    ASSERT_EQ(AdsDDGrantPermission(conn_, ADS_DD_COLUMN_OBJECT, U8("people.salary"), U8("clerk"), kRead), 0u) << LastText();
    ASSERT_EQ(AdsDDGrantPermission(conn_, ADS_DD_COLUMN_OBJECT, U8("PEOPLE.Note"), U8("staff"), kRead | kUpdate), 0u)
        << LastText();
  }

  ADSHANDLE ConnectClerk() {
    ADSHANDLE h = 0;
    EXPECT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=clerk;Password=\"pw\";", &h), 0u)
        << LastText();
    return h;
  }

  static ADSHANDLE OpenPeople(ADSHANDLE connection) {
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(connection, U8("people"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
    return t;
  }

  static UNSIGNED32 Permissions(ADSHANDLE t, const char* field) {
    UNSIGNED32 bits = 0;
    EXPECT_EQ(AdsGetColumnPermissions(t, U8(field), &bits), 0u) << LastText();
    return bits;
  }

  Rows People() { return Query("SELECT NAME, SALARY, NOTE FROM people ORDER BY NAME"); }
};

}  // namespace

TEST_F(ApiColumnRights, GrantsNameATableOfTheDictionaryAndOneOfItsColumns) {
  const struct {
    const char* object;
    UNSIGNED32 expected;
  } cases[] = {{"nope.NAME", 5132}, {"people", 5132}, {"people.NOPE", 5409}, {"people.NAME", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.object);
    EXPECT_EQ(AdsDDGrantPermission(conn_, ADS_DD_COLUMN_OBJECT, U8(c.object), U8("clerk"), kRead), c.expected) << LastText();
  }
}

TEST_F(ApiColumnRights, TableHandlesReportAndEnforceTheColumnsRights) {
  ADSHANDLE clerk = ConnectClerk();
  ADSHANDLE t = OpenPeople(clerk);
  // Bits: 1 read, 2 update, 4 insert.
  EXPECT_EQ(Permissions(t, "NAME"), 7u);
  EXPECT_EQ(Permissions(t, "SALARY"), 1u);
  EXPECT_EQ(Permissions(t, "NOTE"), 3u);

  ASSERT_EQ(AdsGotoTop(t), 0u);
  EXPECT_EQ(AdsSetLong(t, U8("SALARY"), 999), 5054u);
  EXPECT_EQ(LastText(), "Error 5054: Update permission not granted on the column \"SALARY\".");
  EXPECT_EQ(AdsSetString(t, U8("NOTE"), U8("n"), 1), 0u) << LastText();
  EXPECT_EQ(AdsSetString(t, U8("NAME"), U8("al"), 2), 0u) << LastText();
  EXPECT_EQ(AdsSetEmpty(t, U8("SALARY")), 5054u);
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();

  ASSERT_EQ(AdsAppendRecord(t), 0u) << LastText();
  EXPECT_EQ(AdsSetString(t, U8("NOTE"), U8("x"), 1), 5054u);
  EXPECT_EQ(LastText(), "Error 5054: Insert permission not granted on the column \"NOTE\".");
  EXPECT_EQ(AdsSetLong(t, U8("SALARY"), 1), 5054u);
  ASSERT_EQ(AdsSetString(t, U8("NAME"), U8("cy"), 2), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(clerk), 0u);

  EXPECT_EQ(People(), (Rows{{"al", "100", "n"}, {"bob", "200", "b"}, {"cy", "", ""}}));
  // The administrator is bound by no column's rights.
  ADSHANDLE admin = OpenPeople(conn_);
  EXPECT_EQ(Permissions(admin, "SALARY"), 7u);
  ASSERT_EQ(AdsGotoTop(admin), 0u);
  EXPECT_EQ(AdsSetLong(admin, U8("SALARY"), 150), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(admin), 0u);
  ASSERT_EQ(AdsCloseTable(admin), 0u);
}

TEST_F(ApiColumnRights, SqlStatementsAreBoundByTheColumnsRights) {
  ADSHANDLE clerk = ConnectClerk();
  ADSHANDLE s = 0;
  ASSERT_EQ(AdsCreateSQLStatement(clerk, &s), 0u) << LastText();
  const struct {
    const char* sql;
    bool allowed;
  } cases[] = {
      {"UPDATE people SET SALARY = 5 WHERE NAME = 'ann'", false},
      {"UPDATE people SET NAME = 'al' WHERE NAME = 'ann'", true},  // SALARY is left as it is
      {"UPDATE people SET NOTE = 'z' WHERE NAME = 'bob'", true},
      {"INSERT INTO people (NAME, SALARY) VALUES ('dee', 3)", false},
      {"INSERT INTO people (NAME, NOTE) VALUES ('dee', 'q')", false},
      {"INSERT INTO people (NAME) VALUES ('eve')", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    ADSHANDLE cursor = 0;
    const UNSIGNED32 rc = AdsExecuteSQLDirect(s, U8(c.sql), &cursor);
    if (c.allowed) {
      EXPECT_EQ(rc, 0u) << LastText();
    } else {
      EXPECT_NE(rc, 0u);
      EXPECT_NE(LastText().find("permission not granted on the column"), std::string::npos) << LastText();
    }
  }
  AdsCloseSQLStatement(s);
  ASSERT_EQ(AdsDisconnect(clerk), 0u);
  EXPECT_EQ(People(), (Rows{{"al", "100", "a"}, {"bob", "200", "z"}, {"eve", "", ""}}));
}

TEST_F(ApiColumnRights, RenamingTheTableKeepsTheColumnsRightsAndRemovingItDropsThem) {
  ASSERT_EQ(AdsDDRenameObject(conn_, U8("people"), U8("staffers"), ADS_DD_TABLE_OBJECT, 0), 0u) << LastText();
  ADSHANDLE clerk = ConnectClerk();
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(clerk, U8("staffers"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  EXPECT_EQ(Permissions(t, "SALARY"), 1u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(clerk), 0u);

  // A table added again under the old name starts without them.
  ASSERT_EQ(AdsDDRemoveTable(conn_, U8("staffers"), 0), 0u) << LastText();
  ASSERT_EQ(AdsDDAddTable(conn_, U8("staffers"), U8("people.adt"), ADS_ADT, 1, nullptr, nullptr), 0u) << LastText();
  ASSERT_EQ(AdsDDGrantPermission(conn_, ADS_DD_TABLE_OBJECT, U8("staffers"), U8("clerk"), kRead | kUpdate), 0u);
  clerk = ConnectClerk();
  ASSERT_EQ(AdsOpenTable90(clerk, U8("staffers"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  EXPECT_EQ(Permissions(t, "SALARY"), 3u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(clerk), 0u);
}
