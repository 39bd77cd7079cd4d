// The installation as cmake --install lays it out in a fresh prefix: the programs with the engine
// beside them and their links on the search path, the manual pages, the user guide, the desktop
// entry with its icon and the systemd units; the installed programs run an installation through
// their links, and they use the engine installed beside them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "test_env.h"

namespace {

namespace fs = std::filesystem;

struct ShellRun {
  int status = -1;  // -1 when the program did not end normally
  std::string output;
};

// Runs a shell command line; standard error is kept apart unless the command joins it.
ShellRun Shell(const std::string& command) {
  ShellRun r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

bool HaveProgram(const std::string& name) { return Shell("command -v " + name + " >/dev/null 2>&1").status == 0; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One installation into a fresh prefix, shared by the tests of this file.
class InstallTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<testenv::TempDir>();
    prefix_ = dir_->path() / "usr";
    install_ = Shell(Q(QUENLOR_CMAKE_COMMAND) + " --install " + Q(QUENLOR_BUILD_DIR) + " --prefix " +
                     Q(prefix_.string()) + " 2>&1");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override { ASSERT_EQ(install_.status, 0) << install_.output; }

  static fs::path Prefix() { return prefix_; }

 private:
  static std::unique_ptr<testenv::TempDir> dir_;
  static fs::path prefix_;
  static ShellRun install_;
};

std::unique_ptr<testenv::TempDir> InstallTree::dir_;
fs::path InstallTree::prefix_;
ShellRun InstallTree::install_;

TEST_F(InstallTree, LaysOutProgramsEngineLinksPagesGuideDesktopEntryAndUnits) {
  enum Kind { kProgram, kLinkToProgram, kFile };
  const struct {
    const char* path;
    Kind kind;
  } expected[] = {
      {"lib/quenlor/quenlor", kProgram},
      {"lib/quenlor/quenlor-batch", kProgram},
      {"lib/quenlor/aceadmin", kProgram},
      {"lib/quenlor/libace32.so", kFile},
      {"bin/quenlor", kLinkToProgram},
      {"bin/quenlor-batch", kLinkToProgram},
      {"bin/aceadmin", kLinkToProgram},
      {"share/man/man1/quenlor.1.gz", kFile},
      {"share/man/man1/quenlor-batch.1.gz", kFile},
      {"share/man/man1/aceadmin.1.gz", kFile},
      {"share/doc/quenlor/README.md", kFile},
      {"share/doc/quenlor/aceadmin.md", kFile},
      {"share/applications/quenlor.desktop", kFile},
      {"share/icons/hicolor/scalable/apps/quenlor.svg", kFile},
      {"lib/systemd/system/quenlor-batch.service", kFile},
      {"lib/systemd/system/quenlor-batch.timer", kFile},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.path);
    const fs::path path = Prefix() / e.path;
    ASSERT_TRUE(fs::exists(fs::symlink_status(path))) << "not installed";
    switch (e.kind) {
      case kProgram:
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
        EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none);
        break;
      case kLinkToProgram:
        // A relative link, so that the tree may move with its prefix (DESTDIR, packaging).
        ASSERT_TRUE(fs::is_symlink(path));
        EXPECT_TRUE(fs::read_symlink(path).is_relative()) << fs::read_symlink(path);
        EXPECT_TRUE(fs::equivalent(path, Prefix() / "lib/quenlor" / path.filename()));
        break;
      case kFile:
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
        break;
    }
  }
  // What the desktop entry names is installed.
  const std::string desktop = ReadFile(Prefix() / "share/applications/quenlor.desktop");
  EXPECT_NE(desktop.find("\nExec=quenlor\n"), std::string::npos) << desktop;
  EXPECT_NE(desktop.find("\nIcon=quenlor\n"), std::string::npos) << desktop;
}

