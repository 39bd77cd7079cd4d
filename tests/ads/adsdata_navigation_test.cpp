// Navigating a real native table through the dataset core: empty tables, record numbers and
// counts with their options, bookmarks, records rejected by OnFilterRecord, searching, the
// adopted cursor, field definitions of a closed dataset, and the clean-up of a failed open.
#include <gtest/gtest.h>

#include <functional>

#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

class AdsDataNavigation : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "abc", "NAME,Char,6;");
    AppendNamedRows(t, "NAME", {"ann", "bob", "cy"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ADSHANDLE e = CreateTable(connection_, "nothing", "NAME,Char,6;");
    ASSERT_EQ(AdsCloseTable(e), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  void Attach(TestAdsDataSet& ds, const char* table) {
    ds.SetAdsConnection(&con_);
    ds.SetTableName(table);
  }

  static QStringList Walk(TestAdsDataSet& ds, bool forward) {
    QStringList names;
    if (forward) {
      for (ds.First(); !ds.Eof(); ds.Next()) names << ds.FieldByName("NAME")->AsString();
    } else {
      for (ds.Last(); !ds.Bof(); ds.Prior()) names << ds.FieldByName("NAME")->AsString();
    }
    return names;
  }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  ADSHANDLE connection_ = 0;
  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(AdsDataNavigation, AnEmptyTableOpensAtBothEnds) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "nothing");
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(ds.FieldByName("NAME")->IsNull());
  // After moving to the start, fetching the next record finds the end of the table.
  ds.MoveToFirst();
  TRecordBuffer buffer = ds.AllocateRecordBuffer();
  EXPECT_EQ(ds.FetchRecord(buffer, FetchMode::Next, false), FetchResult::Eof);
  ds.ReleaseRecordBuffer(buffer);
}

TEST_F(AdsDataNavigation, RecordNumbersFollowThePhysicalRecords) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.Open();
  QList<int> numbers;
  for (ds.First(); !ds.Eof(); ds.Next()) numbers << ds.RecNo();
  EXPECT_EQ(numbers, QList<int>({1, 2, 3}));
  ds.SetRecNo(2);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(Walk(ds, false), QStringList({"cy", "bob", "ann"}));
}

TEST_F(AdsDataNavigation, RecordCountPassesTheCountingOptions) {
  struct Row {
    TAdsRespectFilters filters;
    TAdsRespectScopes scopes;
    bool fresh;
    const char* option;
  };
  const Row rows[] = {
      {IGNORE_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, false, "usFilterOption=2"},
      {RESPECT_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, false, "usFilterOption=1"},
      {RESPECT_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING, false, "usFilterOption=1"},
      {IGNORE_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING, false, "usFilterOption=3"},
      {IGNORE_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, true, "usFilterOption=6"},
      {RESPECT_WHEN_COUNTING, IGNORE_SCOPES_WHEN_COUNTING, true, "usFilterOption=5"},
  };
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.Open();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.option);
    ds.AdsTableOptions().SetAdsFilterOptions(r.filters);
    ds.AdsTableOptions().SetAdsScopeOptions(r.scopes);
    ds.AdsTableOptions().SetAdsFreshRecordCount(r.fresh);
    const size_t mark = trace_.Mark();
    EXPECT_EQ(ds.RecordCount(), 3);
    const std::vector<std::string> lines = trace_.Since(mark);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("AdsGetRecordCount(", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(r.option), std::string::npos) << lines[0];
  }
}

TEST_F(AdsDataNavigation, RecordNumbersAlongAnIndexOrderAreRelativePositions) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.Open();
  // The count of the table is asked, and the order's position set to the share of it.
  ds.SetActiveIndexType(ndxIndexName);
  const size_t mark = trace_.Mark();
  try {
    ds.SetRecNo(2);
  } catch (const EADSDatabaseError&) {
    // An engine without relative key positions on this handle still shows what was asked.
  }
  const std::vector<std::string> lines = trace_.Since(mark);
  const std::vector<std::string> names = EngineTrace::Names(lines);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "AdsGetRecordCount");
  EXPECT_NE(lines[0].find("usFilterOption=2"), std::string::npos) << lines[0];
  EXPECT_EQ(names[1], "AdsSetRelKeyPos");
  EXPECT_NE(lines[1].find("dPos=0.666"), std::string::npos) << lines[1];
  ds.SetActiveIndexType(ndxNone);
}

TEST_F(AdsDataNavigation, BookmarksReturnToTheirRecords) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.Open();
  ds.Next();
  const TBookmark bob = ds.GetBookmark();
  EXPECT_EQ(bob.size(), ds.BookmarkSize());
  ds.Last();
  EXPECT_GT(ds.CompareBookmarks(ds.GetBookmark(), bob), 0);
  ds.GotoBookmark(bob);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  EXPECT_EQ(ds.CompareBookmarks(ds.GetBookmark(), bob), 0);
}

