// Locks between two real processes through the C interface: exclusive and shared opens refuse
// each other, a record lock held by one process is refused to the other with 5035, and the
// locks of a killed process are gone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ace/ace.h"
#include "test_env.h"

namespace {

UNSIGNED8* U(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

// A second process that opens the table with `options`, optionally locks record `lockRecord`,
// reports the outcome of both on a pipe, then waits until it is killed.
class Holder {
 public:
  Holder(const std::string& path, UNSIGNED32 options, UNSIGNED32 lockRecord) {
    int up[2];
    if (pipe(up) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      close(up[0]);
      ADSHANDLE h = 0;
      UNSIGNED32 report[2] = {AdsOpenTable90(0, U(path.c_str()), nullptr, 3, 1, 1, 1, options, nullptr, &h), 0};
      if (report[0] == 0 && lockRecord) report[1] = AdsLockRecord(h, lockRecord);
      if (write(up[1], report, sizeof report) != sizeof report) _exit(2);
      for (;;) pause();
    }
    close(up[1]);
    if (read(up[0], report_, sizeof report_) != sizeof report_) report_[0] = 0xFFFFFFFF;
    close(up[0]);
  }
  ~Holder() { Kill(); }
  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  UNSIGNED32 openResult() const { return report_[0]; }
  UNSIGNED32 lockResult() const { return report_[1]; }

 private:
  pid_t pid_ = -1;
  UNSIGNED32 report_[2] = {0, 0};
};

class TableProcessLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_.path() / "shared.adt").string();
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsCreateTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, 0, U("NAME,Char,8;"), 0, nullptr, &h), 0u);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(AdsAppendRecord(h), 0u);
    ASSERT_EQ(AdsCloseTable(h), 0u);
  }
  UNSIGNED32 Open(UNSIGNED32 options, ADSHANDLE* h) {
    return AdsOpenTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, options, nullptr, h);
  }
  testenv::TempDir dir_;
  std::string path_;
};

TEST_F(TableProcessLocks, ExclusiveOpenIsRefusedWhileTheOtherHoldsItSharedAndTheReverse) {
  {
    Holder other(path_, 0, 0);
    ASSERT_EQ(other.openResult(), 0u);
    ADSHANDLE h = 0;
    EXPECT_EQ(Open(1, &h), 5402u);
    ASSERT_EQ(Open(0, &h), 0u);  // shared beside shared
    AdsCloseTable(h);
  }
  ADSHANDLE mine = 0;
  ASSERT_EQ(Open(1, &mine), 0u);
  Holder other(path_, 0, 0);
  EXPECT_EQ(other.openResult(), 5402u);
  Holder otherExclusive(path_, 1, 0);
  EXPECT_EQ(otherExclusive.openResult(), 5402u);
  AdsCloseTable(mine);
}

TEST_F(TableProcessLocks, RecordLockHeldByOneIsRefusedToTheOtherUntilItIsKilled) {
  Holder other(path_, 0, 2);
  ASSERT_EQ(other.openResult(), 0u);
  ASSERT_EQ(other.lockResult(), 0u);
  ADSHANDLE h = 0;
  ASSERT_EQ(Open(0, &h), 0u);
  EXPECT_EQ(AdsLockRecord(h, 2), 5035u);
  EXPECT_EQ(AdsLockTable(h), 5035u);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  EXPECT_EQ(AdsSetField(h, U("NAME"), U("x"), 1), 5035u);
  EXPECT_EQ(AdsLockRecord(h, 1), 0u);  // other records are free
  other.Kill();
  EXPECT_EQ(AdsLockRecord(h, 2), 0u);
  EXPECT_EQ(AdsLockTable(h), 0u);
  AdsCloseTable(h);
  // The killed process's open is gone too: an exclusive open succeeds.
  ASSERT_EQ(Open(1, &h), 0u);
  AdsCloseTable(h);
}

}  // namespace
