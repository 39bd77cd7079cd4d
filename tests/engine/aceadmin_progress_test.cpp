// aceadmin's progress line on long work: drawn on a terminal while the work runs and erased
// before the results, so that the screen ends as it would without it; nothing extra at all
// when the output goes to a pipe.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs aceadmin with `args` on a new pseudo-terminal (standard input, output and error), 100
// columns wide, with the progress line shown from the start. Returns everything written to
// the terminal, byte for byte.
ToolRun OnTerminal(const std::vector<std::string>& args) {
  const std::string program = (testenv::BinDir() / "aceadmin").string();
  winsize size{};
  size.ws_col = 100;
  size.ws_row = 30;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("ACEADMIN_PROGRESS_DELAY_MS", "0", 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  ToolRun r{-1, {}};
  if (pid < 0) return r;
  char buf[4096];
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 60000) <= 0) break;  // a minute without output: give up
    ssize_t n = read(master, buf, sizeof buf);
    if (n > 0) {
      r.output.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;  // EIO: the program and its children closed the terminal
    }
  }
  close(master);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  return r;
}

// What a terminal shows at the end: every carriage return starts the line over, text
// overwrites what stood there, and trailing blanks are not seen.
std::string Screen(const std::string& raw) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (char c : raw) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      std::string& line = lines.back();
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  std::string screen;
  for (std::string& line : lines) {
    line.erase(line.find_last_not_of(' ') + 1);
    screen += line + "\n";
  }
  return screen;
}

class AceadminProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    // The demo installation through a pipe: the same command as on the terminal below, and
    // the tables the other commands work on.
    ToolRun built = Aceadmin("build-demo " + Q(data_.str()));
    ASSERT_EQ(built.status, 0) << built.output;
    EXPECT_FALSE(Has(built.output, "\r") || Has(built.output, "%")) << built.output;
    EXPECT_TRUE(Has(built.output, "  crew: 3000 records, 4 of 4 index tags\n")) << built.output;
  }

  testenv::TempDir data_;
  std::string dd_ = acetest::Win(data_.str() + "/DB/DB.add");
};

TEST_F(AceadminProgress, ShownOnATerminalAndErasedBeforeTheResults) {
  testenv::TempDir other;
  std::string csv = "CREWID,SURNAME\n";
  for (int i = 1; i <= 500; ++i) csv += std::to_string(100000 + i) + ",Sailor " + std::to_string(i) + "\n";
  acetest::WriteFile(other.str() + "/crew.csv", csv);

  const struct {
    std::vector<std::string> args;
    std::string progress;  // drawn while the work runs
    std::string result;    // a line of the results, whole on the screen at the end
  } cases[] = {
      {{"build-demo", other.str()}, "\rcrew: ", "  crew: 3000 records, 4 of 4 index tags\n"},
      {{"reindex", dd_}, "\rreindex crew (1 of 2): ", "reindexed vessel: 1000 records, "},
      {{"pack", dd_, "crew"}, "\rpack crew: ", "packed crew: 3000 records"},
      {{"load-csv", dd_, "crew", other.str() + "/crew.csv"}, "\rload crew: ", "loaded 500 rows into crew\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ToolRun r = OnTerminal(c.args);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r.output, c.progress)) << r.output;
    const size_t drawn = r.output.find(c.progress);
    const size_t percent = r.output.find('%', drawn);
    EXPECT_NE(percent, std::string::npos) << r.output;
    EXPECT_LT(percent, r.output.find('\n', drawn)) << r.output;
    // The progress line is gone: the screen holds the results as a pipe would get them.
    const std::string screen = Screen(r.output);
    EXPECT_TRUE(Has(screen, c.result)) << screen;
    EXPECT_FALSE(Has(screen, "%")) << screen;
  }

  // The same commands through a pipe print their results and nothing else.
  const std::string sitedb = acetest::Win(data_.str() + "/DB/1000001/sitedb.add");
  for (const std::string& args : {"reindex " + Q(sitedb), "pack " + Q(dd_) + " vessel",
                                  "load-csv " + Q(dd_) + " crew " + Q(other.str() + "/crew.csv")}) {
    SCOPED_TRACE(args);
    ToolRun r = Aceadmin(args);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(Has(r.output, "\r") || Has(r.output, "%") || Has(r.output, "0:00")) << r.output;
  }
}

}  // namespace
