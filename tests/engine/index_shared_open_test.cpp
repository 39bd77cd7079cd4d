// Two shared opens of one indexed table in one process, each with its own locks: a record being
// appended belongs to its appender until it is written, and each open's orders follow the
// index changes the other makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

std::string LastText() {
  acetest::LastError e = acetest::Last();
  return std::to_string(e.code) + " " + e.text;
}

class IndexSharedOpens : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << LastText();
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("t"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("ID,Integer;NAME,Char,6;N,Integer"), 0,
                               nullptr, &t),
              0u)
        << LastText();
    for (const char* const* tag : kTags) {
      ADSHANDLE h = 0;
      ASSERT_EQ(AdsCreateIndex90(t, nullptr, U8(tag[0]), U8(tag[1]), tag[2] ? U8(tag[2]) : nullptr, nullptr, 0, 0,
                                 nullptr, &h),
                0u)
          << tag[0] << ": " << LastText();
    }
    for (int i = 1; i <= 20; ++i) Append(t, i, "n" + std::to_string(i), i * 5);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    a_ = Open();
    b_ = Open();
  }
  void TearDown() override {
    for (ADSHANDLE h : {a_, b_}) {
      if (h) AdsCloseTable(h);
    }
    AdsDisconnect(conn_);
  }

  ADSHANDLE Open() {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(conn_, U8("t"), nullptr, ADS_ADT, 1, 0, 0, 0, nullptr, &h), 0u) << LastText();
    return h;
  }
  static void Append(ADSHANDLE t, int id, const std::string& name, int n) {
    ASSERT_EQ(AdsAppendRecord(t), 0u) << LastText();
    ASSERT_EQ(AdsSetLong(t, U8("ID"), id), 0u);
    ASSERT_EQ(AdsSetString(t, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
    ASSERT_EQ(AdsSetLong(t, U8("N"), n), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  }
  ADSHANDLE Order(ADSHANDLE t, const char* tag) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsGetIndexHandle(t, U8(tag), &h), 0u) << LastText();
    return h;
  }
  UNSIGNED32 Keys(ADSHANDLE t, const char* tag) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetKeyCount(Order(t, tag), ADS_IGNOREFILTERS, &n), 0u) << LastText();
    return n;
  }
  UNSIGNED32 Records(ADSHANDLE t) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &n), 0u) << LastText();
    return n;
  }
  // The record a hard seek of `key` on the order lands on; 0 when not found.
  UNSIGNED32 SeekRecord(ADSHANDLE order, ADSHANDLE t, const std::string& key) {
    UNSIGNED16 found = 0;
    EXPECT_EQ(AdsSeek(order, U8(key), static_cast<UNSIGNED16>(key.size()), ADS_STRINGKEY, ADS_HARDSEEK, &found), 0u)
        << LastText();
    UNSIGNED32 r = 0;
    if (found) {
      EXPECT_EQ(AdsGetRecordNum(t, ADS_IGNOREFILTERS, &r), 0u);
    }
    return r;
  }

  static constexpr const char* kTags[][3] = {
      {"BYID", "ID", nullptr}, {"BYNAME", "NAME", nullptr}, {"BYN", "N", nullptr}, {"BIG", "NAME", "N >= 50"}};
  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, a_ = 0, b_ = 0;
};

