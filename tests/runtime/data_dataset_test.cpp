// The dataset framework's state machine and buffer ring, driven through a dataset over rows in
// memory: the orders of open, close, insert, append, cancel, post and delete, navigation and
// the ring's contents, bookmarks, resynchronisation and browse-mode checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_support/memory_dataset.h"
#include "runtime/data/data_link.h"
#include "runtime/data/data_source.h"
#include "runtime/data/db_errors.h"

namespace {

using Log = std::vector<std::string>;

class DataSetScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetName(QStringLiteral("People"));
    ds.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    ds.FieldDefs().Add(QStringLiteral("NAME"), ftString, 10);
  }

  // Rows with ids 1..n and ID values 10, 20, ...
  void fill(int n) {
    ds.Open();
    for (int i = 1; i <= n; ++i) ds.AppendRecord({i * 10, QStringLiteral("N%1").arg(i)});
    ds.Close();
    ds.ClearLog();
  }

  void recordEvents() {
    auto rec = [this](const char* name) { return [this, name](TDataSet*) { ds.Log.push_back(name); }; };
    ds.BeforeOpen = rec("BeforeOpen");
    ds.AfterOpen = rec("AfterOpen");
    ds.BeforeClose = rec("BeforeClose");
    ds.AfterClose = rec("AfterClose");
    ds.BeforeInsert = rec("BeforeInsert");
    ds.AfterInsert = rec("AfterInsert");
    ds.BeforeEdit = rec("BeforeEdit");
    ds.AfterEdit = rec("AfterEdit");
    ds.BeforePost = rec("BeforePost");
    ds.AfterPost = rec("AfterPost");
    ds.BeforeCancel = rec("BeforeCancel");
    ds.AfterCancel = rec("AfterCancel");
    ds.BeforeDelete = rec("BeforeDelete");
    ds.AfterDelete = rec("AfterDelete");
    ds.BeforeScroll = rec("BeforeScroll");
    ds.AfterScroll = rec("AfterScroll");
  }

  // Keeps ring of n visible buffers through a data link.
  void useBuffers(int n) {
    link.SetBufferCount(n);
    link.SetDataSource(&source);
  }

  std::vector<int> ringIds() {
    std::vector<int> ids;
    for (int i = 0; i < ds.BufferedRecordCount(); ++i) ids.push_back(ds.BufferRowId(i));
    return ids;
  }
  int id() { return ds.FieldByName(QStringLiteral("ID"))->AsInteger(); }

  testdata::MemoryDataSet ds;
  TDataSource source{nullptr};
  TDataLink link;
};

TEST_F(DataSetScript, OpenCallsTheHooksInOrderAndEndsBrowsingAtTheStart) {
  fill(3);
  recordEvents();
  TDataSetState stateAtOpenHook = dsBrowse;
  ds.BeforeOpen = [&](TDataSet*) {
    ds.Log.push_back("BeforeOpen");
    stateAtOpenHook = ds.State();
  };
  ds.Open();
  EXPECT_EQ(ds.Log, (Log{"BeforeOpen", "OpenEngineCursor", "AllocateRecordBuffer", "AllocateRecordBuffer",
                         "FetchRecord(Next)=Ok", "FireAfterOpen", "AfterOpen"}));
  EXPECT_EQ(stateAtOpenHook, dsInactive);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.Active());
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.BufferCount(), 1);
  EXPECT_EQ(ds.BufferListSize(), 2) << "one visible buffer and the spare";
  EXPECT_EQ(id(), 10);
}

TEST_F(DataSetScript, OpeningAnEmptyDatasetLeavesBothEndsSet) {
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.BufferedRecordCount(), 0);
  EXPECT_TRUE(ds.FieldByName(QStringLiteral("ID"))->IsNull());
}

TEST_F(DataSetScript, AFailedOpenRunsTheCursorCloseAndStaysInactive) {
  recordEvents();
  ds.FailOpen = true;
  try {
    ds.Open();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: cannot open"));
  }
  EXPECT_EQ(ds.Log, (Log{"BeforeOpen", "OpenEngineCursor", "CloseEngineCursor"}));
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.BufferCount(), 0);
  EXPECT_EQ(ds.AllocatedBuffers(), 0);
  ds.FailOpen = false;
  ds.Open();
  EXPECT_TRUE(ds.Active());
}

