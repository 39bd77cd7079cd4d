// The extended members on a real native table: results agree with the engine and with the
// dataset's visible record, the closing steps run, the ignored engine answers stay silent, and
// members on a closed dataset raise the closed-dataset error without an engine call.
#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "adsfunc_test_table.h"
#include "runtime/data/db_errors.h"
#include "runtime/exception.h"
#include "runtime/text.h"
#include "test_env.h"

namespace {

using adsdata_test::A;
using adsdata_test::EngineTrace;
using adsdata_test::LastError;

class AdsFuncMembers : public ::testing::Test {
 protected:
  void SetUp() override {
    const ADSHANDLE connection = adsdata_test::ConnectFolder(dir_.path().string());
    const ADSHANDLE table = adsdata_test::CreateTable(connection, "ships", "NAME,Char,20;NO,Integer;");
    const std::vector<std::pair<const char*, int>> rows = {{"Cygnus", 3}, {"Aurora", 1}, {"Boreas", 2}};
    for (const auto& [name, no] : rows) {
      ASSERT_EQ(::AdsAppendRecord(table), 0u) << LastError();
      adsdata_test::SetString(table, "NAME", QString::fromLatin1(name));
      adsdata_test::SetLong(table, "NO", no);
      ASSERT_EQ(::AdsWriteRecord(table), 0u) << LastError();
    }
    ASSERT_EQ(::AdsCloseTable(table), 0u);
    ASSERT_EQ(::AdsDisconnect(connection), 0u);
    tb_.SetDatabaseName(QString::fromStdString(dir_.path().string()));
    tb_.SetTableName(QStringLiteral("ships"));
  }

  QString VisibleName() { return tb_.FieldByName(QStringLiteral("NAME"))->AsString(); }
  QString EngineName() { return tb_.AdsGetString(QStringLiteral("NAME"), optRTRIM); }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  TComponent form_{nullptr};
  TestExtendedTable tb_{&form_};
};

TEST_F(AdsFuncMembers, QuestionsAnswerWhatTheTableHolds) {
  tb_.Open();
  EXPECT_EQ(tb_.AdsGetNumFields(), 2);
  EXPECT_EQ(tb_.AdsGetFieldName(1), QStringLiteral("NAME"));
  EXPECT_EQ(tb_.AdsGetFieldNum(QStringLiteral("NO")), 2);
  EXPECT_EQ(tb_.AdsGetFieldType(QStringLiteral("NO")), AdsfldINTEGER);
  EXPECT_EQ(tb_.AdsGetFieldType(QStringLiteral("NAME")), AdsfldSTRING);
  EXPECT_EQ(tb_.AdsGetFieldLength(QStringLiteral("NAME")), 20u);
  EXPECT_EQ(tb_.AdsGetRecordCount(), 3u);
  EXPECT_EQ(tb_.AdsGetHandleType(tb_.GetAceTableHandle()), htTABLE);
}

TEST_F(AdsFuncMembers, ValueReadersReadTheVisibleRecordEvenAfterTheEngineMoved) {
  tb_.Open();
  tb_.Next();  // the dataset shows record 2; move the engine elsewhere behind its back
  ASSERT_EQ(::AdsGotoRecord(tb_.GetAceTableHandle(), 3), 0u);
  EXPECT_EQ(VisibleName(), QStringLiteral("Aurora"));
  EXPECT_EQ(EngineName(), QStringLiteral("Aurora"));
  EXPECT_EQ(tb_.AdsGetLong(QStringLiteral("NO")), 1);
  EXPECT_EQ(tb_.AdsGetRecordNum(), 2u);
  EXPECT_FALSE(tb_.AdsIsEmpty(QStringLiteral("NAME")));
}

TEST_F(AdsFuncMembers, NavigationMembersLeaveTheVisibleRecordOnTheEngineRecord) {
  tb_.Open();
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"AdsGotoBottom", [&] { tb_.AdsGotoBottom(); }, "Boreas"},
      {"AdsGotoTop", [&] { tb_.AdsGotoTop(); }, "Cygnus"},
      {"AdsGotoRecord", [&] { tb_.AdsGotoRecord(2); }, "Aurora"},
      {"AdsSkip", [&] { tb_.AdsSkip(1); }, "Boreas"},
      {"AdsSetIndexByOrder(0)", [&] { tb_.AdsSetIndexByOrder(0); tb_.First(); }, "Cygnus"},
      {"AdsLocate", [&] { EXPECT_TRUE(tb_.AdsLocate(QStringLiteral("NO = 2"), true)); }, "Boreas"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.call();
    EXPECT_EQ(VisibleName(), QString::fromLatin1(c.expected));
    EXPECT_EQ(EngineName(), QString::fromLatin1(c.expected));
  }
}

