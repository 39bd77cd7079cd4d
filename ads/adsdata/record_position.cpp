// TAdsDataSet: record positions and counts, bookmarks, searching and the engine's view of the
// active record.
#include <cmath>
#include <cstring>

#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

int32_t TAdsDataSet::CurrentRecordPosition() {
  if ((mstrIndexName.isEmpty() && mstrIndexFieldNames.isEmpty()) || !mbIsSequenced) {
    UNSIGNED32 record = 0;
    CheckAceResult(this, AdsGetRecordNum(mlHandle, 2, &record));
    return static_cast<int32_t>(record);
  }
  if (meSeqLevel == slExact) {
    UNSIGNED32 key = 0;
    CheckAceResult(this, AdsGetKeyNum(mlActiveHandle, 1, &key));
    return static_cast<int32_t>(key);
  }
  UNSIGNED32 count = 0;
  CheckAceResult(this, AdsGetRecordCount(mlHandle, 2, &count));
  DOUBLE position = 0;
  const UNSIGNED32 rc = AdsGetRelKeyPos(mlActiveHandle, &position);
  if (rc == adsdata::kAeNoKeyPosition)
    position = 0;
  else
    CheckAceResult(this, rc);
  return static_cast<int32_t>(std::trunc(static_cast<double>(count) * position));
}

int TAdsDataSet::RecNo() {
  RequireActive();
  if (State() == dsCalcFields) return static_cast<int>(adsdata::ReadU32(BookmarkOf(FCalcBuffer)));
  if (FActiveRecord < FRecordCount) return RecordPositionOf(ActiveBuffer());
  return 0;
}

void TAdsDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  FireBeforeScroll();
  if (mbIsSequenced && meSeqLevel == slExact) {
    CheckAceResult(this, AdsGotoTop(mlActiveHandle));
    CheckAceResult(this, AdsSkip(mlActiveHandle, value - 1));
  } else if (meActiveIndexType != ndxNone) {
    UNSIGNED32 count = 0;
    CheckAceResult(this, AdsGetRecordCount(mlHandle, 2, &count));
    double p = count == 0 ? 0.0 : static_cast<double>(value) / static_cast<double>(count);
    if (p > 1.0) p = 1.0;
    CheckAceResult(this, AdsSetRelKeyPos(mlActiveHandle, p));
  } else if (Filtered()) {
    CheckAceResult(this, AdsGotoTop(mlHandle));
    CheckAceResult(this, AdsSkip(mlHandle, value - 1));
  } else {
    const UNSIGNED32 rc = AdsGotoRecord(mlHandle, static_cast<UNSIGNED32>(value));
    if (mbIsSequenced && rc == adsdata::kAeNoCurrentRecord) {
      CheckAceResult(this, AdsGotoTop(mlHandle));
      CheckAceResult(this, AdsSkip(mlHandle, value - 1));
    } else {
      CheckAceResult(this, rc);
    }
  }
  Resync(TResyncMode(rmCenter));
  FireAfterScroll();
}

int TAdsDataSet::RecordCount() {
  RequireActive();
  UNSIGNED16 option = 2;
  if (mpoAdsTableOptions->AdsFilterOptions() == RESPECT_WHEN_COUNTING)
    option = 1;
  else if (mpoAdsTableOptions->AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING)
    option = 3;

  uint32_t handle = mlActiveHandle;
  if (option == 1 && mlActiveHandle != mlHandle) {
    // Counting with filters respected on an index order costs a walk of the order; when the
    // order has no condition and no scope, the table counts the same records faster.
    bool conditioned = false;
    UNSIGNED32 flags = 0;
    CheckAceResult(this, AdsGetIndexFlags(mlActiveHandle, &flags));
    if (meTableType != ttAdsADT && (flags & 1u) != 0) {
      conditioned = true;
    } else {
      UNSIGNED8 condition[510] = {};
      UNSIGNED16 length = sizeof condition;
      CheckAceResult(this, AdsGetIndexCondition(mlActiveHandle, condition, &length));
      conditioned = condition[0] != 0 && length > 0;
    }
    bool scoped = false;
    if (!conditioned) {
      for (UNSIGNED16 which : {UNSIGNED16(1), UNSIGNED16(2)}) {
        UNSIGNED8 scope[4082] = {};
        UNSIGNED16 length = sizeof scope;
        const UNSIGNED32 rc = AdsGetScope(mlActiveHandle, which, scope, &length);
        if (rc == adsdata::kAeNoScope) continue;
        CheckAceResult(this, rc);
        scoped = true;
        break;
      }
    }
    if (!conditioned && !scoped) handle = mlHandle;
  }
  UNSIGNED32 count = 0;
  const UNSIGNED16 finalOption = mpoAdsTableOptions->AdsFreshRecordCount() ? option + 4 : option;
  CheckAceResult(this, AdsGetRecordCount(handle, finalOption, &count));
  return static_cast<int>(count);
}