TEST_F(DataSetScript, DeferredOpenRunsTheCursorAtTheCompletionStep) {
  fill(1);
  recordEvents();
  ds.BeforeOpen = [&](TDataSet*) {
    ds.Log.push_back("BeforeOpen");
    ds.ChangeState(dsOpening);
  };
  ds.Open();
  EXPECT_EQ(ds.Log, (Log{"BeforeOpen"}));
  EXPECT_FALSE(ds.Active());
  ds.OpenCursorComplete();
  EXPECT_EQ(ds.Log, (Log{"BeforeOpen", "OpenEngineCursor", "AllocateRecordBuffer", "AllocateRecordBuffer",
                         "FetchRecord(Next)=Ok", "FireAfterOpen", "AfterOpen"}));
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DataSetScript, CloseCancelsAPendingEditThenReleasesTheRingBeforeTheCursor) {
  fill(2);
  ds.Open();
  ds.Edit();
  ds.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("changed"));
  recordEvents();
  ds.ClearLog();
  TDataSetState stateAtCloseHook = dsBrowse;
  ds.AfterCancel = [&](TDataSet*) { ds.Log.push_back("AfterCancel"); };
  ds.BeforeClose = [&](TDataSet*) {
    ds.Log.push_back("BeforeClose");
    stateAtCloseHook = ds.State();
  };
  ds.Close();
  EXPECT_EQ(stateAtCloseHook, dsEdit);
  ASSERT_GE(ds.Log.size(), 6u);
  EXPECT_EQ(ds.Log.front(), "BeforeClose");
  EXPECT_EQ(ds.Log[1], "BeforeCancel");
  EXPECT_EQ(ds.Log[2], "CancelRecordEdit");
  Log tail(ds.Log.end() - 4, ds.Log.end());
  EXPECT_EQ(tail, (Log{"ReleaseRecordBuffer", "ReleaseRecordBuffer", "CloseEngineCursor", "AfterClose"}));
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.BufferCount(), 0);
  EXPECT_EQ(ds.AllocatedBuffers(), 0);
  EXPECT_EQ(ds.Rows()[0].image.mid(6, 2), QByteArray("N1")) << "the cancelled edit never reached the row";
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
}