TEST_F(AdsFuncMembers, WritersChangeTheEngineRecordAndTheBuffersFollow) {
  tb_.Open();
  tb_.AdsSetString(QStringLiteral("NAME"), QStringLiteral("Delphin"));
  tb_.AdsSetLong(QStringLiteral("NO"), 9);
  tb_.AdsWriteRecord();
  EXPECT_EQ(VisibleName(), QStringLiteral("Delphin"));
  EXPECT_EQ(tb_.FieldByName(QStringLiteral("NO"))->AsInteger(), 9);
  EXPECT_EQ(tb_.AdsGetRecordCount(), 3u);
}

TEST_F(AdsFuncMembers, IgnoredEngineAnswersRaiseNothing) {
  tb_.Open();
  EXPECT_EQ(tb_.AdsGetFilter(), QString());
  EXPECT_NO_THROW(tb_.AdsUnlockTable());
  EXPECT_TRUE(tb_.AdsUnlockRecord(1));
}

TEST_F(AdsFuncMembers, FilterRoundTripNarrowsTheVisibleRecords) {
  tb_.Open();
  tb_.AdsSetFilter(QStringLiteral("NO > 1"));
  EXPECT_EQ(tb_.AdsGetFilter(), QStringLiteral("NO > 1"));
  tb_.First();
  EXPECT_EQ(VisibleName(), QStringLiteral("Cygnus"));
  tb_.Next();
  EXPECT_EQ(VisibleName(), QStringLiteral("Boreas"));
  tb_.AdsClearFilter();
  EXPECT_EQ(tb_.AdsGetFilter(), QString());
}

TEST_F(AdsFuncMembers, EngineFailuresRaiseWithTheEngineText) {
  tb_.Open();
  // No active index: the index handle is -1 and the engine's refusal is raised.
  EXPECT_THROW(tb_.AdsGetIndexExpr(), EADSDatabaseError);
  EXPECT_THROW(tb_.AdsGetFieldType(QStringLiteral("NOSUCH")), EADSDatabaseError);
}

TEST_F(AdsFuncMembers, MembersOnAClosedDatasetRaiseWithoutAnEngineCall) {
  const std::vector<std::pair<const char*, std::function<void()>>> members = {
      {"AdsReindex", [&] { tb_.AdsReindex(); }},
      {"AdsGotoTop", [&] { tb_.AdsGotoTop(); }},
      {"AdsGetRecordCount", [&] { tb_.AdsGetRecordCount(); }},
      {"AdsGetLong", [&] { tb_.AdsGetLong(QStringLiteral("NO")); }},
      {"AdsGetFilter", [&] { tb_.AdsGetFilter(); }},
      {"AdsIsTableEncrypted", [&] { tb_.AdsIsTableEncrypted(); }},
      {"AdsGetIndexHandle", [&] { tb_.AdsGetIndexHandle(QStringLiteral("BYNAME")); }},
  };
  for (const auto& [name, call] : members) {
    SCOPED_TRACE(name);
    const size_t mark = trace_.Mark();
    try {
      call();
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), dbmsg::kDataSetClosed);
    }
    EXPECT_TRUE(trace_.Since(mark).empty());
  }
}

TEST_F(AdsFuncMembers, NegativeRecordNumbersAreRangeErrors) {
  tb_.Open();
  const size_t mark = trace_.Mark();
  EXPECT_THROW(tb_.AdsGotoRecord(-1), ERangeError);
  EXPECT_THROW(tb_.AdsLockRecord(-5), ERangeError);
  EXPECT_TRUE(trace_.Since(mark).empty());
}

