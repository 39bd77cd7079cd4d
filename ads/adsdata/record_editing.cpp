// TAdsDataSet: the editing hooks of the framework. Field values are written into the active
// record buffer in the engine's layout (and blob contents into its blob caches); nothing
// reaches the engine before the post, which sends the fields assigned since the edit or insert
// began, then the changed blobs, then writes the record. Record locks: a pessimistic edit
// locks the record when it begins; an optimistic one checks the record's checksum under a
// short lock at the post.
//
// A post that fails leaves the dataset in its edit state with the values the caller gave, so
// that the caller can correct and post again: a failed edit drops the engine's half-applied
// changes (they are sent again in full by the next post), a failed insert keeps the record the
// engine reserved for it, so that the next post completes it instead of appending another.
#include <cstring>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

using adsdata::FieldArg;
using adsdata::ReadU16;
using adsdata::ReadU32;

namespace {
constexpr uint32_t kAeStaticView = 5064;
constexpr uint32_t kAeRecordChanged = 5186;
constexpr uint32_t kAePermissionDenied = 5054;
constexpr uint32_t kAeNoUpdatePending = 5085;
constexpr uint32_t kOptUpdateGranted = 32;
constexpr uint32_t kOptInsertGranted = 64;
constexpr uint8_t kColumnUpdate = 2;
constexpr uint8_t kColumnInsert = 4;
constexpr uint16_t kNoLength = 0xFFFF;
// Option of the engine's access to FoxPro system fields: read the field's null flag.
constexpr UNSIGNED32 kVfpIsNull = 1;
constexpr UNSIGNED32 kVfpIsFullLength = 4;

bool AllBytesBlank(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != ' ') return false;
  return true;
}

bool AllCharsBlank(const uint8_t* p, uint32_t chars) {
  for (uint32_t i = 0; i < chars; ++i)
    if (adsdata::ReadU16(p + 2 * i) != u' ') return false;
  return true;
}
}  // namespace

void TAdsDataSet::RaisePermissionError(const QString& text) {
  QByteArray details = ToAnsi(text);
  CheckAceResult(this, AdsSetLastError(kAePermissionDenied, reinterpret_cast<UNSIGNED8*>(details.data())));
  // AdsSetLastError answers the code it is given, so the check above has raised.
  RaiseComponentError(text);
}

