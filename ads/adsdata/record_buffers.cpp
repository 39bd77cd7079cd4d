// TAdsDataSet: the record-buffer layout, the buffer hooks of the framework's ring, moving the
// engine, and fetching and reading records into buffers.
#include <cassert>
#include <cstring>
#include <memory>
#include <vector>

#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

using adsdata::FieldArg;

void TAdsDataSet::ComputeRecordLayout() {
  // The blob-cache slots hold pointers, so they are as wide as a pointer on this host.
  const uint32_t blobCacheOfs = static_cast<uint32_t>(musRecordSize) + static_cast<uint32_t>(FCalcFieldsSize);
  const uint32_t recInfoOfs = blobCacheOfs + sizeof(TAdsBlobCache*) * static_cast<uint32_t>(FBlobFieldCount);
  const uint32_t bookmarkOfs = recInfoOfs + 8;
  UNSIGNED32 bookmarkLength = 0;
  CheckAceResult(this, AdsGetBookmarkLength(NavigationHandle(), &bookmarkLength));
  const uint32_t total = bookmarkOfs + bookmarkLength;
  // Offsets are 16-bit: a layout past that would make buffers shorter than their contents.
  if (total > 0xFFFFu)
    RaiseComponentError(QStringLiteral("The record buffer of %1 bytes exceeds the largest of 65535 bytes.").arg(total));
  musBlobCacheOfs = static_cast<uint16_t>(blobCacheOfs);
  musRecInfoOfs = static_cast<uint16_t>(recInfoOfs);
  musBookmarkOfs = static_cast<uint16_t>(bookmarkOfs);
  FBookmarkSize = static_cast<int>(bookmarkLength);
  musRecBufSize = static_cast<uint16_t>(total);
}

uint8_t* TAdsDataSet::RecordInfoOf(TRecordBuffer buffer) const {
  return reinterpret_cast<uint8_t*>(buffer) + musRecInfoOfs;
}

// The block's offset follows the record and need not be aligned: it is read and written bytewise.
int32_t TAdsDataSet::RecordPositionOf(TRecordBuffer buffer) const { return adsdata::ReadI32(RecordInfoOf(buffer)); }

void TAdsDataSet::SetRecordPositionOf(TRecordBuffer buffer, int32_t position) const {
  adsdata::Write(RecordInfoOf(buffer), position);
}

uint8_t* TAdsDataSet::BookmarkOf(TRecordBuffer buffer) const {
  return reinterpret_cast<uint8_t*>(buffer) + musBookmarkOfs;
}

TAdsBlobCache** TAdsDataSet::BlobCachesOf(TRecordBuffer buffer) const {
  // The slots need not be aligned: read and write them with memcpy.
  return reinterpret_cast<TAdsBlobCache**>(buffer + musBlobCacheOfs);
}

TRecordBuffer TAdsDataSet::AllocateRecordBuffer() {
  // The buffer ring owns its buffers as plain blocks with one blob cache per blob field in
  // their slots; ReleaseRecordBuffer is the only release.
  std::unique_ptr<char[]> buffer(new char[musRecBufSize]());
  std::vector<std::unique_ptr<TAdsBlobCache>> caches;
  for (int i = 0; i < FBlobFieldCount; ++i) caches.push_back(std::make_unique<TAdsBlobCache>());
  for (int i = 0; i < FBlobFieldCount; ++i) {
    TAdsBlobCache* cache = caches[static_cast<size_t>(i)].release();
    std::memcpy(buffer.get() + musBlobCacheOfs + sizeof cache * static_cast<size_t>(i), &cache, sizeof cache);
  }
  return buffer.release();
}

void TAdsDataSet::ReleaseRecordBuffer(TRecordBuffer& buffer) {
  if (buffer == nullptr) return;
  for (int i = 0; i < FBlobFieldCount; ++i) delete BlobCacheOf(buffer, i);
  delete[] buffer;
  buffer = nullptr;
}

void TAdsDataSet::ReadBookmarkData(TRecordBuffer buffer, void* data) {
  std::memcpy(data, BookmarkOf(buffer), static_cast<size_t>(FBookmarkSize));
}

void TAdsDataSet::WriteBookmarkData(TRecordBuffer buffer, const void* data) {
  std::memcpy(BookmarkOf(buffer), data, static_cast<size_t>(FBookmarkSize));
}