// A unique index of a DBF table shows one record per key, so counting with filters respected
// along such an order asks the engine to count the order; along an order that shows every
// record, the table is counted.
TEST(AdsFuncRecordCount, AUniqueDbfOrderIsCountedOnItsOrderHandle) {
  struct Kind {
    TAdsTableTypes component;
    UNSIGNED16 engine;
    const char* file;  // the index file: NTX tables keep each order in one, opened with the table
    UNSIGNED32 options;
    bool onOrder;
  };
  const Kind kinds[] = {{ttAdsCDX, 2, nullptr, ADS_UNIQUE, true},
                        {ttAdsNTX, 1, "BYNAME.ntx", ADS_UNIQUE, true},
                        {ttAdsVFP, 4, nullptr, ADS_UNIQUE, true},
                        {ttAdsCDX, 2, nullptr, 0, false}};
  testenv::TempDir traceDir;
  EngineTrace trace((traceDir.path() / "trace.txt").string());
  for (const Kind& k : kinds) {
    SCOPED_TRACE(std::to_string(k.engine) + (k.onOrder ? " unique" : " not unique"));
    testenv::TempDir dir;
    const ADSHANDLE connection = adsdata_test::ConnectFolder(dir.path().string());
    QByteArray name("crew.dbf"), fields("NAME,Char,10;"), tag("BYNAME"), expr("NAME");
    QByteArray file(k.file ? k.file : "");
    ADSHANDLE t = 0;
    ASSERT_EQ(::AdsCreateTable90(connection, A(name), nullptr, k.engine, 1, 1, 1, 0, A(fields), 0, nullptr, &t), 0u)
        << LastError();
    adsdata_test::AppendNamedRows(t, "NAME", {"kilo", "alpha", "kilo", "mike", "alpha"});
    ADSHANDLE index = 0;
    ASSERT_EQ(::AdsCreateIndex90(t, k.file ? A(file) : nullptr, A(tag), A(expr), nullptr, nullptr, k.options, 0, nullptr,
                                 &index),
              0u)
        << LastError();
    ASSERT_EQ(::AdsCloseTable(t), 0u);
    ASSERT_EQ(::AdsDisconnect(connection), 0u);

    TAdsConnection con(nullptr);
    con.SetConnectPath(QString::fromStdString(dir.path().string()));
    con.SetLoginPrompt(false);
    TAdsTable tb(nullptr);
    tb.SetName("tb");
    tb.SetAdsConnection(&con);
    tb.SetTableType(k.component);
    tb.SetTableName("crew.dbf");
    tb.AdsTableOptions().SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
    tb.SetIndexName("BYNAME");
    tb.Open();
    const size_t mark = trace.Mark();
    const auto count = tb.AdsGetRecordCount();
    std::vector<std::string> counts;
    for (const std::string& line : trace.Since(mark))
      if (line.rfind("AdsGetRecordCount(", 0) == 0) counts.push_back(line);
    ASSERT_EQ(counts.size(), 1u);
    const uint32_t expected = k.onOrder ? tb.GetAceIndexHandle() : tb.GetAceTableHandle();
    EXPECT_NE(counts[0].find("(hObj=" + std::to_string(expected) + ", usFilterOption=1"), std::string::npos)
        << counts[0];
    QStringList shown;
    for (tb.First(); !tb.Eof(); tb.Next()) shown << tb.FieldByName("NAME")->AsString();
    EXPECT_EQ(shown.size(), k.onOrder ? 3 : 5);
    EXPECT_EQ(count, shown.size()) << "the count agrees with the records a walk shows";
    tb.Close();
  }
}

}  // namespace

TEST(AdsFuncMappings, EnumerationsMapToTheEngineValues) {
  EXPECT_EQ(adsfunc_map::TableType(ttAdsNTX), 1);
  EXPECT_EQ(adsfunc_map::TableType(ttAdsCDX), 2);
  EXPECT_EQ(adsfunc_map::TableType(ttAdsVFP), 4);
  EXPECT_EQ(adsfunc_map::TableType(ttAdsADT), 3);
  EXPECT_EQ(adsfunc_map::TableType(ttAdsDefault), 3);
  EXPECT_EQ(adsfunc_map::IndexOptions(IndexOptionBit(optUNIQUE) | IndexOptionBit(optCANDIDATE) |
                                      IndexOptionBit(optBINARY)),
            1u + 2048u + 4096u);
  EXPECT_EQ(adsfunc_map::FieldType(1), AdsfldLOGICAL);
  EXPECT_EQ(adsfunc_map::FieldType(28), AdsfldNMEMO);
  EXPECT_EQ(adsfunc_map::FieldType(0), AdsfldSTRING);
  EXPECT_EQ(adsfunc_map::FieldType(51), AdsfldSTRING);
  EXPECT_EQ(adsfunc_map::ExpressionType(16), etRAW);
  EXPECT_EQ(adsfunc_map::ExpressionType(7), etSTRING);
  EXPECT_EQ(adsfunc_map::MemoDataType(7), mdtIMAGE);
  EXPECT_EQ(adsfunc_map::OptimizeLevel(2), olPART);
  EXPECT_EQ(adsfunc_map::OptimizeLevel(0), olNONE);
  TAdsTableOptions options;
  EXPECT_EQ(adsfunc_map::CountingOption(options), 2);
  options.SetAdsScopeOptions(RESPECT_SCOPES_WHEN_COUNTING);
  EXPECT_EQ(adsfunc_map::CountingOption(options), 3);
  options.SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(adsfunc_map::CountingOption(options), 1);
  EXPECT_EQ(adsfunc_map::AofOptions(options), 8192u + 2u);
  options.SetAdsAOFType(atKeySet);
  options.SetAdsAOFResolveImmediate(true);
  EXPECT_EQ(adsfunc_map::AofOptions(options), 8192u + 4u + 1u);
}
