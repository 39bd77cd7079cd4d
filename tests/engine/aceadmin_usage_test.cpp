// aceadmin's help and usage errors: --help and COMMAND --help answer on standard output with
// status 0; a wrong command, option or number of arguments names the problem and the usage on
// standard error, every line ended, with status 2, and nothing is touched.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/aceadmin_run.h"
#include "test_env.h"

namespace {

using acetest::Q;

struct Streams {
  int status = -1;
  std::string out, err;
};

// Runs aceadmin with `args` (shell words), keeping standard output and standard error apart.
Streams RunAceadmin(const std::string& args) {
  testenv::TempDir dir;
  const std::string errFile = (dir.path() / "err").string();
  Streams r;
  FILE* p = popen(((testenv::BinDir() / "aceadmin").string() + " " + args + " 2>" + Q(errFile)).c_str(), "r");
  if (!p) return r;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::stringstream e;
  e << std::ifstream(errFile).rdbuf();
  r.err = e.str();
  return r;
}

TEST(AceadminUsage, AWrongCommandOptionOrArgumentNamesTheProblemAndTheUsage) {
  const struct {
    const char* args;
    const char* err;  // the whole of standard error
  } cases[] = {
      {"", nullptr},  // checked below: the problem, then every command
      {"reindx x.add",
       "aceadmin: unknown command \"reindx\"; did you mean \"reindex\"?\n"
       "usage: aceadmin COMMAND ARGUMENTS... (aceadmin --help lists the commands)\n"},
      {"--frobnicate", "aceadmin: unknown option \"--frobnicate\"\n"
                       "usage: aceadmin COMMAND ARGUMENTS... (aceadmin --help lists the commands)\n"},
      {"pack onlyone",
       "aceadmin: pack: too few arguments (1 given, 2 expected)\nusage: aceadmin pack DICTIONARY|FOLDER TABLE [--type ntx|cdx|vfp|adt]\n"},
      {"pack a b c",
       "aceadmin: pack: unexpected argument \"c\" (2 arguments expected)\nusage: aceadmin pack DICTIONARY|FOLDER TABLE [--type ntx|cdx|vfp|adt]\n"},
      {"add-user d", "aceadmin: add-user: too few arguments (1 given, at least 2 expected)\n"
                     "usage: aceadmin add-user DICTIONARY USER [PASSWORD [GROUP]]\n"},
      {"show-rows d t --limt 3", "aceadmin: show-rows: unknown option \"--limt\"\n"
                                 "usage: aceadmin show-rows DICTIONARY|FOLDER TABLE [--limit N] [--type ntx|cdx|vfp|adt]\n"},
      {"show-rows d t --limit", "aceadmin: show-rows: --limit needs a value\n"
                                "usage: aceadmin show-rows DICTIONARY|FOLDER TABLE [--limit N] [--type ntx|cdx|vfp|adt]\n"},
      {"show-rows d t --limit ten", "aceadmin: show-rows: --limit needs a number, not \"ten\"\n"
                                    "usage: aceadmin show-rows DICTIONARY|FOLDER TABLE [--limit N] [--type ntx|cdx|vfp|adt]\n"},
      {"reindex notes.txt", "aceadmin: reindex: \"notes.txt\" names neither a dictionary (.add) nor a table file (.adt, .dbf)\n"
                            "usage: aceadmin reindex DICTIONARY.add|TABLE.adt|TABLE.dbf [--type ntx|cdx|vfp|adt]\n"},
      {"sql", "aceadmin: sql: too few arguments (0 given, 1 expected)\n"
              "usage: aceadmin sql DICTIONARY|FOLDER [-u USER] [-p PASSWORD] [--csv] [--script FILE]\n"},
      {"create-table f t FIELDS --memo-size 4", "aceadmin: create-table: the memo block size must be from 8 to 8192, "
                                                "not \"4\"\n"
                                                "usage: aceadmin create-table DICTIONARY|FOLDER TABLE FIELDS [--free] "
                                                "[--memo-size N] [--type ntx|cdx|vfp|adt]\n"},
      {"create-table f t FIELDS --type dbase", "aceadmin: create-table: --type takes ntx, cdx, vfp or adt, not \"dbase\"\n"
                                               "usage: aceadmin create-table DICTIONARY|FOLDER TABLE FIELDS [--free] "
                                               "[--memo-size N] [--type ntx|cdx|vfp|adt]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Streams r = RunAceadmin(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.back(), '\n');
    if (c.err) {
      EXPECT_EQ(r.err, c.err);
    }
  }
  Streams none = RunAceadmin("");
  EXPECT_EQ(none.err.rfind("aceadmin: no command given\nusage: aceadmin COMMAND ARGUMENTS...\n", 0), 0u) << none.err;
  EXPECT_NE(none.err.find("\n  reindex DICTIONARY.add|TABLE.adt|TABLE.dbf [--type ntx|cdx|vfp|adt]\n"), std::string::npos) << none.err;
}

TEST(AceadminUsage, HelpListsEveryCommandAndEachCommandExplainsItself) {
  Streams list = RunAceadmin("--help");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.err, "");
  EXPECT_EQ(RunAceadmin("help").out, list.out);
  std::vector<std::string> commands;
  std::istringstream in(list.out);
  const std::regex entry("^  ([a-z][a-z-]*) (.*)$");
  std::vector<std::string> usages;
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, entry)) {
      commands.push_back(m[1]);
      usages.push_back(m[2]);
    }
  }
  ASSERT_GE(commands.size(), 15u) << list.out;
  for (size_t i = 0; i < commands.size(); ++i) {
    SCOPED_TRACE(commands[i]);
    const std::string usage = "usage: aceadmin " + commands[i] + " " + usages[i] + "\n\n";
    // Anywhere among the arguments, and as "help COMMAND".
    for (const std::string& args : {commands[i] + " --help", commands[i] + " x -h", "help " + commands[i]}) {
      Streams help = RunAceadmin(args);
      EXPECT_EQ(help.status, 0) << args;
      EXPECT_EQ(help.err, "") << args;
      EXPECT_EQ(help.out.rfind(usage, 0), 0u) << args << ":\n" << help.out;
      EXPECT_GT(help.out.size(), usage.size() + 10) << args << ": no explanation";
    }
  }
}

TEST(AceadminUsage, WordsAfterADoubleDashAreArgumentsEvenWhenTheyLookLikeOptions) {
  testenv::TempDir dir;
  // "--help" after "--" is a table name: the command runs and the engine answers for it.
  Streams r = RunAceadmin("show-rows " + Q(dir.str()) + " -- --help");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
}

}  // namespace