TEST_F(AdsDataNavigation, RecordsRejectedByOnFilterRecordAreSkippedBothWays) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  QStringList offered;
  ds.SetOnFilterRecord([&](TDataSet* d, bool& accept) {
    EXPECT_EQ(d->State(), dsFilter);
    const QString name = d->FieldByName("NAME")->AsString();
    offered << name;
    accept = name != "bob";
  });
  ds.SetFiltered(true);
  ds.Open();
  EXPECT_EQ(Walk(ds, true), QStringList({"ann", "cy"}));
  EXPECT_EQ(Walk(ds, false), QStringList({"cy", "ann"}));
  EXPECT_TRUE(offered.contains("bob"));
  // Fetching the rejected record where it stands reports an error instead of skipping.
  ASSERT_EQ(AdsGotoRecord(ds.Handle(), 2), 0u);
  TRecordBuffer buffer = ds.AllocateRecordBuffer();
  EXPECT_EQ(ds.FetchRecord(buffer, FetchMode::Current, false), FetchResult::Error);
  ds.ReleaseRecordBuffer(buffer);
}

TEST_F(AdsDataNavigation, FindOperationsUseOnFilterRecordEvenWhenNotFiltered) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("NAME")->AsString() != "ann"; });
  ds.Open();
  EXPECT_EQ(Walk(ds, true), QStringList({"ann", "bob", "cy"}));
  ASSERT_TRUE(ds.FindFirst());
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  ASSERT_TRUE(ds.FindNext());
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "cy");
  EXPECT_FALSE(ds.FindNext());
  ASSERT_TRUE(ds.FindLast());
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "cy");
  ASSERT_TRUE(ds.FindPrior());
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  EXPECT_FALSE(ds.FindPrior());
}

TEST_F(AdsDataNavigation, APresetActiveHandleIsAdoptedAndOwned) {
  QByteArray n("abc");
  ADSHANDLE table = 0;
  ASSERT_EQ(AdsOpenTable90(connection_, A(n), nullptr, 3, 1, 1, 1, 0, nullptr, &table), 0u) << LastError();
  TestAdsDataSet ds(nullptr);
  ds.SetActiveHandle(table);
  ds.Open();
  EXPECT_EQ(ds.acquired, 0);
  EXPECT_EQ(ds.Handle(), table);
  EXPECT_EQ(ds.AceTableType(), 3);
  EXPECT_EQ(ds.GetAceIndexHandle(), TAdsDataSet::kNoHandle) << "natural order has no index handle";
  EXPECT_EQ(Walk(ds, true), QStringList({"ann", "bob", "cy"}));
  ds.Close();
  EXPECT_NE(AdsCloseTable(table), 0u) << "the dataset closed the adopted handle";
}

TEST_F(AdsDataNavigation, AdoptCursorHandleReopensOnTheHandleAndIgnoresNone) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "nothing");
  ds.Open();
  QByteArray n("abc");
  ADSHANDLE table = 0;
  ASSERT_EQ(AdsOpenTable90(connection_, A(n), nullptr, 3, 1, 1, 1, 0, nullptr, &table), 0u);
  ds.AdoptCursorHandle(table);
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.AdoptCursorHandle(0);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.ActiveHandle(), 0u);
  ds.AdoptCursorHandle(TAdsDataSet::kNoHandle);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.acquired, 1);
}

TEST_F(AdsDataNavigation, FieldDefinitionsOfAClosedDatasetUseATemporaryHandle) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  const size_t mark = trace_.Mark();
  ds.FieldDefs().Update();
  EXPECT_EQ(ds.acquired, 1);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
  ASSERT_EQ(ds.FieldDefs().Count(), 1);
  EXPECT_EQ(ds.FieldDefs()[0]->Name(), "NAME");
  EXPECT_EQ(ds.ACEFieldDefs().Count(), 1);
  const std::vector<std::string> names = EngineTrace::Names(trace_.Since(mark));
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "AdsCloseTable");
}

TEST_F(AdsDataNavigation, OpeningTwiceOnOneHandleIsRefused) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  Attach(ds, "abc");
  ds.Open();
  try {
    ds.OpenEngineCursor();
    FAIL() << "opened over an open handle";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5121u);
    EXPECT_EQ(e.Message(), "tb: Table is already open.");
  }
  EXPECT_EQ(ds.acquired, 1);
}

TEST_F(AdsDataNavigation, AFailedOpenReleasesTheHandleAndStaysClosed) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.SetFilter("NAME = ");  // the engine refuses the text when the open applies it
  ds.SetFiltered(true);
  const size_t mark = trace_.Mark();
  EXPECT_THROW(ds.Open(), EDatabaseError);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
  const std::vector<std::string> names = EngineTrace::Names(trace_.Since(mark));
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "AdsCloseTable");
}