BookmarkFlag TAdsDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<BookmarkFlag>(RecordInfoOf(buffer)[5]);
}

void TAdsDataSet::WriteBookmarkFlag(TRecordBuffer buffer, BookmarkFlag flag) {
  RecordInfoOf(buffer)[5] = static_cast<uint8_t>(flag);
}

void TAdsDataSet::ClearCalculatedArea(TRecordBuffer buffer) {
  std::memset(buffer + musRecordSize, 0, static_cast<size_t>(FCalcFieldsSize));
}

void TAdsDataSet::ResetRecordBuffer(TRecordBuffer buffer) {
  TDataSet::ResetRecordBuffer(buffer);
  SetRecordPositionOf(buffer, -1);
  RecordInfoOf(buffer)[4] = 0;
  RecordInfoOf(buffer)[5] = 0;
  if (FBookmarkSize >= 4) std::memset(BookmarkOf(buffer), 0, 4);
}

void TAdsDataSet::MoveToFirst() { CheckAceResult(this, AdsGotoBOF(mlActiveHandle)); }

void TAdsDataSet::MoveToLast() { CheckAceResult(this, AdsGotoEOF(mlActiveHandle)); }

void TAdsDataSet::MoveToBookmark(const void* bookmark) {
  if (State() == dsInsert) return;
  const UNSIGNED32 rc = AdsGotoBookmark(mlHandle, adsdata::ReadU32(static_cast<const uint8_t*>(bookmark)));
  if (rc == adsdata::kAeNoCurrentRecord) return;
  CheckAceResult(this, rc);
}

void TAdsDataSet::MoveToRecordBuffer(TRecordBuffer buffer) { MoveToBookmark(BookmarkOf(buffer)); }

void TAdsDataSet::RefetchCurrentRecord() {
  const UNSIGNED32 rc = AdsRefreshRecord(mlHandle);
  if (rc == adsdata::kAeVisibilityFlag) return;
  CheckAceResult(this, rc);
}

bool TAdsDataSet::GetCurrentRecord(TRecordBuffer buffer) {
  if (FActiveRecord < FRecordCount && ReadBookmarkFlag(ActiveBuffer()) == BookmarkFlag::Current) {
    UpdateCursorPos();
    std::memcpy(buffer, ActiveBuffer(), musRecordSize);
    return true;
  }
  return false;
}

FetchResult TAdsDataSet::FetchRecord(TRecordBuffer buffer, FetchMode mode, bool /*check*/) {
  if (mlHandle == kNoHandle || State() == dsInsert) return FetchResult::Error;
  switch (mode) {
    case FetchMode::Next:
      CheckAceResult(this, AdsSkip(mlActiveHandle, 1));
      break;
    case FetchMode::Prior:
      CheckAceResult(this, AdsSkip(mlActiveHandle, -1));
      break;
    case FetchMode::Current:
      break;
    default:
      return FetchResult::Error;
  }
  const FetchResult result = FetchVisibleRecord(buffer, musRecBufSize, mode);
  if (result == FetchResult::Ok) {
    RecordInfoOf(buffer)[4] = 0;
    RecordInfoOf(buffer)[5] = static_cast<uint8_t>(BookmarkFlag::Current);
    SetRecordPositionOf(buffer, CurrentRecordPosition());
  }
  return result;
}

FetchResult TAdsDataSet::FetchVisibleRecord(TRecordBuffer buffer, uint16_t length, FetchMode mode) {
  for (;;) {
    UNSIGNED16 atEnd = 0;
    CheckAceResult(this, AdsAtEOF(mlHandle, &atEnd));
    if (atEnd != 0 && (mode == FetchMode::Current || mode == FetchMode::Next)) return FetchResult::Eof;
    UNSIGNED16 atBegin = 0;
    CheckAceResult(this, AdsAtBOF(mlHandle, &atBegin));
    if (atBegin != 0 && (mode == FetchMode::Current || mode == FetchMode::Prior)) return FetchResult::Bof;

    UNSIGNED16 visible = 0;
    const UNSIGNED32 rc = AdsIsRecordVisible(mlActiveHandle, &visible);
    if (rc != adsdata::kAeVisibilityFlag) CheckAceResult(this, rc);

    bool accepted = false;
    if (visible != 0) {
      ReadRecordInto(buffer, length, false);
      const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
      if (calcFirst) ComputeCalcFields(buffer);
      accepted = true;
      if (OnFilterRecord() && Filtered()) accepted = RunFilterRecord(buffer);
      if (accepted) {
        if (!calcFirst) ComputeCalcFields(buffer);
        return FetchResult::Ok;
      }
    }
    if (mode == FetchMode::Current) return FetchResult::Error;
    CheckAceResult(this, AdsSkip(mlActiveHandle, mode == FetchMode::Prior ? -1 : 1));
  }
}

