// TDataSet: the ring of record buffers and navigation over it.
#include <algorithm>

#include "runtime/data/data_link.h"
#include "runtime/data/data_source.h"
#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"

TRecordBuffer TDataSet::BufferAt(int index) const {
  if (index < 0 || index >= BufListSize()) return nullptr;
  return FBuffers[index];
}

TRecordBuffer TDataSet::ActiveBuffer() const { return BufferAt(FActiveRecord); }

void TDataSet::ResetBufferList() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::SetBufListSize(int value) {
  if (value < 0) value = 0;
  const int old = BufListSize();
  if (value == old) return;
  if (value > old) {
    FBuffers.reserve(static_cast<size_t>(value));
    while (BufListSize() < value) FBuffers.push_back(AllocateRecordBuffer());
    return;
  }
  while (BufListSize() > value) {
    TRecordBuffer buffer = FBuffers.back();
    FBuffers.pop_back();
    ReleaseRecordBuffer(buffer);
  }
  // Records only survive in buffers that still exist, and the spare must stay free.
  const int keep = std::max(0, value - 1);
  if (FRecordCount > keep) FRecordCount = keep;
  if (FActiveRecord >= std::max(1, FRecordCount)) FActiveRecord = std::max(0, FRecordCount - 1);
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
}

int TDataSet::desiredBufferCount() const {
  int count = 1;
  for (const TDataSource* source : FDataSources)
    for (const TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
  return count;
}

void TDataSet::UpdateBufferCount() {
  if (!FInternalOpenComplete) return;
  int wanted = desiredBufferCount();
  if (wanted == FBufferCount) return;
  setBufferCount(wanted);
  if (Active()) DataEvent(deDataSetChange);
}

void TDataSet::setBufferCount(int value) {
  if (value < 1) value = 1;
  const bool growing = value > FBufferCount;
  // Drop records outside the smaller window, keeping the active one.
  while (FRecordCount > value) {
    if (FActiveRecord < FRecordCount - 1) {
      --FRecordCount;
    } else {
      moveBuffer(0, FRecordCount - 1);
      --FRecordCount;
      --FActiveRecord;
    }
    CursorPosChanged();
  }
  SetBufListSize(value + 1);
  const bool wasEmpty = FBufferCount == 0;
  FBufferCount = value;
  if (FState == dsInsert) return;
  getNextRecords();
  if (growing && !wasEmpty) getPriorRecords();
}

void TDataSet::moveBuffer(int from, int to) {
  if (from == to) return;
  auto base = FBuffers.begin();
  if (from < to)
    std::rotate(base + from, base + from + 1, base + to + 1);
  else
    std::rotate(base + to, base + from, base + from + 1);
}

void TDataSet::setCurrentRecord(int index) {
  if (FCurrentRecord == index) return;
  TRecordBuffer buffer = FBuffers[index];
  switch (ReadBookmarkFlag(buffer)) {
    case BookmarkFlag::Current:
    case BookmarkFlag::Inserted:
      MoveToRecordBuffer(buffer);
      break;
    case BookmarkFlag::BeforeFirst:
      MoveToFirst();
      break;
    case BookmarkFlag::AfterLast:
      MoveToLast();
      break;
  }
  FCurrentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) setCurrentRecord(FActiveRecord);
}

void TDataSet::activateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FBOF = false;
  FEOF = false;
}

bool TDataSet::getNextRecord() {
  if (FRecordCount > 0) setCurrentRecord(FRecordCount - 1);
  bool ok = FetchRecord(FBuffers[FRecordCount], FetchMode::Next, true) == FetchResult::Ok;
  if (!ok) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    activateBuffers();
  } else if (FRecordCount < FBufferCount) {
    ++FRecordCount;
  } else {
    moveBuffer(0, FRecordCount);
    if (FActiveRecord > 0) --FActiveRecord;
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::getPriorRecord() {
  if (FRecordCount > 0) setCurrentRecord(0);
  bool ok = FetchRecord(FBuffers[FRecordCount], FetchMode::Prior, true) == FetchResult::Ok;
  if (!ok) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    activateBuffers();
  } else {
    moveBuffer(FRecordCount, 0);
    if (FRecordCount < FBufferCount) {
      ++FRecordCount;
      ++FActiveRecord;
    } else if (FActiveRecord < FRecordCount - 1) {
      ++FActiveRecord;
    }
  }
  FCurrentRecord = 0;
  return true;
}

int TDataSet::getNextRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && getNextRecord()) ++n;
  return n;
}

int TDataSet::getPriorRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && getPriorRecord()) ++n;
  return n;
}

void TDataSet::First() {
  CheckBrowseMode();
  FireBeforeScroll();
  ResetBufferList();
  try {
    MoveToFirst();
    getNextRecord();
    getNextRecords();
  } catch (...) {
    FBOF = true;
    DataEvent(deDataSetChange);
    throw;
  }
  FBOF = true;
  DataEvent(deDataSetChange);
  FireAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  FireBeforeScroll();
  ResetBufferList();
  try {
    MoveToLast();
    getPriorRecord();
    getPriorRecords();
  } catch (...) {
    FEOF = true;
    DataEvent(deDataSetChange);
    throw;
  }
  FEOF = true;
  DataEvent(deDataSetChange);
  FireAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  FireBeforeScroll();
  if ((distance > 0 && !FEOF) || (distance < 0 && !FBOF)) {
    FBOF = false;
    FEOF = false;
    const int oldRecordCount = FRecordCount;
    int scrolled = 0;
    auto notify = [&] {
      if (FRecordCount != oldRecordCount)
        DataEvent(deDataSetChange);
      else
        DataEvent(deDataSetScroll, scrolled);
    };
    try {
      while (distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          const bool full = FRecordCount >= FBufferCount;
          if (!getNextRecord()) {
            FEOF = true;
            break;
          }
          if (full) --scrolled;
          FActiveRecord = FRecordCount - 1;
        }
        --distance;
        ++moved;
      }
      while (distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          const bool full = FRecordCount >= FBufferCount;
          if (!getPriorRecord()) {
            FBOF = true;
            break;
          }
          if (full) ++scrolled;
          FActiveRecord = 0;
        }
        ++distance;
        --moved;
      }
    } catch (...) {
      notify();
      throw;
    }
    notify();
  }
  FireAfterScroll();
  return moved;
}

void TDataSet::Resync(TResyncMode mode) {
  if (BufListSize() == 0) return;
  TRecordBuffer spare = FBuffers[FRecordCount];
  if (mode.testFlag(rmExact)) {
    CursorPosChanged();
    if (FetchRecord(spare, FetchMode::Current, true) != FetchResult::Ok) DatabaseError(dbmsg::kRecordNotFound, this);
  } else if (FetchRecord(spare, FetchMode::Current, false) != FetchResult::Ok &&
             FetchRecord(spare, FetchMode::Next, false) != FetchResult::Ok &&
             FetchRecord(spare, FetchMode::Prior, false) != FetchResult::Ok) {
    ResetBufferList();
    DataEvent(deDataSetChange);
    return;
  }
  int before = mode.testFlag(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  moveBuffer(FRecordCount, 0);
  activateBuffers();
  FCurrentRecord = 0;
  try {
    while (before > 0 && getPriorRecord()) --before;
    getNextRecords();
    getPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  DataEvent(deDataSetChange);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (BeforeRefresh) BeforeRefresh(this);
  RefetchCurrentRecord();
  Resync({});
  if (AfterRefresh) AfterRefresh(this);
}

bool TDataSet::SearchRecord(bool, bool) {
  FFound = false;
  return false;
}
