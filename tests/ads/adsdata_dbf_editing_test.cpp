// The table component on DBF tables with NTX and CDX index files: appending, editing, clearing,
// deleting and cancelling records of every DBF field type with a memo and an index tag, where
// what the dataset shows, what the engine holds and what another open reads must agree, and
// the tag must agree with the records afterwards.
#include <gtest/gtest.h>

#include <QByteArray>
#include <string>
#include <vector>

#include "ads/adstable.h"
#include "editing_support.h"
#include "runtime/datetime.h"

using namespace adsdata_test;

namespace {

constexpr const char* kDbfFields = "NAME,Char,12;QTY,Numeric,8,2;BORN,Date;OK,Logical;NOTE,Memo;";

struct DbfKind {
  TAdsTableTypes component;
  UNSIGNED16 engine;
  const char* label;
};

class AdsDbfEditing : public ::testing::TestWithParam<DbfKind> {
 protected:
  void SetUp() override {
    raw_ = ConnectFolder(dir_.str());
    QByteArray n("crew.dbf"), f(kDbfFields);
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(raw_, A(n), nullptr, GetParam().engine, 1, 1, 1, 0, A(f), 0, nullptr, &t), 0u)
        << LastError();
    QByteArray tag("BYNAME"), expr("UPPER(NAME)"), file("BYNAME.ntx");
    ADSHANDLE index = 0;
    // An NTX table keeps each tag in a file of its own; a CDX table's tags go to its structural file.
    ASSERT_EQ(AdsCreateIndex90(t, GetParam().engine == 1 ? A(file) : nullptr, A(tag), A(expr), nullptr, nullptr, 0, 0,
                               nullptr, &index),
              0u)
        << LastError();
    AppendNamedRows(t, "NAME", {"mike", "alpha", "kilo"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  void TearDown() override {
    AdsDisconnect(raw_);
    ExpectIndexesAgree(dir_.str(), "crew.dbf");
  }
  void Attach(TAdsTable& tb) {
    tb.SetName("tb");
    tb.SetAdsConnection(&con_);
    tb.SetTableType(GetParam().component);
    tb.SetTableName("crew.dbf");
  }
  ADSHANDLE OpenRaw() {
    QByteArray n("crew.dbf");
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(raw_, A(n), nullptr, GetParam().engine, 1, 1, 1, 0, nullptr, &h), 0u) << LastError();
    return h;
  }
  // The NAME of every visible record along the tag, as another open reads them.
  std::vector<QString> NamesByTag() {
    ADSHANDLE h = OpenRaw();
    QByteArray tag("BYNAME");
    ADSHANDLE order = 0;
    EXPECT_EQ(AdsGetIndexHandle(h, A(tag), &order), 0u) << LastError();
    std::vector<QString> names;
    UNSIGNED16 eof = 0;
    for (AdsGotoTop(order); AdsAtEOF(order, &eof) == 0 && !eof && names.size() < 20; AdsSkip(order, 1)) {
      names.push_back(EngineField(order, "NAME").Text());
    }
    AdsCloseTable(h);
    return names;
  }

  testenv::TempDir dir_;
  ADSHANDLE raw_ = 0;
  TAdsConnection con_{nullptr};
};

TEST_P(AdsDbfEditing, AppendedAndEditedValuesAgreeEverywhereAndTheTagFollows) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("bravo");
  tb.FieldByName("QTY")->SetAsString("1234.5");
  tb.FieldByName("BORN")->SetAsDateTime(EncodeDate(1999, 12, 31));
  tb.FieldByName("OK")->SetAsBoolean(true);
  tb.FieldByName("NOTE")->SetAsString("a memo of the fourth record");
  tb.Post();
  const int fourth = tb.RecNo();
  EXPECT_EQ(fourth, 4);
  EXPECT_EQ(tb.FieldByName("QTY")->AsString(), "1234.5");
  EXPECT_EQ(tb.FieldByName("NOTE")->AsString(), "a memo of the fourth record");

  ADSHANDLE h = OpenRaw();
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "bravo");
  EXPECT_DOUBLE_EQ(EngineField(h, "QTY").Double(), 1234.5);
  EXPECT_EQ(JulianText(EngineField(h, "BORN").Julian()), "1999-12-31");
  EXPECT_TRUE(EngineField(h, "OK").Logical());
  EXPECT_EQ(EngineField(h, "NOTE").Blob(), QByteArray("a memo of the fourth record"));
  AdsCloseTable(h);
  EXPECT_EQ(NamesByTag(), (std::vector<QString>{"alpha", "bravo", "kilo", "mike"}));

  // An edit of the key field and the memo, then clearing every other field.
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("zulu");
  tb.FieldByName("NOTE")->SetAsString(QString(5000, QLatin1Char('z')));
  tb.FieldByName("QTY")->Clear();
  tb.FieldByName("BORN")->Clear();
  tb.FieldByName("OK")->Clear();
  tb.Post();
  h = OpenRaw();
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  EXPECT_EQ(EngineField(h, "NAME").Text(), "zulu");
  EXPECT_EQ(EngineField(h, "NOTE").Blob(), QByteArray(5000, 'z'));
  EXPECT_TRUE(EngineField(h, "QTY").Empty());
  EXPECT_TRUE(EngineField(h, "BORN").Empty());
  AdsCloseTable(h);
  EXPECT_TRUE(tb.FieldByName("QTY")->IsNull());
  EXPECT_TRUE(tb.FieldByName("BORN")->IsNull());
  EXPECT_EQ(NamesByTag(), (std::vector<QString>{"alpha", "kilo", "mike", "zulu"}));
  tb.Close();
}

TEST_P(AdsDbfEditing, CancelledAndDeletedRecordsLeaveTheOthers) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  tb.Append();
  tb.FieldByName("NAME")->SetAsString("ghost");
  tb.FieldByName("NOTE")->SetAsString("never stored");
  tb.Cancel();
  tb.First();
  tb.Edit();
  tb.FieldByName("NAME")->SetAsString("changed");
  tb.Cancel();
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "mike");
  tb.Delete();  // mike
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "alpha");
  tb.Close();
  TAdsTable other(nullptr);
  Attach(other);
  other.Open();
  QStringList names;
  for (; !other.Eof(); other.Next()) names << other.FieldByName("NAME")->AsString();
  EXPECT_EQ(names, QStringList({"alpha", "kilo"}));
  other.Close();

  ADSHANDLE h = OpenRaw();
  EXPECT_EQ(VisibleRecords(h), 2u);
  UNSIGNED32 all = 0;
  ASSERT_EQ(AdsGetRecordCount(h, ADS_IGNOREFILTERS, &all), 0u);
  EXPECT_EQ(all, 3u) << "a cancelled insert appends nothing";
  AdsCloseTable(h);
  EXPECT_EQ(NamesByTag(), (std::vector<QString>{"alpha", "kilo"}));
}

INSTANTIATE_TEST_SUITE_P(Types, AdsDbfEditing,
                         ::testing::Values(DbfKind{ttAdsNTX, 1, "Ntx"}, DbfKind{ttAdsCDX, 2, "Cdx"}),
                         [](const ::testing::TestParamInfo<DbfKind>& info) { return std::string(info.param.label); });

}  // namespace
