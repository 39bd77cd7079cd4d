// quenlor-batch stopped by a termination signal, as a service stop or Ctrl-C stops it, on a
// private host: while it starts and while it runs. Either way it ends through its
// finalisations (no crash, the work folder removed), says on standard error that it stopped,
// exits with status 2, and never logs a finished run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "test_env.h"
#include "tests/app/reindex_run_fixture.h"

namespace {

namespace fs = std::filesystem;

// quenlor-batch in a process of its own. Its standard output is a pipe of one page that the
// test reads byte by byte, so the program can run at most a page ahead of what the test has
// read: once the test stops reading, the program soon waits in its next log line.
class BatchProcess {
 public:
  explicit BatchProcess(const fs::path& errors) : errors_(errors) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    fcntl(out[0], F_SETPIPE_SZ, 4096);
    const std::string program = (testenv::BinDir() / "quenlor-batch").string();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (err >= 0) dup2(err, 2);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~BatchProcess() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  BatchProcess(const BatchProcess&) = delete;
  BatchProcess& operator=(const BatchProcess&) = delete;

  // Reads standard output up to the end of the first line that contains `text`; false when
  // the output ends first.
  bool ReadUntilLineWith(const std::string& text) {
    std::string line;
    char c;
    while (read(out_, &c, 1) == 1) {
      output_ += c;
      if (c != '\n') {
        line += c;
        continue;
      }
      if (line.find(text) != std::string::npos) return true;
      line.clear();
    }
    return false;
  }

  void Signal(int signal) const { kill(pid_, signal); }
  // Stops reading: the program's next writes meet a pipe without a reader.
  void CloseOutput() {
    close(out_);
    out_ = -1;
  }

  // Reads the rest of the output and waits for the program to end.
  void Wait() {
    char buffer[4096];
    ssize_t n;
    while (out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, static_cast<size_t>(n));
    int st = 0;
    waitpid(pid_, &st, 0);
    waited_ = true;
    exited_ = WIFEXITED(st);
    status_ = exited_ ? WEXITSTATUS(st) : -WTERMSIG(st);
  }