bool TAdsDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active() || bookmark.isEmpty()) return false;
  if (bookmark.size() < 4) return false;
  FCurrentRecord = -1;
  if (AdsGotoBookmark(mlHandle, adsdata::ReadU32(reinterpret_cast<const uint8_t*>(bookmark.constData()))) != 0)
    return false;
  UNSIGNED16 atEnd = 0;
  if (AdsAtEOF(mlHandle, &atEnd) != 0 || atEnd != 0) return false;
  if (meTableType == ttAdsCDX || meTableType == ttAdsNTX || meTableType == ttAdsVFP) {
    UNSIGNED16 deleted = 0;
    CheckAceResult(this, AdsIsRecordDeleted(mlHandle, &deleted));
    if (deleted == 1) {
      UNSIGNED16 showDeleted = 0;
      CheckAceResult(this, AdsGetDeleted(&showDeleted));
      return showDeleted != 0;
    }
  }
  return true;
}

int TAdsDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  const bool has1 = !bookmark1.isEmpty();
  const bool has2 = !bookmark2.isEmpty();
  if (has1 && has2) {
    QByteArray a = bookmark1;
    QByteArray b = bookmark2;
    SIGNED32 result = 0;
    CheckAceResult(this, AdsCompareBookmarks(reinterpret_cast<UNSIGNED8*>(a.data()),
                                             reinterpret_cast<UNSIGNED8*>(b.data()), &result));
    return result;
  }
  if (has1) return -1;
  if (has2) return 1;
  return 0;
}

bool TAdsDataSet::SearchRecord(bool restart, bool forward) {
  CheckBrowseMode();
  FireBeforeScroll();
  FFound = false;
  UpdateCursorPos();
  FCurrentRecord = -1;
  // The Filter text is applied for the search alone. Without a text there is nothing to apply,
  // and removing "the" filter afterwards would remove one set through the extended members.
  const bool filterAdded = !Filtered() && !Filter().isEmpty();
  if (filterAdded) ActivateFilter();
  bool atEnd = false;
  try {
    if (forward) {
      CheckAceResult(this, restart ? AdsGotoTop(mlActiveHandle) : AdsSkip(mlActiveHandle, 1));
      UNSIGNED16 eof = 0;
      CheckAceResult(this, AdsAtEOF(mlHandle, &eof));
      atEnd = eof != 0;
    } else {
      CheckAceResult(this, restart ? AdsGotoBottom(mlActiveHandle) : AdsSkip(mlActiveHandle, -1));
      UNSIGNED16 bof = 0;
      CheckAceResult(this, AdsAtBOF(mlHandle, &bof));
      atEnd = bof != 0;
    }
    if (!atEnd && OnFilterRecord()) atEnd = !FilteredScan(forward);
  } catch (const Exception&) {
    if (filterAdded) DeactivateFilter();
    throw;
  }
  if (filterAdded) DeactivateFilter();
  if (!atEnd) {
    Resync(TResyncMode(rmExact) | rmCenter);
    FFound = true;
    FireAfterScroll();
  }
  return FFound;
}

uint32_t TAdsDataSet::AdsActiveRecord() {
  RequireActive();
  if (State() == dsCalcFields) return 0;
  ADSHANDLE bookmark = 0;
  CheckAceResult(this, AdsGetBookmark(mlHandle, &bookmark));
  const UNSIGNED32 record = FActiveRecord < FRecordCount ? adsdata::ReadU32(BookmarkOf(ActiveBuffer())) : 0;
  const UNSIGNED32 rc = AdsGotoRecord(mlHandle, record);
  // A move that finds no record in an empty result (the engine at both ends) is no failure.
  UNSIGNED16 bof = 0;
  UNSIGNED16 eof = 0;
  const bool empty = rc == adsdata::kAeNoCurrentRecord && AdsAtBOF(mlHandle, &bof) == 0 &&
                     AdsAtEOF(mlHandle, &eof) == 0 && bof != 0 && eof != 0;
  if (!empty) CheckAceResult(this, rc);
  FCurrentRecord = -1;
  return bookmark;
}
