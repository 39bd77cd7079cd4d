// Record locks between processes: an edit of a record that another process has locked is
// refused with the engine's message, a pessimistic edit's lock keeps another process out, and
// an optimistic edit notices a change another process made to its record.
#include <gtest/gtest.h>

#include "ads/adstable.h"
#include "editing_support.h"
#include "other_user.h"

using namespace adsdata_test;

namespace {

class AdsRecordLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    ADSHANDLE c = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(c, "names", "NAME,Char,8;QTY,Integer;");
    AppendNamedRows(t, "NAME", {"ann", "bob"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ASSERT_EQ(AdsDisconnect(c), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
    tb_.SetName("tb");
    tb_.SetAdsConnection(&con_);
    tb_.SetTableName("names");
  }
  void TearDown() override {
    tb_.Close();
    ExpectIndexesAgree(dir_.str(), "names");
  }

  std::string TablePath() const { return (dir_.path() / "names.adt").string(); }

  testenv::TempDir dir_;
  TAdsConnection con_{nullptr};
  TAdsTable tb_{nullptr};
};

}  // namespace

TEST_F(AdsRecordLocks, ARecordLockedByAnotherProcessRefusesTheEdit) {
  tb_.Open();
  OtherUser other(TablePath(), [](ADSHANDLE h) { return AdsLockRecord(h, 1); });
  ASSERT_EQ(other.result(), 0u);
  try {
    tb_.Edit();
    FAIL() << "edited a record another process holds";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5035u);
    EXPECT_TRUE(e.Message().startsWith("tb: ")) << e.Message().toStdString();
    EXPECT_TRUE(e.Message().contains("Record 1 is locked by another user.")) << e.Message().toStdString();
  }
  EXPECT_EQ(tb_.State(), dsBrowse);
  other.Release();
  tb_.Edit();
  tb_.FieldByName("QTY")->SetAsInteger(1);
  tb_.Post();
  EXPECT_EQ(tb_.FieldByName("QTY")->AsInteger(), 1);
}

TEST_F(AdsRecordLocks, APessimisticEditKeepsAnotherProcessOut) {
  tb_.Open();
  tb_.Edit();
  {
    OtherUser other(TablePath(), [](ADSHANDLE h) { return AdsLockRecord(h, 1); });
    EXPECT_EQ(other.result(), 5035u);
  }
  tb_.Post();
  OtherUser other(TablePath(), [](ADSHANDLE h) { return AdsLockRecord(h, 1); });
  EXPECT_EQ(other.result(), 0u);
}

TEST_F(AdsRecordLocks, AnOptimisticEditNoticesAnotherProcessChangingTheRecord) {
  tb_.AdsTableOptions().SetAdsRecordLockingMode(lmOptimistic);
  tb_.Open();
  tb_.Edit();
  tb_.FieldByName("NAME")->SetAsString("mine");
  {
    OtherUser other(TablePath(), [](ADSHANDLE h) {
      UNSIGNED32 rc = AdsGotoRecord(h, 1);
      QByteArray field("QTY");
      if (rc == 0) rc = AdsSetLong(h, A(field), 77);
      if (rc == 0) rc = AdsWriteRecord(h);
      return rc;
    });
    ASSERT_EQ(other.result(), 0u);
  }
  try {
    tb_.Post();
    FAIL() << "posted over another process's change";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb: Record was changed by another user.");
    EXPECT_EQ(e.ACEErrorCode(), 5186u);
  }
  EXPECT_EQ(tb_.State(), dsEdit);
  {
    // The failed post left the record unlocked.
    OtherUser other(TablePath(), [](ADSHANDLE h) { return AdsLockRecord(h, 1); });
    EXPECT_EQ(other.result(), 0u);
  }
  tb_.Cancel();
  EXPECT_EQ(tb_.FieldByName("NAME")->AsString(), "ann");
  EXPECT_EQ(tb_.FieldByName("QTY")->AsInteger(), 77);
}