  bool running() const { return pid_ > 0 && !waited_; }
  const std::string& output() const { return output_; }
  std::string errors() const {
    std::ifstream in(errors_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool exited() const { return exited_; }
  int status() const { return status_; }  // the exit status, or minus the signal that ended it

 private:
  fs::path errors_;
  pid_t pid_ = -1;
  int out_ = -1;
  bool waited_ = false;
  bool exited_ = false;
  int status_ = 0;
  std::string output_;
};

class Termination : public ::testing::Test {
 protected:
  // The host folder data/<folder> as the data folder of the user hive.
  fs::path UseDataFolder(const std::string& folder) {
    const fs::path data = host.root() / "data" / folder;
    fs::create_directories(data / "DB");
    host.WriteUserHive(installtest::UserKey(
        "Software\\Pellmar", {{"DataFolder", installtest::RegSz(host.Win("data/" + folder).toStdString())}}));
    return data;
  }

  // A dictionary at <data>/DB/<relative> with the given tables of one row each.
  static void MakeDictionary(const fs::path& data, const std::string& relative,
                             std::initializer_list<const char*> tables) {
    const fs::path path = data / "DB" / relative;
    fs::create_directories(path.parent_path());
    apptest::MakeOneRowDictionary(QString::fromStdString(path.string()), tables);
  }

  // Waits until `path` exists or the program has ended; true when it exists.
  static bool WaitForPath(const fs::path& path, const BatchProcess& batch) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(path)) {
      if (!batch.running() || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // The lines of a text with CR LF or LF line ends.
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  }

  hosttest::HostFixture host;
  // The engine library beside the fixture's executable folder, where the test's own calls of
  // the engine look for it (the program finds it beside itself).
  bool engineInstalled_ = [this] {
    fs::create_symlink(testenv::BinDir() / "libace32.so", host.root() / "exe" / "libace32.so");
    ace_binding::ResetForTesting();
    return true;
  }();
};

// The signal comes once the work folder exists, while discovery lists many site dictionaries
// (or, on a fast machine, just after it): the run never gets to a dictionary.
TEST_F(Termination, ASignalWhileTheBatchStartsEndsItCleanlyWithoutARun) {
  const fs::path data = UseDataFolder("data");
  for (int i = 0; i < 1000; ++i) {
    const fs::path site = data / "DB" / std::to_string(1000000 + i);
    fs::create_directories(site);
    std::ofstream(site / "sitedb.add") << "dictionary";
  }
  BatchProcess batch(host.root() / "errors.txt");
  ASSERT_TRUE(WaitForPath(host.root() / "tmp" / "_Pellmar1", batch)) << batch.errors();
  batch.Signal(SIGTERM);
  batch.Wait();
  ASSERT_TRUE(batch.exited()) << "ended by signal " << -batch.status() << "\n" << batch.errors();
  EXPECT_EQ(batch.status(), 2) << batch.errors();
  EXPECT_NE(batch.errors().find("Stopped before"), std::string::npos) << batch.errors();
  EXPECT_EQ(batch.output().find(" Finished."), std::string::npos);
  EXPECT_EQ(batch.output().find("- table"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(host.root() / "tmp")) << "the work folder is removed";
}

// The signal comes while the first table of the main dictionary is logged, with forty site
// dictionaries still to do: the run stops after that table, its log names every dictionary it
// did not reindex, and the saved log holds what the program printed.
TEST_F(Termination, ASignalDuringTheRunStopsItAfterTheCurrentTableAndLogsWhatWasNotReindexed) {
  // A long data folder makes every dictionary's lines long, so the run cannot finish within
  // the page the output pipe holds.
  const fs::path data = UseDataFolder(std::string(120, 'd'));
  MakeDictionary(data, "DB.add", {"crew", "vessel"});
  for (int i = 1; i <= 40; ++i) MakeDictionary(data, std::to_string(1000000 + i) + "/sitedb.add", {"job"});

  BatchProcess batch(host.root() / "errors.txt");
  ASSERT_TRUE(batch.ReadUntilLineWith("- table \"crew")) << batch.output() << batch.errors();
  batch.Signal(SIGTERM);
  batch.Wait();
  ASSERT_TRUE(batch.exited()) << "ended by signal " << -batch.status() << "\n" << batch.errors();
  EXPECT_EQ(batch.status(), 2) << batch.output() << batch.errors();
  EXPECT_NE(batch.errors().find("Stopped before the end of the run"), std::string::npos) << batch.errors();

  const std::vector<std::string> printed = Lines(batch.output());
  EXPECT_EQ(batch.output().find(" Finished."), std::string::npos) << batch.output();
  // Every dictionary discovery listed is either one the run got to or one a warning after the
  // stop names, in list order; the one in progress is named as not reindexed to its end.
  const std::string dbFolder = host.Win("data/" + std::string(120, 'd')).toStdString() + "\\DB\\";
  std::vector<std::string> listed, reached, notReached;
  std::string cut;
  bool inList = false, stopSeen = false;
  for (size_t i = 0; i < printed.size(); ++i) {
    const std::string& line = printed[i];
    if (line == "The following databases will be checked:") {
      inList = true;
    } else if (inList) {
      if (line.empty())
        inList = false;
      else
        listed.push_back(line == "db.add" ? "DB.add" : line);
    } else if (line.find(" Reindexing DB \"" + dbFolder) != std::string::npos) {
      EXPECT_FALSE(stopSeen);
      const size_t at = line.find(dbFolder) + dbFolder.size();
      reached.push_back(line.substr(at, line.size() - at - 1));
    } else if (line.size() > 9 && line.substr(line.size() - 9) == " Stopped.") {
      EXPECT_EQ(printed[i - 1], "");
      stopSeen = true;
    } else if (stopSeen && line.rfind("WARNING: DB \"" + dbFolder, 0) == 0) {
      const std::string rest = line.substr(13 + dbFolder.size());
      const size_t quote = rest.find('"');
      if (rest.substr(quote) == "\" was not reindexed to its end.")
        cut = rest.substr(0, quote);
      else if (rest.substr(quote) == "\" was not reindexed.")
        notReached.push_back(rest.substr(0, quote));
      else
        ADD_FAILURE() << line;
    }
  }
  ASSERT_TRUE(stopSeen) << batch.output();
  ASSERT_EQ(listed.size(), 41u);
  ASSERT_FALSE(notReached.empty()) << "the run was stopped early: " << batch.output();
  std::vector<std::string> accounted = reached;
  accounted.insert(accounted.end(), notReached.begin(), notReached.end());
  EXPECT_EQ(accounted, listed);
  if (!cut.empty()) {
    EXPECT_EQ(cut, reached.back());
  }
  EXPECT_EQ(printed.back().rfind("A log file has been saved to \"", 0), 0u) << printed.back();

  std::ifstream in(data / "Logs" / "quenlor.txt", std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), {});
  const std::vector<std::string> savedLines = Lines(saved);
  EXPECT_EQ(savedLines, std::vector<std::string>(printed.begin(), printed.end() - 1));
  EXPECT_TRUE(fs::is_empty(host.root() / "tmp")) << "the work folder is removed";
}

// A reader that goes away in the middle of the run (quenlor-batch | head) does not stop it: the
// run goes on to its end and saves the whole log.
TEST_F(Termination, AReaderOfTheOutputThatGoesAwayDoesNotStopTheRun) {
  const fs::path data = UseDataFolder(std::string(120, 'd'));
  MakeDictionary(data, "DB.add", {"crew", "vessel"});
  for (int i = 1; i <= 40; ++i) MakeDictionary(data, std::to_string(1000000 + i) + "/sitedb.add", {"job"});

  BatchProcess batch(host.root() / "errors.txt");
  ASSERT_TRUE(batch.ReadUntilLineWith("- table \"crew")) << batch.output() << batch.errors();
  batch.CloseOutput();
  batch.Wait();
  ASSERT_TRUE(batch.exited()) << "ended by signal " << -batch.status() << "\n" << batch.errors();
  EXPECT_EQ(batch.status(), 0) << batch.errors();

  std::ifstream in(data / "Logs" / "quenlor.txt", std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), {});
  const std::vector<std::string> lines = Lines(saved);
  ASSERT_FALSE(lines.empty());
  const std::string finished = " Finished.";
  EXPECT_TRUE(lines.back().size() > finished.size() &&
              lines.back().compare(lines.back().size() - finished.size(), finished.size(), finished) == 0)
      << saved;
  EXPECT_NE(saved.find("1000040\\sitedb.add"), std::string::npos) << "the last site was reindexed";
  EXPECT_TRUE(fs::is_empty(host.root() / "tmp")) << "the work folder is removed";
}

}  // namespace