TEST_F(IndexSharedOpens, ARecordBeingAppendedIsLockedAndATableLockOfAnotherOpenRefusesAppends) {
  // The table lock of another open covers records not yet appended.
  ASSERT_EQ(AdsLockTable(b_), 0u);
  EXPECT_EQ(AdsAppendRecord(a_), 5035u);
  EXPECT_EQ(Records(a_), 20u);
  ASSERT_EQ(AdsUnlockTable(b_), 0u);

  // Between the append and its write the new record is its appender's: another open can
  // neither lock it nor change it, nor lock the whole table.
  ASSERT_EQ(AdsAppendRecord(a_), 0u) << LastText();
  UNSIGNED32 n = Records(b_);
  ASSERT_EQ(n, 21u);
  EXPECT_EQ(AdsLockRecord(b_, n), 5035u);
  EXPECT_EQ(AdsLockTable(b_), 5035u);
  ASSERT_EQ(AdsGotoRecord(b_, n), 0u);
  EXPECT_EQ(AdsSetLong(b_, U8("N"), 70), 5035u);
  ASSERT_EQ(AdsSetLong(a_, U8("ID"), 21), 0u);
  ASSERT_EQ(AdsSetString(a_, U8("NAME"), U8("z21"), 3), 0u);
  ASSERT_EQ(AdsSetLong(a_, U8("N"), 90), 0u);
  ASSERT_EQ(AdsWriteRecord(a_), 0u) << LastText();
  EXPECT_EQ(AdsLockRecord(b_, n), 0u) << "the write ends the appender's lock";
  EXPECT_EQ(AdsUnlockRecord(b_, n), 0u);

  // Each tag holds the new record once, under its written key.
  for (ADSHANDLE t : {a_, b_}) {
    EXPECT_EQ(Keys(t, "BYID"), 21u);
    EXPECT_EQ(Keys(t, "BYNAME"), 21u);
    EXPECT_EQ(Keys(t, "BIG"), 12u);  // N = 50, 55, ..., 100 and the new 90
    EXPECT_EQ(SeekRecord(Order(t, "BYID"), t, "21"), n);
    EXPECT_EQ(SeekRecord(Order(t, "BIG"), t, "z21   "), n);
  }
}

TEST_F(IndexSharedOpens, ChangesOfAnOpenThatLastLookedEarlierKeepTheAppendsOfOthers) {
  // b last read the counters before a appended; b's edit, deletion and recall must not put
  // back the record count it saw, or its own append would take a's record number.
  ASSERT_EQ(Records(b_), 20u);
  ASSERT_EQ(AdsGotoRecord(b_, 1), 0u);
  Append(a_, 21, "a21", 21);
  ASSERT_EQ(AdsSetLong(b_, U8("N"), 1), 0u);
  ASSERT_EQ(AdsWriteRecord(b_), 0u) << LastText();
  ASSERT_EQ(AdsGotoRecord(b_, 2), 0u);
  Append(a_, 22, "a22", 22);
  ASSERT_EQ(AdsDeleteRecord(b_), 0u) << LastText();
  Append(a_, 23, "a23", 23);
  ASSERT_EQ(AdsRecallRecord(b_), 0u) << LastText();
  Append(b_, 24, "b24", 24);
  for (ADSHANDLE t : {a_, b_}) {
    EXPECT_EQ(Records(t), 24u);
    EXPECT_EQ(Keys(t, "BYID"), 24u);
    for (int id = 21; id <= 24; ++id) EXPECT_EQ(SeekRecord(Order(t, "BYID"), t, std::to_string(id)), UNSIGNED32(id));
  }
}

TEST_F(IndexSharedOpens, OrdersOfOneOpenFollowTheChangesOfAnother) {
  // a's orders exist before b changes the file, so a's next use reloads the file's tags.
  std::vector<ADSHANDLE> orders;
  for (const char* const* tag : kTags) orders.push_back(Order(a_, tag[0]));
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int id = 100 + round;
    std::string name = "w" + std::to_string(id);
    Append(b_, id, name, 61 + round);
    UNSIGNED32 n = Records(b_);
    // Every order of a seeks in its own tag: only BYID knows the id as a number, only BYN the N.
    EXPECT_EQ(SeekRecord(orders[0], a_, std::to_string(id)), n);
    EXPECT_EQ(SeekRecord(orders[1], a_, name + "  "), n);
    EXPECT_EQ(SeekRecord(orders[2], a_, std::to_string(61 + round)), n);
    EXPECT_EQ(SeekRecord(orders[3], a_, name + "  "), n);
    EXPECT_EQ(Keys(a_, "BIG"), 11u + round + 1);
  }
}

}  // namespace
