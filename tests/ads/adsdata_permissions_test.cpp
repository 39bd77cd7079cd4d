// Rights of a dictionary user over a table and its columns: an edit or insert the user may not
// make is refused with the engine's 5054 and the text naming the table or the column, and
// nothing reaches the table.
#include <gtest/gtest.h>

#include <functional>

#include "ads/adstable.h"
#include "adstable_dictionary.h"
#include "editing_support.h"

using namespace adsdata_test;

namespace {

constexpr UNSIGNED16 kTableObject = 1;
constexpr UNSIGNED32 kRead = 0x1;
constexpr UNSIGNED32 kUpdate = 0x2;
constexpr UNSIGNED32 kInsert = 0x10;

class AdsPermissions : public PeopleDictionary {
 protected:
  void SetUp() override {
    PeopleDictionary::SetUp();
    ADSHANDLE dd = ConnectDictionary();
    QByteArray user("clerk"), password("pw");
    ASSERT_EQ(AdsDDCreateUser(dd, nullptr, A(user), A(password), nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }
  void TearDown() override { ExpectIndexesAgree(dir_.str(), "people"); }

  // Grants the clerk `rights` on object `name` of type `type`.
  void Grant(UNSIGNED16 type, const char* name, UNSIGNED32 rights) {
    ADSHANDLE dd = ConnectDictionary();
    QByteArray object(name), user("clerk");
    ASSERT_EQ(AdsDDGrantPermission(dd, type, A(object), A(user), rights), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }

  // Opens "people" as the clerk.
  void OpenAsClerk(TAdsConnection& con, TAdsTable& tb) {
    Configure(con);
    con.SetUsername("clerk");
    con.SetPassword("pw");
    tb.SetName("tb");
    tb.SetAdsConnection(&con);
    tb.SetTableName("people");
    tb.Open();
  }

  // The names of "people" as the administrator reads them.
  QStringList StoredNames() {
    ADSHANDLE dd = ConnectDictionary();
    QByteArray name("people");
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(dd, A(name), nullptr, 0, 1, 1, 1, 0, nullptr, &h), 0u) << LastError();
    QStringList names;
    UNSIGNED16 atEnd = 0;
    for (AdsGotoTop(h); AdsAtEOF(h, &atEnd) == 0 && !atEnd; AdsSkip(h, 1)) names << EngineField(h, "NAME").Text();
    AdsCloseTable(h);
    AdsDisconnect(dd);
    return names;
  }

  static void ExpectRefusal(const std::function<void()>& action, const QString& message) {
    try {
      action();
      FAIL() << "not refused: " << message.toStdString();
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("tb: ") + message);
      EXPECT_EQ(e.ACEErrorCode(), 5054u);
    }
  }
};

}  // namespace

TEST_F(AdsPermissions, AUserWithoutTableRightsCannotEditOrInsert) {
  Grant(kTableObject, "people", kRead);
  TAdsConnection con(nullptr);
  TAdsTable tb(nullptr);
  OpenAsClerk(con, tb);
  ExpectRefusal([&] { tb.Edit(); }, "Update permission not granted on this table.");
  EXPECT_EQ(tb.State(), dsBrowse);
  ExpectRefusal([&] { tb.Insert(); }, "Insert permission not granted on this table.");
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "cy");
  // A refused append leaves the dataset at the end it moved to.
  ExpectRefusal([&] { tb.Append(); }, "Insert permission not granted on this table.");
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "bob");
  tb.Close();
  EXPECT_EQ(StoredNames(), QStringList({"cy", "ann", "bob"}));
}

TEST_F(AdsPermissions, TableRightsLetTheUserEditAndInsert) {
  Grant(kTableObject, "people", kRead | kUpdate | kInsert);
  TAdsConnection con(nullptr);
  TAdsTable tb(nullptr);
  OpenAsClerk(con, tb);
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("cyd");
  tb.Post();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("dot");
  tb.Post();
  tb.Close();
  EXPECT_EQ(StoredNames(), QStringList({"cyd", "ann", "bob", "dot"}));
}

TEST_F(AdsPermissions, AUserWithoutColumnRightsCannotSetThatColumn) {
  Grant(kTableObject, "people", kRead | kUpdate | kInsert);
  Grant(ADS_DD_COLUMN_OBJECT, "people.NAME", kRead);           // never written
  Grant(ADS_DD_COLUMN_OBJECT, "people.AGE", kRead | kUpdate);  // not in new records
  TAdsConnection con(nullptr);
  TAdsTable tb(nullptr);
  OpenAsClerk(con, tb);
  tb.Edit();
  ExpectRefusal([&] { tb.FieldByName("NAME")->SetAsString("cyd"); }, "Update permission not granted on this field: NAME.");
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "cy");
  tb.FieldByName("AGE")->SetAsInteger(40);
  tb.Post();
  tb.Append();
  ExpectRefusal([&] { tb.FieldByName("AGE")->SetAsInteger(1); }, "Insert permission not granted on this field: AGE.");
  ExpectRefusal([&] { tb.FieldByName("NAME")->SetAsString("dot"); }, "Insert permission not granted on this field: NAME.");
  tb.Cancel();
  tb.Close();
  EXPECT_EQ(StoredNames(), QStringList({"cy", "ann", "bob"}));
  ADSHANDLE dd = ConnectDictionary();
  QByteArray name("people");
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsOpenTable90(dd, A(name), nullptr, 0, 1, 1, 1, 0, nullptr, &h), 0u) << LastError();
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(EngineField(h, "AGE").Long(), 40);
  AdsCloseTable(h);
  AdsDisconnect(dd);
}
