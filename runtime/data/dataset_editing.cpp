// TDataSet: editing, inserting, posting, cancelling and deleting records, and bookmarks.
#include <cstring>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"

void TDataSet::checkCanModify() {
  if (!CanModify()) DatabaseError(dbmsg::kDataSetReadOnly, this);
}

void TDataSet::freeFieldBuffers() {
  for (TField* field : FFields) field->FreeBuffers();
}

void TDataSet::UpdateRecord() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) DatabaseError(dbmsg::kNotEditing, this);
  DataEvent(deUpdateRecord);
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  checkCanModify();
  FireBeforeEdit();
  UpdateCursorPos();
  CheckOperation([this] { BeginRecordEdit(); }, OnEditError);
  ChangeState(dsEdit);
  DataEvent(deRecordChange);
  FireAfterEdit();
}

void TDataSet::beginInsertAppend() {
  CheckBrowseMode();
  checkCanModify();
  FireBeforeInsert();
  FireBeforeScroll();
}

void TDataSet::endInsertAppend() {
  ChangeState(dsInsert);
  try {
    FireOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    freeFieldBuffers();
    ChangeState(dsBrowse);
    Resync({});
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange);
  FireAfterInsert();
  FireAfterScroll();
}

void TDataSet::ResetRecordBuffer(TRecordBuffer buffer) {
  FillNewRecord(buffer);
  ClearCalculatedArea(buffer);
  WriteBookmarkFlag(buffer, BookmarkFlag::Inserted);
}

// The new record is prepared in the spare buffer before it joins the ring, so that a failing
// initialisation (a default value that does not fit) leaves the ring as it was.
void TDataSet::Insert() {
  beginInsertAppend();
  TRecordBuffer buffer = FBuffers[FRecordCount];
  ResetRecordBuffer(buffer);
  if (FRecordCount == 0) {
    WriteBookmarkFlag(buffer, BookmarkFlag::BeforeFirst);
  } else {
    QByteArray current(FBookmarkSize, '\0');
    ReadBookmarkData(ActiveBuffer(), current.data());
    WriteBookmarkData(buffer, current.constData());
  }
  moveBuffer(FRecordCount, FActiveRecord);
  if (FCurrentRecord >= FActiveRecord) {
    ++FCurrentRecord;
    if (FCurrentRecord >= std::min(FRecordCount + 1, FBufferCount)) FCurrentRecord = -1;
  }
  if (FRecordCount < FBufferCount) ++FRecordCount;
  BeginRecordInsert();
  endInsertAppend();
}

void TDataSet::Append() {
  beginInsertAppend();
  const int spare = FRecordCount;
  TRecordBuffer buffer = FBuffers[spare];
  ResetRecordBuffer(buffer);
  WriteBookmarkFlag(buffer, BookmarkFlag::AfterLast);
  ResetBufferList();
  moveBuffer(spare, 0);
  FRecordCount = 1;
  FBOF = false;
  getPriorRecords();
  BeginRecordInsert();
  endInsertAppend();
}

void TDataSet::PostRecord() {
  for (TField* field : FFields)
    if (field->Required() && field->FieldKind() == fkData && !field->ReadOnly() && field->IsNull())
      DatabaseErrorFmt(dbmsg::kFieldRequired, field->DisplayName(), this);
}

void TDataSet::RemoveCurrentRecord() { DatabaseError(dbmsg::kDataSetReadOnly, this); }

void TDataSet::InternalAddRecord(TRecordBuffer, bool) { DatabaseError(dbmsg::kDataSetReadOnly, this); }

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  FireBeforePost();
  CheckOperation([this] { PostRecord(); }, OnPostError);
  freeFieldBuffers();
  ChangeState(dsBrowse);
  Resync({});
  FireAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  FireBeforeCancel();
  const bool scrolls = FState == dsInsert;
  if (scrolls) FireBeforeScroll();
  UpdateCursorPos();
  CancelRecordEdit();
  freeFieldBuffers();
  ChangeState(dsBrowse);
  Resync({});
  FireAfterCancel();
  if (scrolls) FireAfterScroll();
}

void TDataSet::Delete() {
  RequireActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError(dbmsg::kDataSetEmpty, this);
  checkCanModify();
  DataEvent(deCheckBrowseMode);
  FireBeforeDelete();
  FireBeforeScroll();
  UpdateCursorPos();
  CheckOperation([this] { RemoveCurrentRecord(); }, OnDeleteError);
  freeFieldBuffers();
  ChangeState(dsBrowse);
  Resync({});
  FireAfterDelete();
  FireAfterScroll();
}

void TDataSet::SetFields(const QVariantList& values) {
  const int n = std::min(static_cast<int>(values.size()), FFields.Count());
  for (int i = 0; i < n; ++i) FFields[i]->SetAsVariant(values[i]);
}

void TDataSet::addRecord(const QVariantList& values, bool append) {
  if (append)
    Append();
  else
    Insert();
  try {
    SetFields(values);
    CheckOperation([this, append] { InternalAddRecord(ActiveBuffer(), append); }, OnPostError);
  } catch (...) {
    Cancel();
    throw;
  }
  freeFieldBuffers();
  ChangeState(dsBrowse);
  Resync({});
}

void TDataSet::InsertRecord(const QVariantList& values) { addRecord(values, false); }

void TDataSet::AppendRecord(const QVariantList& values) { addRecord(values, true); }

void TDataSet::ClearFields() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) DatabaseError(dbmsg::kNotEditing, this);
  DataEvent(deCheckBrowseMode);
  FillNewRecord(ActiveBuffer());
  if (FState != dsSetKey) ComputeCalcFields(ActiveBuffer());
  DataEvent(deRecordChange);
}

bool TDataSet::BookmarkAvailable() {
  return (FState == dsBrowse || FState == dsEdit || FState == dsInsert || FState == dsBlockRead) &&
         FActiveRecord < FRecordCount && ReadBookmarkFlag(ActiveBuffer()) == BookmarkFlag::Current;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable()) return TBookmark();
  TBookmark bookmark(FBookmarkSize, '\0');
  ReadBookmarkData(ActiveBuffer(), bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.isEmpty()) return;
  CheckBrowseMode();
  FireBeforeScroll();
  MoveToBookmark(bookmark.constData());
  Resync(rmExact | rmCenter);
  FireAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) { return Active() && !bookmark.isEmpty(); }

int TDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  const bool has1 = !bookmark1.isEmpty();
  const bool has2 = !bookmark2.isEmpty();
  if (has1 && has2) {
    int c = std::memcmp(bookmark1.constData(), bookmark2.constData(),
                        static_cast<size_t>(std::min(bookmark1.size(), bookmark2.size())));
    if (c == 0) c = bookmark1.size() < bookmark2.size() ? -1 : bookmark1.size() > bookmark2.size() ? 1 : 0;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (has1) return -1;
  if (has2) return 1;
  return 0;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) { return nullptr; }
