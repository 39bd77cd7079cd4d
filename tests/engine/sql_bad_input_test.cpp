// Hostile SQL text: deep nesting, huge literals and names, and binary garbage give a clear
// error and leave the connection working, never a crash or a hang.
#include <random>

#include "support/sql_fixture.h"

namespace sqltest {
namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(SqlTest, HugeOrDeepStatementsGiveAClearError) {
  MakeTable("crew", "ID,Integer;NAME,Char,20;", {{"1", "Anna"}});
  std::string garbage(4096, '\0');
  std::mt19937 rng(11);
  for (char& c : garbage) c = static_cast<char>(rng() % 255 + 1);  // no NUL: the text is all of it
  struct Case {
    const char* what;
    std::string sql;
  };
  const Case cases[] = {
      {"10,000 levels of parentheses", "select " + Repeat("(", 10000) + "1" + Repeat(")", 10000) + " from crew"},
      {"10,000 nested selects", Repeat("select * from (", 10000) + "select * from crew" + Repeat(")", 10000)},
      {"10,000 levels of NOT", "select * from crew where " + Repeat("not ", 10000) + "ID = 1"},
      {"a chain of 100,000 additions", "select ID" + Repeat(" + ID", 100000) + " from crew"},
      {"a table name of 100,000 characters", "select * from " + std::string(100000, 't')},
      {"a column name of 100,000 characters", "select " + std::string(100000, 'c') + " from crew"},
      {"binary garbage", garbage},
      {"a procedure with 10,000 nested arguments", "EXECUTE PROCEDURE sp_x(" + Repeat("(", 10000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ADSHANDLE cursor = 0;
    EXPECT_NE(Run(c.sql, &cursor), 0u);
    EXPECT_NE(LastCode(), 0u);
    EXPECT_FALSE(LastText().empty());
  }
  // A huge literal is no error, but it must not break the statement or what follows.
  ADSHANDLE cursor = 0;
  UNSIGNED32 code = Run("select ID from crew where NAME <> '" + std::string(1000000, 'x') + "'", &cursor);
  EXPECT_EQ(code, 0u) << LastText();
  if (code == 0) EXPECT_EQ(ReadAll(cursor), (Rows{{"1"}}));
  // The connection still answers.
  EXPECT_EQ(Query("select NAME from crew"), (Rows{{"Anna"}}));
}

}  // namespace
}  // namespace sqltest