TEST_F(DataSetScript, NavigationWalksTheRingAndSetsTheEndsOnlyWhenRunningPastThem) {
  fill(5);
  useBuffers(3);
  source.SetDataSet(&ds);
  ds.Open();
  EXPECT_EQ(ringIds(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ds.ActiveRecordIndex(), 0);

  struct Step {
    int move;
    int moved;
    int id;
    bool bof;
    bool eof;
    std::vector<int> ring;
  } steps[] = {
      {1, 1, 20, false, false, {1, 2, 3}},
      {1, 1, 30, false, false, {1, 2, 3}},
      {1, 1, 40, false, false, {2, 3, 4}},
      {5, 1, 50, false, true, {3, 4, 5}},
      {1, 0, 50, false, true, {3, 4, 5}},
      {-1, -1, 40, false, false, {3, 4, 5}},
      {-3, -3, 10, false, false, {1, 2, 3}},
      {-1, 0, 10, true, false, {1, 2, 3}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.id);
    EXPECT_EQ(ds.MoveBy(s.move), s.moved);
    EXPECT_EQ(id(), s.id);
    EXPECT_EQ(ds.Bof(), s.bof);
    EXPECT_EQ(ds.Eof(), s.eof);
    EXPECT_EQ(ringIds(), s.ring);
  }
  ds.Last();
  EXPECT_EQ(ringIds(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(id(), 50);
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
  ds.First();
  EXPECT_EQ(ringIds(), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
}

TEST_F(DataSetScript, FirstAndLastRefillAfterMovingToTheEnds) {
  fill(3);
  ds.Open();
  ds.Next();
  ds.ClearLog();
  ds.First();
  EXPECT_EQ(ds.Log, (Log{"MoveToFirst", "FetchRecord(Next)=Ok"}));
  ds.ClearLog();
  ds.Last();
  EXPECT_EQ(ds.Log, (Log{"MoveToLast", "FetchRecord(Prior)=Ok"}));
  EXPECT_EQ(id(), 30);
}

TEST_F(DataSetScript, WalkingWithNextVisitsEveryRowOnce) {
  fill(4);
  ds.Open();
  std::vector<int> seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(id());
  EXPECT_EQ(seen, (std::vector<int>{10, 20, 30, 40}));
}

TEST_F(DataSetScript, InsertPutsANewBufferAtTheActivePlaceWithTheCurrentBookmark) {
  fill(3);
  useBuffers(3);
  source.SetDataSet(&ds);
  ds.Open();
  ds.Next();  // on row 2
  recordEvents();
  ds.ClearLog();
  ds.Insert();
  EXPECT_EQ(ds.Log, (Log{"BeforeInsert", "BeforeScroll", "FillNewRecord", "BeginRecordInsert", "FireOnNewRecord",
                         "AfterInsert", "AfterScroll"}));
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_FALSE(ds.Modified());
  EXPECT_EQ(ds.ActiveRecordIndex(), 1);
  EXPECT_EQ(ds.BufferedRecordCount(), 3);
  EXPECT_EQ(ds.BufferFlag(1), BookmarkFlag::Inserted);
  EXPECT_EQ(ds.BufferRowId(1), 2) << "the new buffer carries the current record's bookmark";
  EXPECT_EQ(ds.BufferRowId(2), 2) << "the current record moved one buffer on";
  EXPECT_TRUE(ds.FieldByName(QStringLiteral("ID"))->IsNull());

  ds.ClearLog();
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.Log.front(), "BeforeCancel");
  EXPECT_EQ(ds.Log[1], "BeforeScroll");
  // The cursor is brought to the inserted buffer (which does not move the cursor while
  // inserting), then the dataset's cancel goes back to the record after it.
  EXPECT_EQ(ds.Log[2], "MoveToRecordBuffer");
  EXPECT_EQ(ds.Log[3], "MoveToBookmark(2)");
  EXPECT_EQ(ds.Log[4], "CancelRecordEdit");
  EXPECT_EQ(ds.Log[ds.Log.size() - 2], "AfterCancel");
  EXPECT_EQ(ds.Log.back(), "AfterScroll");
  EXPECT_EQ(id(), 20);
  EXPECT_EQ(ringIds(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ds.Rows().size(), 3u);
}

TEST_F(DataSetScript, InsertIntoAnEmptyDatasetMarksTheBufferBeforeFirst) {
  ds.Open();
  ds.Insert();
  EXPECT_EQ(ds.BufferFlag(0), BookmarkFlag::BeforeFirst);
  EXPECT_EQ(ds.BufferedRecordCount(), 1);
  EXPECT_FALSE(ds.IsEmpty());
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(5);
  ds.Post();
  EXPECT_EQ(ds.Rows().size(), 1u);
  EXPECT_EQ(id(), 5);
  EXPECT_FALSE(ds.IsEmpty());
}

TEST_F(DataSetScript, PostedInsertLandsBeforeTheCurrentRecordAndBecomesCurrent) {
  fill(3);
  ds.Open();
  ds.Next();
  ds.Insert();
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(15);
  EXPECT_TRUE(ds.Modified());
  recordEvents();
  ds.ClearLog();
  ds.Post();
  EXPECT_EQ(ds.Log.front(), "BeforePost");
  EXPECT_EQ(ds.Log[1], "PostRecord");
  EXPECT_EQ(ds.Log.back(), "AfterPost");
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(id(), 15);
  std::vector<int> seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(id());
  EXPECT_EQ(seen, (std::vector<int>{10, 15, 20, 30}));
}

TEST_F(DataSetScript, AppendEmptiesTheRingAndReadsTheRecordsBeforeTheNewOne) {
  fill(4);
  useBuffers(3);
  source.SetDataSet(&ds);
  ds.Open();
  ds.ClearLog();
  ds.Append();
  EXPECT_EQ(ds.Log, (Log{"FillNewRecord", "MoveToLast", "FetchRecord(Prior)=Ok", "FetchRecord(Prior)=Ok",
                         "BeginRecordInsert", "FireOnNewRecord"}));
  EXPECT_EQ(ds.BufferedRecordCount(), 3);
  EXPECT_EQ(ds.ActiveRecordIndex(), 2);
  EXPECT_EQ(ds.BufferFlag(2), BookmarkFlag::AfterLast);
  EXPECT_EQ(ds.BufferRowId(0), 3);
  EXPECT_EQ(ds.BufferRowId(1), 4);
  EXPECT_FALSE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(50);
  ds.Post();
  EXPECT_EQ(id(), 50);
  EXPECT_EQ(ds.Rows().back().id, 5);
  ds.Prior();
  EXPECT_EQ(id(), 40);
}

TEST_F(DataSetScript, EditAndPostWriteTheRowAndKeepThePosition) {
  fill(3);
  ds.Open();
  ds.Next();
  recordEvents();
  ds.ClearLog();
  ds.Edit();
  EXPECT_EQ(ds.Log, (Log{"BeforeEdit", "BeginRecordEdit", "AfterEdit"}));
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Second"));
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Second"));
  EXPECT_EQ(id(), 20);
  ds.First();
  ds.Next();
  EXPECT_EQ(ds.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Second"));
}

TEST_F(DataSetScript, EditOfAnEmptyDatasetInserts) {
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
}

TEST_F(DataSetScript, CheckBrowseModePostsModifiedRecordsAndCancelsUntouchedOnes) {
  fill(2);
  ds.Open();
  ds.Edit();
  ds.ClearLog();
  ds.CheckBrowseMode();
  EXPECT_EQ(ds.Log.front(), "CancelRecordEdit");
  EXPECT_EQ(ds.State(), dsBrowse);

  ds.Edit();
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(11);
  ds.ClearLog();
  ds.CheckBrowseMode();
  EXPECT_EQ(ds.Log.front(), "PostRecord");
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(id(), 11);

  ds.Insert();
  ds.ClearLog();
  ds.Next();  // moving checks browse mode first: the untouched insert is dropped
  EXPECT_NE(std::find(ds.Log.begin(), ds.Log.end(), "CancelRecordEdit"), ds.Log.end());
  EXPECT_EQ(std::find(ds.Log.begin(), ds.Log.end(), "PostRecord"), ds.Log.end());
  EXPECT_EQ(ds.Rows().size(), 2u);

  ds.Close();
  try {
    ds.CheckBrowseMode();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Cannot perform this operation on a closed dataset"));
  }
}

TEST_F(DataSetScript, CheckBrowseModeTellsTheLinksFirst) {
  fill(1);
  struct Recorder : TDataLink {
    std::vector<std::string>* log;
    void CheckBrowseMode() override { log->push_back("link.CheckBrowseMode"); }
  } recorder;
  recorder.log = &ds.Log;
  recorder.SetDataSource(&source);
  source.SetDataSet(&ds);
  ds.Open();
  ds.Edit();
  ds.ClearLog();
  ds.CheckBrowseMode();
  ASSERT_FALSE(ds.Log.empty());
  EXPECT_EQ(ds.Log.front(), "link.CheckBrowseMode");
}

TEST_F(DataSetScript, DeleteRemovesTheRowAndRefillsFromTheNextOne) {
  fill(3);
  ds.Open();
  ds.Next();
  recordEvents();
  ds.ClearLog();
  ds.Delete();
  EXPECT_EQ(ds.Log.front(), "BeforeDelete");
  EXPECT_EQ(ds.Log[1], "BeforeScroll");
  EXPECT_EQ(ds.Log[2], "RemoveCurrentRecord");
  EXPECT_EQ(ds.Log[ds.Log.size() - 2], "AfterDelete");
  EXPECT_EQ(ds.Log.back(), "AfterScroll");
  EXPECT_EQ(id(), 30);
  ds.Delete();
  EXPECT_EQ(id(), 10) << "deleting the last row falls back to the one before";
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof());
  try {
    ds.Delete();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Cannot perform this operation on an empty dataset"));
  }
}

TEST_F(DataSetScript, ReadOnlyDatasetsRefuseEditInsertAndDelete) {
  fill(1);
  ds.Open();
  ds.ReadOnlyData = true;
  std::function<void()> ops[] = {[&] { ds.Edit(); }, [&] { ds.Insert(); }, [&] { ds.Append(); },
                                 [&] { ds.Delete(); }};
  for (auto& op : ops) {
    try {
      op();
      ADD_FAILURE() << "no exception";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("People: Cannot modify a read-only dataset"));
    }
    EXPECT_EQ(ds.State(), dsBrowse);
  }
}

TEST_F(DataSetScript, AFailedPostStaysInEditAndAHandlerMayRetry) {
  fill(1);
  ds.Open();
  ds.Edit();
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(99);
  ds.FailPosts = 1;
  EXPECT_THROW(ds.Post(), EDatabaseError);
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(id(), 99) << "the buffer keeps the values for a second attempt";

  ds.FailPosts = 2;
  int calls = 0;
  ds.OnPostError = [&](TDataSet*, const EDatabaseError& e, TDataAction& action) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: post refused"));
    ++calls;
    action = daRetry;
  };
  ds.Post();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(id(), 99);

  ds.Edit();
  ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(98);
  ds.FailPosts = 1;
  ds.OnPostError = [](TDataSet*, const EDatabaseError&, TDataAction& action) { action = daAbort; };
  EXPECT_THROW(ds.Post(), EAbort);
  EXPECT_EQ(ds.State(), dsEdit);
}

TEST_F(DataSetScript, RequiredFieldsMustHaveAValueBeforePosting) {
  ds.FieldDefs()[0]->SetRequired(true);
  ds.Open();
  ds.Append();
  ds.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("x"));
  try {
    ds.Post();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Field 'ID' must have a value"));
  }
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_TRUE(ds.Rows().empty());
}

TEST_F(DataSetScript, BookmarksReturnToTheirRecordAndCompareAbsentOnes) {
  fill(5);
  useBuffers(3);
  source.SetDataSet(&ds);
  ds.Open();
  ds.MoveBy(3);
  TBookmark fourth = ds.GetBookmark();
  ASSERT_EQ(fourth.size(), 4);
  ds.First();
  ds.ClearLog();
  ds.GotoBookmark(fourth);
  EXPECT_EQ(ds.Log.front(), "MoveToBookmark(4)");
  EXPECT_EQ(id(), 40);
  EXPECT_EQ(ringIds(), (std::vector<int>{3, 4, 5})) << "rmCenter puts the record in the middle";
  EXPECT_EQ(ds.ActiveRecordIndex(), 1);

  ds.Insert();
  EXPECT_TRUE(ds.GetBookmark().isEmpty()) << "a record being inserted has no bookmark";
  ds.Cancel();

  EXPECT_EQ(ds.CompareBookmarks(fourth, TBookmark()), -1);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark(), fourth), 1);
  EXPECT_EQ(ds.CompareBookmarks(TBookmark(), TBookmark()), 0);
  EXPECT_EQ(ds.CompareBookmarks(fourth, fourth), 0);
  EXPECT_TRUE(ds.BookmarkValid(fourth));
  EXPECT_FALSE(ds.BookmarkValid(TBookmark()));
}