TEST_F(AdsDataNavigation, DisconnectingTheConnectionClosesTheDataset) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.Open();
  ASSERT_TRUE(con_.IsConnected());
  ASSERT_EQ(con_.DataSetCount(), 1);
  con_.Disconnect();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
  // Opening again connects again.
  ds.Open();
  EXPECT_TRUE(con_.IsConnected());
  EXPECT_EQ(Walk(ds, true), QStringList({"ann", "bob", "cy"}));
}

TEST_F(AdsDataNavigation, TheFrameworksOrdersHoldAroundTheEngineCursor) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  QStringList seen;
  ds.BeforeOpen = [&](TDataSet* d) { seen << QString("BeforeOpen handle=%1").arg(static_cast<TAdsDataSet*>(d)->Handle() == TAdsDataSet::kNoHandle ? "none" : "set"); };
  ds.AfterOpen = [&](TDataSet* d) {
    seen << QString("AfterOpen state=%1 bof=%2 name=%3").arg(d->State()).arg(d->Bof()).arg(d->FieldByName("NAME")->AsString());
  };
  ds.BeforeClose = [&](TDataSet* d) {
    seen << QString("BeforeClose handle=%1").arg(static_cast<TAdsDataSet*>(d)->Handle() == TAdsDataSet::kNoHandle ? "none" : "set");
  };
  ds.AfterClose = [&](TDataSet* d) {
    seen << QString("AfterClose state=%1 handle=%2 fields=%3")
                .arg(d->State())
                .arg(static_cast<TAdsDataSet*>(d)->Handle() == TAdsDataSet::kNoHandle ? "none" : "set")
                .arg(d->FieldCount());
  };
  ds.Open();
  ds.Close();
  EXPECT_EQ(seen, QStringList({"BeforeOpen handle=none", "AfterOpen state=1 bof=1 name=ann", "BeforeClose handle=set",
                               "AfterClose state=0 handle=none fields=0"}));
}

TEST_F(AdsDataNavigation, RefusedEditingLeavesTheRecordsAsTheyWere) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  ds.SetReadOnly(true);
  ds.Open();
  ds.Next();
  for (const std::function<void()>& change : std::vector<std::function<void()>>{
           [&] { ds.Insert(); }, [&] { ds.Append(); }, [&] { ds.Edit(); }, [&] { ds.Delete(); }}) {
    try {
      change();
      ADD_FAILURE() << "a record change was accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_TRUE(e.Message().contains("Cannot modify a read-only dataset")) << e.Message().toStdString();
    }
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "bob");
  }
  EXPECT_EQ(Walk(ds, true), QStringList({"ann", "bob", "cy"}));
  EXPECT_EQ(ds.RecordCount(), 3);
}

TEST_F(AdsDataNavigation, AdsActiveRecordOfAnEmptyTableReportsThatTheEngineHasNoRecordToMark) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "nothing");
  ds.Open();
  try {
    ds.AdsActiveRecord();
    ADD_FAILURE() << "an empty table gave a bookmark";
  } catch (const EADSDatabaseError& e) {
    EXPECT_TRUE(e.Message().contains("5068")) << e.Message().toStdString();
  }
  EXPECT_TRUE(ds.Eof());
  ds.Close();
  EXPECT_THROW(ds.AdsActiveRecord(), EDatabaseError) << "a closed dataset has no active record";
}

TEST_F(AdsDataNavigation, CalculatedFieldsLiveInTheirAreaOfEachBuffer) {
  TestAdsDataSet ds(nullptr);
  Attach(ds, "abc");
  TStringField name(&ds);
  name.SetFieldName("NAME");
  name.SetSize(6);
  name.SetDataSet(&ds);
  TIntegerField length(&ds);
  length.SetFieldName("LEN");
  length.SetFieldKind(fkCalculated);
  length.SetDataSet(&ds);
  TIntegerField position(&ds);
  position.SetFieldName("POS");
  position.SetFieldKind(fkCalculated);
  position.SetDataSet(&ds);
  ds.OnCalcFields = [&](TDataSet* d) {
    length.SetAsInteger(name.AsString().size());
    // While calculating, the record number comes from the buffer being calculated.
    position.SetAsInteger(d->RecNo());
  };
  ds.Open();
  QStringList rows;
  for (ds.First(); !ds.Eof(); ds.Next())
    rows << QString("%1 %2 %3").arg(name.AsString()).arg(length.AsInteger()).arg(position.AsInteger());
  EXPECT_EQ(rows, QStringList({"ann 3 1", "bob 3 2", "cy 2 3"}));
  // Outside an edit state a calculated value cannot be stored.
  EXPECT_THROW(length.SetAsInteger(9), EDatabaseError);
  ds.Close();
}
