// Locks between two real processes through the C interface: exclusive and shared opens refuse
// each other, a record lock held by one process is refused to the other with 5035, and the
// locks of a killed process are gone.
#include <gtest/gtest.h>

#include <string>

#include "ace/ace.h"
#include "support/child_process.h"
#include "test_env.h"

namespace {

UNSIGNED8* U(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

// A second process that opens the table with `options`, optionally locks record `lockRecord`,
// and keeps both until it is killed.
class Holder : public acetest::ChildHolder {
 public:
  Holder(const std::string& path, UNSIGNED32 options, UNSIGNED32 lockRecord)
      : ChildHolder([&]() -> Report {
          ADSHANDLE h = 0;
          Report report = {AdsOpenTable90(0, U(path.c_str()), nullptr, 3, 1, 1, 1, options, nullptr, &h), 0};
          if (report[0] == 0 && lockRecord) report[1] = AdsLockRecord(h, lockRecord);
          return report;
        }) {}
  UNSIGNED32 openResult() const { return report()[0]; }
  UNSIGNED32 lockResult() const { return report()[1]; }
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
