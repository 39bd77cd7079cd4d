#include "support/sql_fixture.h"

namespace sqltest {

using acetest::U8;

UNSIGNED32 LastCode() { return acetest::Last().code; }
std::string LastText() { return acetest::Last().text; }

void SqlTest::SetUp() { conn_ = ws_.CreateDictionary("db.add"); }

void SqlTest::TearDown() {
  for (ADSHANDLE s : statements_) AdsCloseSQLStatement(s);
  if (conn_) AdsDisconnect(conn_);
}

void SqlTest::MakeTable(const std::string& name, const std::string& fields, const Rows& rows) {
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsCreateTable90(conn_, U8(name), U8(name), 3, 1, 1, 1, 0, U8(fields), 0, nullptr, &t), 0u) << LastText();
  for (const auto& row : rows) {
    ASSERT_EQ(AdsAppendRecord(t), 0u) << LastText();
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i].empty()) continue;
      ASSERT_EQ(AdsSetString(t, ADSFIELD(i + 1), U8(row[i]), static_cast<UNSIGNED32>(row[i].size())), 0u)
          << LastText();
    }
    ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

ADSHANDLE SqlTest::Statement() {
  ADSHANDLE s = 0;
  EXPECT_EQ(AdsCreateSQLStatement(conn_, &s), 0u) << LastText();
  statements_.push_back(s);
  return s;
}

UNSIGNED32 SqlTest::Run(const std::string& sql, ADSHANDLE* cursor, ADSHANDLE statement) {
  if (!statement) statement = Statement();
  ADSHANDLE c = 0;
  UNSIGNED32 rc = AdsExecuteSQLDirect(statement, U8(sql), &c);
  if (cursor) *cursor = c;
  return rc;
}

Rows SqlTest::Query(const std::string& sql) {
  ADSHANDLE c = 0;
  UNSIGNED32 rc = Run(sql, &c);
  EXPECT_EQ(rc, 0u) << sql << ": " << LastText();
  if (rc != 0) return {};
  EXPECT_NE(c, 0u) << sql << " gave no cursor";
  if (!c) return {};
  Rows rows = ReadAll(c);
  EXPECT_EQ(AdsCloseTable(c), 0u);
  return rows;
}

std::vector<std::string> FieldNames(ADSHANDLE cursor) {
  std::vector<std::string> names;
  UNSIGNED16 n = 0;
  EXPECT_EQ(AdsGetNumFields(cursor, &n), 0u);
  for (UNSIGNED16 i = 1; i <= n; ++i) {
    UNSIGNED8 buf[200];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(AdsGetFieldName(cursor, i, buf, &len), 0u);
    names.emplace_back(reinterpret_cast<char*>(buf), len);
  }
  return names;
}

Rows ReadAll(ADSHANDLE cursor) {
  Rows rows;
  UNSIGNED16 n = 0;
  EXPECT_EQ(AdsGetNumFields(cursor, &n), 0u);
  EXPECT_EQ(AdsGotoTop(cursor), 0u) << LastText();
  UNSIGNED16 eof = 0;
  while (AdsAtEOF(cursor, &eof) == 0 && !eof) {
    std::vector<std::string> row;
    for (UNSIGNED16 i = 1; i <= n; ++i) {
      std::vector<UNSIGNED8> buf(70000);
      UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
      EXPECT_EQ(AdsGetString(cursor, ADSFIELD(i), buf.data(), &len, 2), 0u) << LastText();  // 2: right-trimmed
      row.emplace_back(reinterpret_cast<char*>(buf.data()), len);
    }
    rows.push_back(row);
    if (AdsSkip(cursor, 1) != 0) break;
  }
  return rows;
}

}  // namespace sqltest
