// aceadmin sql: the prompt on standard input and the script mode, run as a separate process
// on a dictionary and on a folder.
#include <gtest/gtest.h>

#include <string>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;

class SqlAceadmin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Aceadmin("create-dictionary " + Q(dd_)).status, 0);
  }
  // Runs the prompt with `input` on its standard input.
  ToolRun Prompt(const std::string& input, const std::string& target = "") {
    acetest::WriteFile(ws_.Host("input.sql"), input);
    return Aceadmin("sql " + Q(target.empty() ? dd_ : target) + " < " + Q(ws_.Host("input.sql")));
  }
  ToolRun Script(const std::string& text, const std::string& extra = "") {
    acetest::WriteFile(ws_.Host("script.sql"), text);
    return Aceadmin("sql " + Q(dd_) + " --script " + Q(ws_.Host("script.sql")) + extra);
  }

  acetest::Workspace ws_;
  std::string dd_ = ws_.Win("shop.add");
};

TEST_F(SqlAceadmin, ThePromptPrintsTablesRowCountsAndErrorsAndCarriesOn) {
  ToolRun r = Prompt(
      "create table item (id integer, name char(10));\n"
      "insert into item values (1, 'pen');\n"
      "insert into item values (2, 'ink'); insert into item values (30, 'paper');\n"
      "select id, name\n"
      "  from item order by id;\n"
      "select * from nowhere;\n"
      "update item set name = 'quill' where id < 3\n"
      "\n"
      "select count(*) as n from item where name = 'quill'\n");
  EXPECT_EQ(r.status, 1) << r.output;  // one statement failed
  const char* expected[] = {
      "done\n",
      "1 row affected\n",
      "id | name\n"
      "---+------\n"
      "1  | pen\n"
      "2  | ink\n"
      "30 | paper\n"
      "(3 rows)\n",
      "error: Error 7200: SQL error. NATIVEERROR = 2101;",
      "2 rows affected\n",
      "n\n-\n2\n(1 row)\n",
  };
  size_t at = 0;
  for (const char* e : expected) {
    size_t found = r.output.find(e, at);
    EXPECT_NE(found, std::string::npos) << "missing, in order: " << e << "\n" << r.output;
    if (found != std::string::npos) at = found;
  }
  // What the prompt made is there for the record calls.
  ADSHANDLE h = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + dd_ + ";User ID=adssys;", &h), 0u) << acetest::Last().text;
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(h, acetest::U8("item"), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << acetest::Last().text;
  UNSIGNED32 count = 0;
  EXPECT_EQ(AdsGetRecordCount(t, 2, &count), 0u);
  EXPECT_EQ(count, 3u);
  AdsCloseTable(t);
  AdsDisconnect(h);
}

// An error shows where in the statement it points: the token a syntax error stops at (not an
// earlier one of the same spelling), a name nothing knows (not its spelling inside a string),
// the end of a statement that stops short.
TEST_F(SqlAceadmin, ErrorsShowWhereTheyPoint) {
  ASSERT_EQ(Prompt("create table item (id integer, name char(10));\n").status, 0);
  const struct {
    std::string statement;
    std::string shows;
  } cases[] = {
      {"selec * from item;", "  at line 1, column 1:\n  selec * from item;\n  ^\n"},
      {"select id from item where id = 1 or or id = 2;",
       "near \"or\": syntax error.\n  at line 1, column 37:\n  select id from item where id = 1 or or id = 2;\n"
       "                                      ^\n"},
      {"select id from item where id = 1 and;", "  at line 1, column 37:\n"},
      {"select * from nothere;", "  at line 1, column 15:\n  select * from nothere;\n                ^\n"},
      {"select id,\n\tnosuch\nfrom item;", "  at line 2, column 2:\n   nosuch\n   ^\n"},
      {"select 'nosuch' as a, nosuch from item;", "  at line 1, column 23:\n"},
      {"select nofunc(id) from item;", "  at line 1, column 8:\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    ToolRun r = Prompt(c.statement + "\n");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("error: Error "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.shows), std::string::npos) << r.output;
  }
}

TEST_F(SqlAceadmin, AScriptRunsUntilItsFirstError) {
  struct Case {
    const char* name;
    std::string script;
    int status;
    std::string says;     // in the output
    std::string absent;   // not in the output ("" for no check)
  } cases[] = {
      {"one statement per line",
       "create table a (x integer)\ninsert into a values (5)\n\nselect x from a\n", 0, "x\n-\n5\n(1 row)\n", ""},
      {"statements separated by semicolons over several lines",
       "create table b (x integer,\n  y char(3));\ninsert into b values (1, 'a;b');\nselect y from b;", 0,
       "a;b\n(1 row)\n", ""},
      {"the first error stops the script and names its line",
       "create table c (x integer);\n\nselect nosuch from c;\ninsert into c values (1);", 1,
       "line 3, column 8: Error 5147: Column not found: column \"nosuch\".\n"
       "  select nosuch from c;\n"
       "         ^\n",
       "row affected"},
      {"a quote left open", "select 'abc from a;", 1, "not closed", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun r = Script(c.script);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    if (!c.absent.empty()) {
      EXPECT_EQ(r.output.find(c.absent), std::string::npos) << r.output;
    }
  }
  // The failed script ran up to its error only.
  ToolRun r = Prompt("select count(*) as n from c;\n");
  EXPECT_NE(r.output.find("n\n-\n0\n"), std::string::npos) << r.output;
}

TEST_F(SqlAceadmin, UsersFoldersAndUsageErrors) {
  ASSERT_EQ(Script("execute procedure sp_CreateUser('ann', 'pw', '');\ncreate table t (x integer)").status, 0);
  // Another user signs in with -u and -p, and may not define tables.
  ToolRun r = Aceadmin("sql " + Q(dd_) + " -u ann -p pw --script " + Q(ws_.Host("script.sql")));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Error 5916"), std::string::npos) << r.output;
  r = Aceadmin("sql " + Q(dd_) + " -u ann -p wrong --script " + Q(ws_.Host("script.sql")));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("connect"), std::string::npos) << r.output;
  // A folder holds free tables.
  r = Prompt("create table loose (x integer);\nselect count(*) as n from loose;\n", ws_.WinFolder());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("(1 row)"), std::string::npos) << r.output;
  struct Usage {
    std::string args;
    std::string says;
  } usages[] = {
      {"sql", "usage"},
      {"sql " + Q(dd_) + " -u", "needs a value"},
      {"sql " + Q(dd_) + " --bogus", "unknown option \"--bogus\""},
  };
  for (const Usage& u : usages) {
    ToolRun run = Aceadmin(u.args + " < /dev/null");
    EXPECT_EQ(run.status, 2) << u.args << ": " << run.output;
    EXPECT_NE(run.output.find(u.says), std::string::npos) << run.output;
  }
  r = Aceadmin("sql " + Q(dd_) + " --script " + Q(ws_.Host("missing.sql")));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("cannot be read"), std::string::npos) << r.output;
}

}  // namespace
