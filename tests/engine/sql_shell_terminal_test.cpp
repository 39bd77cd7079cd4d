// aceadmin sql at a terminal, typed into as a person would through tmux: a statement over
// several lines, an error that shows where it points, a statement brought back from the
// history and edited, .tables, .schema, .indexes and CSV output; the history kept for the next
// session, and an unfinished statement left unrun at Ctrl-D.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What a shell command printed.
std::string Output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  return out;
}

bool HaveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

// A tmux server of the test's own running `command` in a 100 x 50 terminal; gone with the object.
class Terminal {
 public:
  explicit Terminal(const std::string& command) {
    static int sessions = 0;
    tmux_ = "env -u TMUX tmux -f /dev/null -L aceadmin-test-" + std::to_string(getpid()) + "-" +
            std::to_string(++sessions);
    std::system((tmux_ + " new-session -d -x 100 -y 50 " + Q(command)).c_str());
  }
  ~Terminal() { std::system((tmux_ + " kill-server 2>/dev/null").c_str()); }

  // Types `text` as it stands (no key names, no end of line).
  void Type(const std::string& text) {
    std::string hex;
    char b[4];
    for (unsigned char c : text) {
      std::snprintf(b, sizeof b, "%02x ", c);
      hex += b;
    }
    std::system((tmux_ + " send-keys -H " + hex).c_str());
  }
  // Presses keys by tmux's names: Enter, Up, Left, BSpace, C-d, ...
  void Press(const std::string& keys) { std::system((tmux_ + " send-keys " + keys).c_str()); }
  void Line(const std::string& text) {
    Type(text);
    Press("Enter");
  }

  // The screen and what scrolled off it; tmux leaves out the blanks that end a line.
  std::string Screen() { return Output(tmux_ + " capture-pane -p -S -500"); }

  // Whether `text` appears on the screen within ten seconds; the screen tells why not.
  ::testing::AssertionResult Shows(const std::string& text) {
    std::string screen;
    for (int i = 0; i < 200; ++i) {
      screen = Screen();
      if (Has(screen, text)) return ::testing::AssertionSuccess();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ::testing::AssertionFailure() << "the screen does not show\n" << text << "\nbut\n" << screen;
  }

 private:
  std::string tmux_;
};

TEST(SqlShellTerminal, EditsRecallsAndExplainsAsAPersonTypes) {
  if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  acetest::Workspace ws;
  const std::string dd = ws.Win("shop.add");
  ASSERT_EQ(Aceadmin("create-dictionary " + Q(dd)).status, 0);
  acetest::WriteFile(ws.Host("setup.sql"),
                     "create table item (id integer, name char(10));\n"
                     "insert into item values (1, 'pen');\ninsert into item values (2, 'ink');\n"
                     "create index byname on item (name);\n");
  acetest::ToolRun setup = Aceadmin("sql " + Q(dd) + " --script " + Q(ws.Host("setup.sql")));
  ASSERT_EQ(setup.status, 0) << setup.output;

  const std::string history = ws.Host("history");
  acetest::WriteFile(ws.Host("shell.sh"), "ACEADMIN_HISTORY=" + Q(history) + " " +
                                              (testenv::BinDir() / "aceadmin").string() + " sql " + Q(dd) +
                                              "\necho \"[exit $?]\"\nsleep 60\n");
  const std::string shell = "sh " + ws.Host("shell.sh");
  {
    Terminal t(shell);
    ASSERT_TRUE(t.Shows("sql>"));

    t.Line(".tables");
    EXPECT_TRUE(t.Shows("sql> .tables\nitem\nsql>"));

    // A statement over three lines runs at its ";".
    t.Line("select id, name");
    t.Line("  from item");
    t.Line("  order by id desc;");
    const std::string descending =
        "sql> select id, name\n...>   from item\n...>   order by id desc;\nid | name\n---+-----\n2  | ink\n1  | pen\n"
        "(2 rows)\n";
    EXPECT_TRUE(t.Shows(descending));

    // An error shows the line and a mark under what it is about.
    t.Line("select id from item where nosuch = 1;");
    const std::string error =
        "error: Error 5147: Column not found: column \"nosuch\".\n"
        "  at line 1, column 27:\n"
        "  select id from item where nosuch = 1;\n"
        "                            ^\n";
    EXPECT_TRUE(t.Shows(error));

    // Two steps back in the history: the three lines as one line; " desc" taken out of it.
    t.Press("Up Up");
    EXPECT_TRUE(t.Shows("sql> select id, name from item order by id desc;"));
    t.Press("Left BSpace BSpace BSpace BSpace BSpace Enter");
    const std::string ascending = "sql> select id, name from item order by id;\nid | name\n---+-----\n1  | pen\n2  | ink\n";
    EXPECT_TRUE(t.Shows(ascending));

    t.Line(".schema item");
    EXPECT_TRUE(t.Shows("CREATE TABLE item (\n  id Integer,\n  name Char(10)\n);\n"));
    t.Line(".indexes item");
    EXPECT_TRUE(t.Shows("tag    | key  | condition | options\n-------+------+-----------+--------\nbyname | name |"));

    t.Line(".mode csv");
    t.Line("select name, 'a, b' as two from item order by id;");
    EXPECT_TRUE(t.Shows("name,two\npen,\"a, b\"\nink,\"a, b\"\nsql>"));

    t.Press("C-d");
    EXPECT_TRUE(t.Shows("[exit 1]"));  // a statement failed
  }
  struct stat st {};
  ASSERT_EQ(stat(history.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // statements may hold passwords

  // The next session starts with that history; a statement not ended at Ctrl-D is not run.
  {
    Terminal t(shell);
    ASSERT_TRUE(t.Shows("sql>"));
    t.Press("Up");
    EXPECT_TRUE(t.Shows("sql> select name, 'a, b' as two from item order by id;"));
    t.Press("C-u");
    t.Line("delete from item");
    // Ctrl-D only once the shell waits for the statement's next line: typed earlier, it reaches
    // a terminal in its cooked mode, which takes it as its own end of input.
    ASSERT_TRUE(t.Shows("sql> delete from item\n...>"));
    t.Press("C-d");
    EXPECT_TRUE(t.Shows("the last statement was not run: it did not end with \";\"\n\n[exit 0]"));
  }
  acetest::WriteFile(ws.Host("count.sql"), "select count(*) as n from item");
  acetest::ToolRun count = Aceadmin("sql " + Q(dd) + " --script " + Q(ws.Host("count.sql")));
  EXPECT_TRUE(Has(count.output, "n\n-\n2\n")) << count.output;
}

}  // namespace