TEST_F(DataSetScript, ResyncKeepsTheActiveRowPlaceOrCentresIt) {
  fill(6);
  useBuffers(5);
  source.SetDataSet(&ds);
  ds.Open();
  ds.MoveBy(4);  // row 5, active buffer 4
  EXPECT_EQ(ringIds(), (std::vector<int>{1, 2, 3, 4, 5}));
  // Resync refills around the cursor, so the cursor is put on the active record first.
  ds.UpdateCursorPos();
  ds.Resync({});
  EXPECT_EQ(ringIds(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ds.ActiveRecordIndex(), 4);
  EXPECT_EQ(id(), 50);
  ds.UpdateCursorPos();
  ds.Resync(rmCenter);
  // Two records before it, the rest after it, and the ring filled up from before again.
  EXPECT_EQ(ringIds(), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(ds.ActiveRecordIndex(), 3);
  EXPECT_EQ(id(), 50);

}

TEST_F(DataSetScript, ResyncExactRequiresTheCurrentRecord) {
  fill(2);
  ds.Open();
  ds.Rows().clear();
  try {
    ds.Resync(rmExact);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Record not found"));
  }
  ds.Resync({});
  EXPECT_TRUE(ds.IsEmpty());
}

TEST_F(DataSetScript, UpdateCursorPosRepositionsOnlyWhenTheCursorMovedAway) {
  fill(3);
  ds.Open();
  ds.ClearLog();
  ds.UpdateCursorPos();
  EXPECT_TRUE(ds.Log.empty());
  ds.Resync({});  // leaves the cursor on the active buffer
  ds.ClearLog();
  ds.UpdateCursorPos();
  EXPECT_TRUE(ds.Log.empty());
  ds.Refresh();
  EXPECT_EQ(ds.Log.front(), "RefetchCurrentRecord");
}

TEST_F(DataSetScript, FindOperationsSearchInTheirDirections) {
  fill(1);
  ds.Open();
  ds.ClearLog();
  EXPECT_FALSE(ds.FindFirst());
  EXPECT_FALSE(ds.FindNext());
  EXPECT_FALSE(ds.FindPrior());
  EXPECT_FALSE(ds.FindLast());
  EXPECT_FALSE(ds.Found());
  EXPECT_EQ(ds.Log, (Log{"SearchRecord(restart,forward)", "SearchRecord(continue,forward)",
                         "SearchRecord(continue,backward)", "SearchRecord(restart,backward)"}));
}

TEST_F(DataSetScript, TemporaryStatesSwitchWithoutNotifyingLinks) {
  fill(1);
  source.SetDataSet(&ds);
  int stateChanges = 0;
  source.OnStateChange = [&](TDataSource*) { ++stateChanges; };
  ds.Open();
  EXPECT_EQ(stateChanges, 1);
  TDataSetState previous = ds.EnterTempState(dsCalcFields);
  EXPECT_EQ(previous, dsBrowse);
  EXPECT_EQ(ds.State(), dsCalcFields);
  ds.LeaveTempState(previous);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(stateChanges, 1);
  ds.Edit();
  EXPECT_EQ(stateChanges, 2);
  EXPECT_EQ(source.State(), dsEdit);
  // The handler counts into this test's frame; the fixture's source outlives it and notifies
  // once more when it is destroyed.
  source.OnStateChange = nullptr;
}

TEST_F(DataSetScript, OpenAndCloseGuardsNameTheDataset) {
  ds.Open();
  try {
    ds.RequireInactive();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Cannot perform this operation on an open dataset"));
  }
  EXPECT_NO_THROW(ds.RequireActive());
  ds.Close();
  EXPECT_NO_THROW(ds.RequireInactive());
  EXPECT_THROW(ds.RequireActive(), EDatabaseError);
}

TEST_F(DataSetScript, FieldAssignmentOutsideEditStatesIsRefused) {
  fill(1);
  ds.Open();
  try {
    ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(3);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("People: Dataset not in edit mode"));
  }
  EXPECT_THROW(ds.Post(), EDatabaseError);
}

TEST_F(DataSetScript, InsertAndAppendRecordPostThroughTheAddRecordHook) {
  fill(2);
  ds.Open();
  ds.Next();
  ds.ClearLog();
  ds.InsertRecord({15, QStringLiteral("between")});
  EXPECT_NE(std::find(ds.Log.begin(), ds.Log.end(), "InternalAddRecord(insert)"), ds.Log.end());
  EXPECT_EQ(id(), 15);
  ds.AppendRecord({99});
  EXPECT_EQ(id(), 99);
  EXPECT_TRUE(ds.FieldByName(QStringLiteral("NAME"))->IsNull());
  std::vector<int> seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(id());
  EXPECT_EQ(seen, (std::vector<int>{10, 15, 20, 99}));
}

TEST_F(DataSetScript, RingShrinksAndGrowsWithTheLinksAndKeepsTheActiveRecord) {
  fill(6);
  source.SetDataSet(&ds);
  ds.Open();
  ds.MoveBy(3);  // row 4
  link.SetBufferCount(4);
  link.SetDataSource(&source);
  EXPECT_EQ(ds.BufferCount(), 4);
  EXPECT_EQ(id(), 40);
  EXPECT_EQ(ds.BufferedRecordCount(), 4);
  link.SetBufferCount(2);
  EXPECT_EQ(ds.BufferCount(), 2);
  EXPECT_EQ(id(), 40);
  EXPECT_EQ(ds.BufferedRecordCount(), 2);
  EXPECT_EQ(ds.BufferListSize(), 3);
  link.SetDataSource(nullptr);
  EXPECT_EQ(ds.BufferCount(), 1);
  EXPECT_EQ(id(), 40);
}

TEST_F(DataSetScript, BufferListResizeDropsRecordsThatNoLongerFit) {
  fill(4);
  useBuffers(3);
  source.SetDataSet(&ds);
  ds.Open();
  ds.Next();
  ds.UpdateCursorPos();
  ds.SetBufListSize(0);
  EXPECT_EQ(ds.BufferedRecordCount(), 0);
  EXPECT_EQ(ds.CurrentRecordIndex(), -1);
  ds.SetBufListSize(4);
  ds.Resync({});
  EXPECT_EQ(id(), 20);
  EXPECT_EQ(ringIds(), (std::vector<int>{2, 3, 4}));
}

}  // namespace