void TAdsDataSet::ReadRecordInto(TRecordBuffer buffer, uint16_t length, bool calc) {
  UNSIGNED16 fieldCount = 0;
  CheckAceResult(this, AdsGetNumFields(mlHandle, &fieldCount));
  UNSIGNED32 recordLength = length;
  CheckAceResult(this, AdsGetRecord(mlHandle, reinterpret_cast<UNSIGNED8*>(buffer), &recordLength));
  UNSIGNED32 bookmarkLength = static_cast<UNSIGNED32>(FBookmarkSize);
  CheckAceResult(this, AdsGetBookmark60(NavigationHandle(), BookmarkOf(buffer), &bookmarkLength));

  if (FBlobFieldCount > 0) {
    for (int i = 0; i < FACEFieldDefs->Count(); ++i) {
      const TACEFieldDef* def = FACEFieldDefs->Items(i);
      if (!adsdata::IsBlobEngineType(def->FieldType())) continue;
      UNSIGNED16 empty = 0;
      UNSIGNED16 isNull = 0;
      CheckAceResult(this, AdsIsEmpty(mlHandle, FieldArg(def->FieldNumber()), &empty));
      CheckAceResult(this, AdsIsNull(mlHandle, FieldArg(def->FieldNumber()), &isNull));
      const uint32_t marker = (empty != 0 || isNull != 0) ? 0u : 0xFFFFFFFFu;
      if (def->Offset() + 4 <= musRecordSize) adsdata::Write(buffer + def->Offset(), marker);
    }
    const TDataSetState s = State();
    if (s == dsBrowse || s == dsEdit || s == dsInsert || s == dsCalcFields || s == dsNewValue) ClearBlobCaches(buffer);
  }

  if (musOpenCharType == 2) {
    // OEM tables: character fields are read again through the engine so that their text
    // arrives translated to the ANSI code page. A field without a value has no text to
    // translate and keeps its bytes, so that it still reads as having no value.
    const auto* record = reinterpret_cast<const uint8_t*>(buffer);
    for (int i = 0; i < FACEFieldDefs->Count(); ++i) {
      const TACEFieldDef* def = FACEFieldDefs->Items(i);
      const uint16_t t = def->FieldType();
      if (t != ADS_STRING && t != ADS_CISTRING && t != ADS_VARCHAR_FOX && t != ADS_NCHAR && t != ADS_NVARCHAR) continue;
      const bool wide = t == ADS_NCHAR || t == ADS_NVARCHAR;
      // The engine writes a terminating NUL (two bytes for UTF-16) after the value: the bytes
      // after the field are saved and put back, also when the call fails. They lie inside
      // the record buffer (musRecBufSize bytes) even for a field that ends the record, as
      // the last field of a DBF record does, whatever length of record was asked for.
      const uint32_t end = def->Offset() + def->Length();
      if (end > musRecordSize || end > length) continue;
      assert(end + (wide ? 2u : 1u) <= musRecBufSize);
      if (IsFieldEmpty(record + def->Offset(), def->Length(), *def, record, musAceTableType)) continue;
      char* field = buffer + def->Offset();
      char saved[2] = {buffer[end], wide ? buffer[end + 1] : char(0)};
      UNSIGNED32 rc = 0;
      if (wide) {
        UNSIGNED32 chars = (def->Length() + 2) / 2;
        rc = AdsGetFieldW(mlHandle, FieldArg(def->FieldNumber()), reinterpret_cast<WCHAR*>(field), &chars, 0);
      } else {
        UNSIGNED32 bytes = def->Length() + 1;
        rc = AdsGetField(mlHandle, FieldArg(def->FieldNumber()), reinterpret_cast<UNSIGNED8*>(field), &bytes, 0);
      }
      buffer[end] = saved[0];
      if (wide) buffer[end + 1] = saved[1];
      CheckAceResult(this, rc);
    }
  }

  if (calc) ComputeCalcFields(buffer);
}
