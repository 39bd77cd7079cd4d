// The dataset core opening, reading and closing a real native table: the field objects made
// from the engine's description, navigation both ways, and closing.
#include <gtest/gtest.h>

#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

class AdsDataOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "people", "NAME,Char,10;AGE,Integer;");
    AppendNamedRows(t, "NAME", {"ann", "bob", "cy"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  testenv::TempDir dir_;
  ADSHANDLE connection_ = 0;
};

}  // namespace

TEST_F(AdsDataOpen, WalksATableForwardsAndBackwards) {
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(dir_.str()));
  con.SetLoginPrompt(false);
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con);
  ds.SetTableName("people");
  ds.Open();
  ASSERT_TRUE(ds.Active());
  EXPECT_EQ(ds.acquired, 1);
  QStringList names;
  for (ds.First(); !ds.Eof(); ds.Next()) names << ds.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"ann", "bob", "cy"}));
  names.clear();
  for (ds.Last(); !ds.Bof(); ds.Prior()) names << ds.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"cy", "bob", "ann"}));
  EXPECT_TRUE(ds.FieldByName("AGE")->IsNull());
  ds.Close();
  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
}