TEST_F(InstallTree, TheInstalledProgramsRunAnInstallationWithTheEngineBesideThem) {
  testenv::TempDir work;
  const fs::path data = work.path() / "data";
  ShellRun demo = Shell(Q((Prefix() / "bin/aceadmin").string()) + " build-demo " + Q(data.string()) + " 2>&1");
  ASSERT_EQ(demo.status, 0) << demo.output;

  // The installation's user hive names the data folder (C: is the host's root).
  std::string windows = "C:" + data.string();
  std::string escaped;
  for (char c : windows) escaped += c == '/' ? std::string("\\\\") : std::string(1, c);
  const fs::path hive = work.path() / "HKCU.reg";
  std::ofstream(hive) << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n"
                      << "\"DataFolder\"=\"" << escaped << "\\\\\"\r\n\r\n";
  const std::string environment = "env -u PELLMAR_EXE_DIR -u LD_LIBRARY_PATH PELLMAR_HKCU=" + Q(hive.string()) +
                                  " PELLMAR_HKLM=" + Q((work.path() / "HKLM.reg").string()) + " ";
  const std::string batch = environment + Q((Prefix() / "bin/quenlor-batch").string());

  ShellRun batchRun = Shell(batch + " 2>&1");
  EXPECT_EQ(batchRun.status, 0) << batchRun.output;
  EXPECT_NE(batchRun.output.find("\\DB\\DB.add\""), std::string::npos) << batchRun.output;
  EXPECT_NE(batchRun.output.find("Finished."), std::string::npos) << batchRun.output;
  EXPECT_TRUE(fs::exists(data / "Logs" / "quenlor.txt"));

  // Without the engine beside it the run cannot load one from anywhere else: the one it used
  // was the installed one.
  fs::rename(Prefix() / "lib/quenlor/libace32.so", work.path() / "libace32.so");
  ShellRun without = Shell(batch + " 2>&1");
  fs::rename(work.path() / "libace32.so", Prefix() / "lib/quenlor/libace32.so");
  EXPECT_NE(without.status, 0) << without.output;
  EXPECT_NE(without.output.find("libace32.so"), std::string::npos) << without.output;
}

TEST_F(InstallTree, TheServiceRunsTheInstalledBatchProgramAndTheUnitsVerify) {
  const fs::path units = Prefix() / "lib/systemd/system";
  const std::string service = ReadFile(units / "quenlor-batch.service");
  EXPECT_NE(service.find("\nExecStart=" + (Prefix() / "bin/quenlor-batch").string() + "\n"), std::string::npos)
      << service;
  const std::string timer = ReadFile(units / "quenlor-batch.timer");
  EXPECT_NE(timer.find("\nWantedBy=timers.target\n"), std::string::npos) << timer;
  if (!HaveProgram("systemd-analyze")) GTEST_SKIP() << "systemd-analyze is not installed";
  // The units' documentation is checked too: man must find the installed page.
  ShellRun verify = Shell("MANPATH=" + Q((Prefix() / "share/man").string()) + ": systemd-analyze verify " + Q((units / "quenlor-batch.service").string()) + " " +
                     Q((units / "quenlor-batch.timer").string()) + " 2>&1");
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_EQ(verify.output, "");
}

TEST_F(InstallTree, ManualPagesRenderCleanlyNameTheInstalledFoldersAndEveryAceadminCommand) {
  if (!HaveProgram("groff")) GTEST_SKIP() << "groff is not installed";
  for (const char* page : {"quenlor", "quenlor-batch", "aceadmin"}) {
    SCOPED_TRACE(page);
    const std::string gz = Q((Prefix() / "share/man/man1" / (std::string(page) + ".1.gz")).string());
    ShellRun source = Shell("gzip -dc " + gz);
    ASSERT_EQ(source.status, 0);
    EXPECT_EQ(source.output.find('@'), std::string::npos) << "a placeholder was left unfilled";
    // -ww: every warning; -z: no output but the warnings.
    ShellRun render = Shell("gzip -dc " + gz + " | groff -man -Tutf8 -ww -z 2>&1");
    EXPECT_EQ(render.status, 0);
    EXPECT_EQ(render.output, "");
  }
  ShellRun page = Shell("gzip -dc " + Q((Prefix() / "share/man/man1/quenlor.1.gz").string()));
  EXPECT_NE(page.output.find((Prefix() / "lib/quenlor").string()), std::string::npos);

  // Every command aceadmin knows has its entry in the manual page (names as roff writes them).
  ShellRun help = Shell(Q((Prefix() / "bin/aceadmin").string()) + " --help");
  ASSERT_EQ(help.status, 0) << help.output;
  const std::string manual = Shell("gzip -dc " + Q((Prefix() / "share/man/man1/aceadmin.1.gz").string())).output;
  std::set<std::string> commands;
  const std::regex line("^  ([a-z][a-z-]*) ");
  std::istringstream in(help.output);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (std::regex_search(l, m, line)) commands.insert(m[1]);
  }
  EXPECT_GE(commands.size(), 10u) << help.output;
  for (const std::string& command : commands) {
    std::string roff = std::regex_replace(command, std::regex("-"), "\\-");
    EXPECT_TRUE(manual.find(".BI \"" + roff + " ") != std::string::npos ||
                manual.find(".BI " + roff + " ") != std::string::npos)
        << "aceadmin.1 does not describe " << command;
  }
}

}  // namespace
