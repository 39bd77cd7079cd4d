// The two programs as a user starts them, each in a process of its own on a private host: a
// start-up that fails on a broken user hive ends cleanly with the failure reported, and an
// unattended run leaves no trace of Qt's runtime folder, neither on standard error nor in the
// temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "test_env.h"
#include "tests/environment/support/installation_fixture.h"

namespace {

struct ProgramRun {
  bool exited = false;  // ended by returning from main or exit(), not by a signal
  int status = -1;
  std::string output;  // standard output and standard error together
};

ProgramRun RunProgram(const std::string& program, const std::string& environment = "") {
  const std::string command = environment + " " + (testenv::BinDir() / program).string() + " 2>&1";
  ProgramRun r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  const int st = pclose(p);
  r.exited = WIFEXITED(st);
  r.status = r.exited ? WEXITSTATUS(st) : -1;
  return r;
}

class Programs : public ::testing::Test {
 protected:
  hosttest::HostFixture host;
};

TEST_F(Programs, AStartUpFailureIsReportedAndEndsTheProgramCleanly) {
  host.WriteUserHive(installtest::UserKey("Software\\Pellmar", {{"DataFolder", "dword:00000001"}}));
  const struct {
    const char* program;
    int status;
  } cases[] = {{"quenlor", 1}, {"quenlor-batch", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const ProgramRun r = RunProgram(c.program, "QT_QPA_PLATFORM=offscreen");
    EXPECT_TRUE(r.exited) << "ended by a signal: " << r.output;
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find("Invalid data type for 'DataFolder'"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("terminate called"), std::string::npos) << r.output;
    EXPECT_TRUE(std::filesystem::is_empty(host.root() / "tmp")) << "the work folder is removed again";
  }
}

TEST_F(Programs, AnUnattendedRunWithoutADesktopSessionLeavesNoRuntimeFolder) {
  std::filesystem::create_directories(host.root() / "data");
  host.WriteUserHive(installtest::UserKey(
      "Software\\Pellmar", {{"DataFolder", installtest::RegSz(host.Win("data").toStdString())}}));
  const ProgramRun r = RunProgram("quenlor-batch", "env -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM");
  EXPECT_TRUE(r.exited) << r.output;
  EXPECT_EQ(r.output.find("XDG_RUNTIME_DIR"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Database folder: "), std::string::npos) << r.output;
  EXPECT_TRUE(std::filesystem::is_empty(host.root() / "tmp")) << "nothing is left in the temporary folder";
}

}  // namespace
