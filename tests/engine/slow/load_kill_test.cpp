// Loads killed with SIGKILL at random moments, many rounds: through `aceadmin load-csv` (one
// transaction of thousands of rows) and through `aceadmin sql` (one INSERT per statement, each
// reported as it is stored). Afterwards every row reported stored is there, no row is blank,
// partial or never asked for, and, once an exclusive open has rebuilt an index the kill
// interrupted, every index tag agrees with the table (aceadmin verify-index).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <regex>
#include <thread>

#include "checker/folder_check.h"
#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

extern char** environ;

namespace {

using acetest::Aceadmin;
using acetest::Q;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 24;
constexpr const char* kFields = "ID,Integer;NAME,Char,20;NOTES,Memo;";

// Starts aceadmin with `args`, its output into `outFile`; kills it after `delay` unless it ended
// first. Answers whether it ended by itself.
bool RunKilled(const std::vector<std::string>& args, const std::string& outFile, std::chrono::microseconds delay) {
  std::vector<std::string> argv = {(testenv::BinDir() / "aceadmin").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t child = 0;
  EXPECT_EQ(posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const auto deadline = Clock::now() + delay;
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(child, &status, WNOHANG) == child) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return WIFEXITED(status);
}

// The rounds of one kind of load: round 0 runs undisturbed, to learn how long the load takes and
// what it leaves (the reference rows); every later round kills it at a random moment within
// `spread` times that long.
class Rounds {
 public:
  Rounds(uint32_t seed, double spread) : rng_(seed), spread_(spread) {}
  const std::vector<std::string>& reference() const { return reference_; }

  // Runs round `round` of aceadmin `args`, its output into `outFile`; `rows`: what an undisturbed
  // run leaves in `folder`'s table.
  void Run(int round, const std::vector<std::string>& args, const std::string& outFile, const std::string& folder,
           size_t rows) {
    std::chrono::microseconds delay(600'000'000);
    if (round > 0) {
      delay = std::chrono::microseconds(
          std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(seconds_ * spread_ * 1e6))(rng_));
    }
    auto start = Clock::now();
    bool ended = RunKilled(args, outFile, delay);
    if (round == 0) {
      ASSERT_TRUE(ended);
      seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
      reference_ = acetest::ReadRows(folder, "vessel");
      ASSERT_EQ(reference_.size(), rows);
    }
  }

 private:
  std::mt19937 rng_;
  double spread_;
  double seconds_ = 0;
  std::vector<std::string> reference_;
};

// Checks the table after a round: `reported` rows of the load are there for sure, the rows in
// the table are the first rows of `reference` (what an undisturbed load leaves), and the indexes
// agree.
void CheckAfterKill(const std::string& folder, const std::vector<std::string>& reference, int initial, int reported,
                    int total, bool whole, int* present) {
  std::vector<std::string> rows = acetest::ReadRows(folder, "vessel");
  ASSERT_GE(rows.size(), static_cast<size_t>(initial)) << "rows stored before the load are gone";
  ASSERT_LE(rows.size(), reference.size()) << "more rows than were asked for";
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i], reference[i]) << "row " << i + 1 << " is not the row that was asked for";
  }
  const int loaded = static_cast<int>(rows.size()) - initial;
  *present = loaded;
  EXPECT_GE(loaded, reported) << "rows reported stored are missing";
  EXPECT_LE(loaded, total);
  if (whole) EXPECT_TRUE(loaded == 0 || loaded == total) << loaded << " rows of an all-or-nothing load are there";
  bool unavailable = false;
  std::vector<std::string> problems = acetest::IndexProblems(folder, "vessel", true, &unavailable);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

// The workspace's folder as a host path.
std::string FolderOf(const acetest::Workspace& ws) {
  std::string f = ws.Host("");
  return f.substr(0, f.size() - 1);
}

std::string Csv(int from, int to) {
  std::string csv = "ID,NAME,NOTES\n";
  for (int n = from; n <= to; ++n) {
    csv += std::to_string(n) + ",name " + std::to_string(n) + "," + (n % 3 ? "note " + std::to_string(n) : "") + "\n";
  }
  return csv;
}

