// The table component on an encrypted table of a dictionary: with the table's password it
// opens, reads and rebuilds the indexes as with any table; with a wrong password or none the
// open fails with the engine's code in a message that names the table component.
#include <gtest/gtest.h>

#include "ads/ads_errors.h"
#include "ads/adstable.h"
#include "adstable_dictionary.h"

using namespace adsdata_test;

namespace {

class AdsTableEncrypted : public PeopleDictionary {
 protected:
  // Encrypts "people" through the engine, exclusively, with the password "harbour".
  void PreparePeople(ADSHANDLE folder) override {
    QByteArray name("people");
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable90(folder, A(name), nullptr, 3, 1, 1, 1, 1, nullptr, &t), 0u) << LastError();
    QByteArray password("harbour");
    ASSERT_EQ(AdsEnableEncryption(t, A(password)), 0u) << LastError();
    ASSERT_EQ(AdsEncryptTable(t), 0u) << LastError();
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }

  void SetUp() override {
    PeopleDictionary::SetUp();
    Configure(con_);
    con_.Connect();
    tb_.SetName("tb");
    tb_.SetAdsConnection(&con_);
    tb_.SetExclusive(true);
    tb_.SetTableName("people");
  }
  void TearDown() override {
    tb_.Close();
    tb_.SetAdsConnection(nullptr);
  }

  TAdsConnection con_{nullptr};
  TAdsTable tb_{nullptr};
};

TEST_F(AdsTableEncrypted, WithThePasswordTheTableOpensReadsAndReindexes) {
  tb_.SetEncryptionPassword("harbour");
  tb_.Open();
  ASSERT_TRUE(tb_.Active());
  EXPECT_TRUE(tb_.AdsIsTableEncrypted());
  EXPECT_TRUE(tb_.AdsIsEncryptionEnabled());
  tb_.AdsReindex();
  QStringList names;
  for (tb_.First(); !tb_.Eof(); tb_.Next()) names << tb_.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, (QStringList{"cy", "ann", "bob"}));
}

TEST_F(AdsTableEncrypted, AWrongPasswordOrNoneFailsTheOpenWithTheEnginesCode) {
  struct Case {
    const char* password;
    uint32_t code;
  } cases[] = {{"Harbour", 5504}, {"", 5503}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    tb_.SetEncryptionPassword(c.password);
    try {
      tb_.Open();
      ADD_FAILURE() << "the open succeeded";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), c.code);
      EXPECT_EQ(e.Message().left(4), QStringLiteral("tb: ")) << e.Message().toStdString();
    }
    EXPECT_FALSE(tb_.Active());
  }
}

}  // namespace