void TAdsDataSet::StoreFieldData(TField* field, const void* value) {
  const TDataSetState s = State();
  if (!((s >= dsEdit && s <= dsNewValue) || s == dsInternalCalc))
    RaiseComponentError(QStringLiteral("Dataset not in edit mode"));
  if (s == dsSetKey && (field->FieldNo() < 0 || (IndexFieldCount() > 0 && !IsIndexField(field))))
    DatabaseErrorFmt(dbmsg::kNotIndexField, field->DisplayName(), this);
  // dsInternalCalc selects no buffer, so there is nowhere to store a value then.
  TRecordBuffer buffer = ActiveRecordBuffer();
  if (buffer == nullptr) RaiseComponentError(QStringLiteral("Dataset not in edit mode"));

  if (field->FieldNo() < 1) {
    // Calculated and lookup fields live in the calculated-field area: a has-value byte, then
    // the value form.
    char* slot = buffer + musRecordSize + field->Offset();
    slot[0] = value != nullptr ? 1 : 0;
    if (value != nullptr) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
  } else {
    if (s == dsCalcFields) RaiseComponentError(QStringLiteral("Dataset not in edit mode"));
    if (field->ReadOnly() && s != dsSetKey && s != dsFilter)
      DatabaseErrorFmt(dbmsg::kFieldReadOnly, field->DisplayName(), this);
    if (s == dsEdit || s == dsInsert) field->Validate(value);
    const uint16_t fieldNo = static_cast<uint16_t>(field->FieldNo());
    if (field->FieldKind() != fkInternalCalc) {
      TACEFieldDef& def = *FACEFieldDefs->Items(fieldNo - 1);
      if (s == dsEdit && (def.Permissions() & kColumnUpdate) == 0)
        RaisePermissionError(QStringLiteral("Update permission not granted on this field: ") + field->FieldName() +
                             QLatin1Char('.'));
      if (s == dsInsert && (def.Permissions() & kColumnInsert) == 0)
        RaisePermissionError(QStringLiteral("Insert permission not granted on this field: ") + field->FieldName() +
                             QLatin1Char('.'));
      WriteFieldValue(fieldNo, field->DataType(), value, buffer);
      // Clearing a blob empties its content too, which the post then writes.
      if (value == nullptr && (s == dsEdit || s == dsInsert) && adsdata::IsBlobEngineType(def.FieldType()) &&
          field->IsBlob()) {
        if (TAdsBlobCache* cache = BlobCacheOf(buffer, field->Offset())) {
          try {
            cache->RefreshCache(mlHandle, fieldNo, ReadU32(BookmarkOf(buffer)), false);
          } catch (...) {
            CursorPosChanged();
            throw;
          }
          CursorPosChanged();
          cache->Truncate();
        }
      }
      def.SetModified(true);
    }
    if (s == dsSetKey) {
      // The entered length of a key value: characters of text values, 1 for the others.
      uint16_t entered = 1;
      if (field->DataType() == ftString)
        entered = value == nullptr ? 0 : static_cast<uint16_t>(std::strlen(static_cast<const char*>(value)));
      else if (field->DataType() == ftWideString)
        entered = value == nullptr
                      ? 0
                      : static_cast<uint16_t>(std::char_traits<char16_t>::length(static_cast<const char16_t*>(value)));
      KeyFieldLens(mpstKeyBuffer)[fieldNo - 1] = entered;
    }
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

void TAdsDataSet::BeginRecordEdit() {
  if ((mulTableOptions & kOptUpdateGranted) == 0)
    RaisePermissionError(QStringLiteral("Update permission not granted on this table."));
  TRecordBuffer active = ActiveBuffer();
  const uint32_t record = ReadU32(BookmarkOf(active));
  const bool pessimistic = !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmPessimistic;
  if (pessimistic) {
    const UNSIGNED32 rc = AdsLockRecord(mlHandle, record);
    if (rc == kAeStaticView)
      throw EADSDatabaseError(this, kAeStaticView,
                              QStringLiteral("This table is based on a static VIEW. Static VIEWs can not be updated."));
    CheckAceResult(this, rc);
  }
  try {
    ReadRecordInto(active, musRecordSize, true);
    if (!mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmOptimistic) {
      UNSIGNED32 crc = 0;
      CheckAceResult(this, AdsGetRecordCRC(mlHandle, &crc, 0));
      mulSavedCRC = crc;
    }
  } catch (...) {
    // The edit does not begin, so the lock it took is not kept.
    if (pessimistic) AdsUnlockRecord(mlHandle, record);
    throw;
  }
  if (FOldRecordBuffer == nullptr) FOldRecordBuffer = new char[static_cast<size_t>(musRecordSize) + 1]();
  std::memcpy(FOldRecordBuffer, active, musRecordSize);
  for (int i = 0; i < FACEFieldDefs->Count(); ++i) FACEFieldDefs->Items(i)->SetModified(false);
}

void TAdsDataSet::BeginRecordInsert() {
  TRecordBuffer active = ActiveBuffer();
  if (active != nullptr && FBookmarkSize >= 4) std::memset(BookmarkOf(active), 0, 4);
  FreeOldRecordBuffer();
}

void TAdsDataSet::FireOnNewRecord() {
  if (State() == dsInsert && (mulTableOptions & kOptInsertGranted) == 0)
    RaisePermissionError(QStringLiteral("Insert permission not granted on this table."));
  if (mpoMasterLink != nullptr && mpoMasterLink->Active()) {
    const std::vector<TField*>& masters = mpoMasterLink->Fields();
    for (size_t i = 0; i < masters.size(); ++i) SetIndexFields(static_cast<int>(i), masters[i]);
  }
  TDataSet::FireOnNewRecord();
}

void TAdsDataSet::SendModifiedFields(TRecordBuffer buffer) {
  const auto* record = reinterpret_cast<const uint8_t*>(buffer);
  const bool foxPro = musAceTableType == kAceTypeVFP;
  const bool native = musAceTableType == kAceTypeADT;
  const bool preserve = mpoAdsTableOptions->AdsPreserveSpaces();
  for (int i = FACEFieldDefs->Count() - 1; i >= 0; --i) {
    const TACEFieldDef& def = *FACEFieldDefs->Items(i);
    if (!def.Modified()) continue;
    UNSIGNED8* name = FieldArg(def.FieldNumber());
    const uint16_t t = def.FieldType();
    auto* raw = const_cast<uint8_t*>(record + def.Offset());
    const uint32_t length = def.Length();
    if (foxPro) {
      UNSIGNED16 isNull = 0;
      CheckAceResult(this, AdsAccessVfpSystemField(mlHandle, name, buffer, kVfpIsNull, &isNull));
      if (isNull != 0) {
        UNSIGNED16 nullable = 0;
        CheckAceResult(this, AdsIsNullable(mlHandle, name, &nullable));
        CheckAceResult(this, (nullable == 1 && !preserve) ? AdsSetNull(mlHandle, name) : AdsSetEmpty(mlHandle, name));
        continue;
      }
    }
    // Blobs are written from their caches below. The autoincrement, row version and
    // modification time values belong to the engine, which refuses them from a caller: a field
    // of those types is marked assigned by ClearFields or a default expression, never by data
    // the post could store.
    if (adsdata::IsBlobEngineType(t) || t == ADS_AUTOINC || t == ADS_ROWVERSION || t == ADS_MODTIME) continue;

    uint32_t sent = length;
    if (t == ADS_VARCHAR_FOX || t == ADS_VARBINARY_FOX) {
      if (native) {
        const uint16_t used = ReadU16(raw + length);
        // A cleared variable field has no length: it goes as an empty value.
        if (used == kNoLength) {
          CheckAceResult(this, AdsSetEmpty(mlHandle, name));
          continue;
        }
        sent = std::min<uint32_t>(used, length);
      } else if (foxPro) {
        UNSIGNED16 full = 0;
        CheckAceResult(this, AdsAccessVfpSystemField(mlHandle, name, buffer, kVfpIsFullLength, &full));
        sent = (full == 1 || length == 0) ? length : std::min<uint32_t>(raw[length - 1], length);
      }
    }
    switch (t) {
      case ADS_STRING:
      case ADS_CISTRING:
      case ADS_VARCHAR_FOX:
        if (!preserve && AllBytesBlank(raw, sent))
          CheckAceResult(this, AdsSetEmpty(mlHandle, name));
        else
          CheckAceResult(this, AdsSetField(mlHandle, name, raw, sent));
        break;
      case ADS_NCHAR:
      case ADS_NVARCHAR: {
        uint32_t chars = length / 2;
        if (t == ADS_NVARCHAR) {
          const uint16_t count = ReadU16(raw + length);
          if (count == kNoLength) {
            CheckAceResult(this, AdsSetEmpty(mlHandle, name));
            break;
          }
          chars = std::min<uint32_t>(count, length / 2);
        }
        if (!preserve && AllCharsBlank(raw, chars))
          CheckAceResult(this, AdsSetEmpty(mlHandle, name));
        else
          CheckAceResult(this, AdsSetFieldW(mlHandle, name, reinterpret_cast<WCHAR*>(raw), chars));
        break;
      }
      default:
        CheckAceResult(this, AdsSetFieldRaw(mlHandle, name, raw, sent));
        break;
    }
  }
}

void TAdsDataSet::PostRecord() {
  TDataSet::PostRecord();
  const TDataSetState s = State();
  if (s != dsEdit && s != dsInsert) return;
  TRecordBuffer buffer = ActiveBuffer();
  uint8_t* bookmark = BookmarkOf(buffer);
  bool lockedForCheck = false;
  std::vector<TAdsBlobCache*> flushed;
  try {
    if (s == dsEdit) {
      CheckAceResult(this, AdsGotoRecord(mlHandle, ReadU32(bookmark)));
      if (!mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmOptimistic) {
        CheckAceResult(this, AdsLockRecord(mlHandle, 0));
        lockedForCheck = true;
        UNSIGNED32 crc = 0;
        CheckAceResult(this, AdsGetRecordCRC(mlHandle, &crc, 0));
        if (crc != mulSavedCRC)
          throw EADSDatabaseError(this, kAeRecordChanged, QStringLiteral("Record was changed by another user."));
      }
    } else if (ReadBookmarkFlag(buffer) != BookmarkFlag::Inserted) {
      CheckAceResult(this, AdsAppendRecord(mlHandle));
      // From here on the engine holds the record: a post repeated after a failure completes
      // it instead of appending another one.
      WriteBookmarkFlag(buffer, BookmarkFlag::Inserted);
      UNSIGNED32 number = 0;
      CheckAceResult(this, AdsGetRecordNum(mlHandle, ADS_IGNOREFILTERS, &number));
      adsdata::Write(bookmark, number);
      for (int i = 0; i < FBlobFieldCount; ++i)
        if (TAdsBlobCache* cache = BlobCacheOf(buffer, i); cache != nullptr && cache->IsCacheModified())
          cache->AssignRecord(number);
    } else {
      // A repeated post: the engine must be on the record it reserved, which a blob read
      // since then may have moved it away from.
      UNSIGNED32 number = 0;
      CheckAceResult(this, AdsGetRecordNum(mlHandle, ADS_IGNOREFILTERS, &number));
      if (number != ReadU32(bookmark)) CheckAceResult(this, AdsGotoRecord(mlHandle, ReadU32(bookmark)));
    }

    SendModifiedFields(buffer);
    for (TField* field : Fields()) {
      if (!field->IsBlob() || field->FieldNo() < 1 || field->FieldNo() > FACEFieldDefs->Count()) continue;
      TAdsBlobCache* cache = BlobCacheOf(buffer, field->Offset());
      if (cache == nullptr || !cache->IsCacheModified()) continue;
      const TACEFieldDef& def = *FACEFieldDefs->Items(field->FieldNo() - 1);
      if (def.Offset() + 4 <= musRecordSize)
        adsdata::Write(buffer + def.Offset(), cache->Size() > 0 ? 0xFFFFFFFFu : 0u);
      cache->Flush();
      flushed.push_back(cache);
    }
    CheckAceResult(this, AdsWriteRecord(mlHandle));
    if (s == dsEdit && !mbExclusive) CheckAceResult(this, AdsUnlockRecord(mlHandle, ReadU32(bookmark)));
  } catch (...) {
    // The caller may correct the values and post again: the blobs sent are sent again then.
    for (TAdsBlobCache* cache : flushed) cache->SetCacheModified(true);
    if (s == dsEdit) AdsCancelUpdate(mlHandle);  // result ignored: there may be nothing to drop
    if (lockedForCheck) AdsUnlockRecord(mlHandle, ReadU32(bookmark));  // result ignored
    throw;
  }
}

void TAdsDataSet::InternalAddRecord(TRecordBuffer buffer, bool /*append*/) {
  if (buffer != ActiveBuffer()) RaiseComponentError(QStringLiteral("Unexpected error in InternalAddRecord."));
  PostRecord();
}

void TAdsDataSet::CancelRecordEdit() {
  const TDataSetState s = State();
  const UNSIGNED32 rc = AdsCancelUpdate(mlHandle);
  if (rc != 0 && rc != adsdata::kAeVisibilityFlag && rc != kAeNoUpdatePending) CheckAceResult(this, rc);
  TRecordBuffer active = ActiveBuffer();
  if (s == dsInsert) {
    if (Eof()) {
      MoveToLast();
      return;
    }
    TRecordBuffer next = BufferAt(FActiveRecord + 1);
    if (next != nullptr) CheckAceResult(this, AdsGotoBookmark(mlHandle, ReadU32(BookmarkOf(next))));
  }
  FetchVisibleRecord(active, musRecordSize, FetchMode::Current);
  if (s == dsEdit && !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmPessimistic)
    CheckAceResult(this, AdsUnlockRecord(mlHandle, ReadU32(BookmarkOf(active))));
}

void TAdsDataSet::RemoveCurrentRecord() {
  try {
    CheckAceResult(this, AdsDeleteRecord(mlHandle));
    CheckAceResult(this, AdsWriteRecord(mlHandle));
  } catch (...) {
    AdsCancelUpdate(mlHandle);  // result ignored: the failure being raised is the one to report
    throw;
  }
  UNSIGNED16 showDeleted = 0;
  CheckAceResult(this, AdsGetDeleted(&showDeleted));
  if (showDeleted == 0) CheckAceResult(this, AdsSkip(mlActiveHandle, 1));
}

void TAdsDataSet::FreeOldRecordBuffer() {
  delete[] FOldRecordBuffer;
  FOldRecordBuffer = nullptr;
}