// A table vessel in `folder` with two tags and `initial` rows.
void MakeTable(const std::string& folder, int initial, const std::string& csvPath) {
  ASSERT_EQ(Aceadmin("create-table " + Q(acetest::Win(folder)) + " vessel " + Q(kFields)).status, 0) << folder;
  ASSERT_EQ(Aceadmin("create-index " + Q(folder + "/vessel.adt") + " BYNAME 'UPPER(NAME)'").status, 0);
  ASSERT_EQ(Aceadmin("create-index " + Q(folder + "/vessel.adt") + " BYID ID").status, 0);
  acetest::WriteFile(csvPath, Csv(1, initial));
  acetest::ToolRun r = Aceadmin("load-csv " + Q(acetest::Win(folder)) + " vessel " + Q(csvPath));
  ASSERT_EQ(r.status, 0) << r.output;
}

TEST(LoadKilled, ACsvLoadIsStoredWholeOrNotAtAll) {
  constexpr int kInitial = 10, kLoad = 3000;
  Rounds rounds(20240601, 1.3);
  int sawNone = 0, sawAll = 0;
  for (int round = 0; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    acetest::Workspace ws;
    const std::string folder = FolderOf(ws);
    MakeTable(folder, kInitial, ws.Host("first.csv"));
    acetest::WriteFile(ws.Host("rows.csv"), Csv(kInitial + 1, kInitial + kLoad));
    rounds.Run(round, {"load-csv", ws.WinFolder(), "vessel", ws.Host("rows.csv")}, ws.Host("out.txt"), folder,
               kInitial + kLoad);
    if (HasFatalFailure()) return;
    const std::string out = acetest::ReadFile(ws.Host("out.txt"));
    const int reported = out.find("loaded " + std::to_string(kLoad) + " rows") != std::string::npos ? kLoad : 0;
    int present = 0;
    CheckAfterKill(folder, rounds.reference(), kInitial, reported, kLoad, true, &present);
    if (present == 0) ++sawNone;
    if (present == kLoad) ++sawAll;
  }
  // The kills fell before the commit and after it.
  EXPECT_GT(sawNone, 0);
  EXPECT_GT(sawAll, 0);
}

TEST(LoadKilled, EveryInsertReportedStoredIsThere) {
  constexpr int kInitial = 5, kInserts = 400;
  Rounds rounds(7, 1.2);
  int sawSome = 0;
  for (int round = 0; round <= kRounds / 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    acetest::Workspace ws;
    const std::string folder = FolderOf(ws);
    MakeTable(folder, kInitial, ws.Host("first.csv"));
    std::string script;
    for (int n = kInitial + 1; n <= kInitial + kInserts; ++n) {
      script += "INSERT INTO vessel (ID, NAME, NOTES) VALUES (" + std::to_string(n) + ", 'name " + std::to_string(n) +
                "', " + (n % 3 ? "'note " + std::to_string(n) + "'" : "NULL") + ");\n";
    }
    acetest::WriteFile(ws.Host("inserts.sql"), script);
    rounds.Run(round, {"sql", ws.WinFolder(), "--script", ws.Host("inserts.sql")}, ws.Host("out.txt"), folder,
               kInitial + kInserts);
    if (HasFatalFailure()) return;
    const std::string out = acetest::ReadFile(ws.Host("out.txt"));
    int reported = 0;
    for (size_t at = out.find("1 row affected"); at != std::string::npos; at = out.find("1 row affected", at + 1)) ++reported;
    int present = 0;
    CheckAfterKill(folder, rounds.reference(), kInitial, reported, kInserts, false, &present);
    EXPECT_LE(present, reported + 1) << "more rows than were reported, beyond the one being stored";
    if (present > 0 && present < kInserts) ++sawSome;
  }
  EXPECT_GT(sawSome, 0) << "no kill fell in the middle of the inserts";
}

}  // namespace
