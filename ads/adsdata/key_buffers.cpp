// TAdsDataSet: the six key buffers and key search. A key buffer holds a record image in the
// engine layout with the key values entered in state dsSetKey, and one entered length per
// table field (0xFFFF: not given). Slot 0 is the lookup key, 1 and 2 the range bounds being
// prepared, 3 and 4 the bounds applied in the engine, 5 the copy that Cancel restores.
// BuildSeekKey turns a buffer into the engine's raw key of the active order by setting the
// segment fields on the order handle.
#include <cstring>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {
constexpr int kLookupSlot = 0;
constexpr int kSavedSlot = 5;
constexpr uint16_t kNotGiven = 0xFFFF;
constexpr uint16_t kSeekRawKey = 1;
constexpr uint16_t kSeekSoft = 1;
constexpr uint16_t kSeekHard = 2;

TAdsKeyBuffer* Header(char* buffer) { return reinterpret_cast<TAdsKeyBuffer*>(buffer); }
}  // namespace

size_t TAdsDataSet::KeyBufferBlockSize() const {
  UNSIGNED16 fields = 0;
  CheckAceResult(const_cast<TAdsDataSet*>(this), ::AdsGetNumFields(mlHandle, &fields));
  return kKeyBufferHeaderSize + musRecordSize + 2u * fields;
}

void TAdsDataSet::AllocateKeyBuffers() {
  FreeKeyBuffers();
  const size_t size = KeyBufferBlockSize();
  for (int i = 0; i < 6; ++i) {
    char* block = new char[size]();
    Header(block)->BufferSize = static_cast<uint32_t>(size);
    mapKeyBuffers.push_back(block);
  }
}

void TAdsDataSet::FreeKeyBuffers() {
  for (char* block : mapKeyBuffers) delete[] block;
  mapKeyBuffers.clear();
  mpstKeyBuffer = nullptr;
}

uint16_t* TAdsDataSet::KeyFieldLens(char* buffer) const {
  return reinterpret_cast<uint16_t*>(buffer + kKeyBufferHeaderSize + musRecordSize);
}

void TAdsDataSet::InitKeyBuffer(char* buffer) {
  TAdsKeyBuffer* header = Header(buffer);
  header->Modified = false;
  header->Exclusive = false;
  header->FieldCount = 0;
  const size_t lensBytes = header->BufferSize - kKeyBufferHeaderSize - musRecordSize;
  std::memset(KeyFieldLens(buffer), 0xFF, lensBytes);
  CheckAceResult(this, ::AdsGetNullRecord(mlHandle, buffer + kKeyBufferHeaderSize, musRecordSize));
}

void TAdsDataSet::EnterKeyState(int slot, bool clear) {
  if (mlActiveHandle == mlHandle) RaiseComponentError(QStringLiteral("Index is not set."));
  CheckBrowseMode();
  char* buffer = KeyBuffer(slot);
  mpstKeyBuffer = buffer;
  std::memcpy(KeyBuffer(kSavedSlot), buffer, Header(buffer)->BufferSize);
  if (clear) {
    InitKeyBuffer(buffer);
    Header(buffer)->FieldCount = 0;
  }
  ChangeState(dsSetKey);
  Header(buffer)->Modified = true;
  SetModified(true);
  DataEvent(deDataSetChange);
}

void TAdsDataSet::SetKey() { EnterKeyState(kLookupSlot, true); }
void TAdsDataSet::EditKey() { EnterKeyState(kLookupSlot, false); }

bool TAdsDataSet::KeyExclusive() const {
  if (State() != dsSetKey || mpstKeyBuffer == nullptr) DatabaseError(dbmsg::kNotEditing, this);
  return Header(mpstKeyBuffer)->Exclusive;
}

void TAdsDataSet::SetKeyExclusive(bool value) {
  if (State() != dsSetKey || mpstKeyBuffer == nullptr) DatabaseError(dbmsg::kNotEditing, this);
  Header(mpstKeyBuffer)->Exclusive = value;
}

int16_t TAdsDataSet::KeyFieldCount() const {
  if (State() != dsSetKey || mpstKeyBuffer == nullptr) DatabaseError(dbmsg::kNotEditing, this);
  return static_cast<int16_t>(Header(mpstKeyBuffer)->FieldCount);
}

void TAdsDataSet::SetKeyFieldCount(int16_t value) {
  if (State() != dsSetKey || mpstKeyBuffer == nullptr) DatabaseError(dbmsg::kNotEditing, this);
  Header(mpstKeyBuffer)->FieldCount = value;
}

void TAdsDataSet::Post() {
  TDataSet::Post();
  if (State() != dsSetKey) return;
  DataEvent(deCheckBrowseMode);
  const bool modified = Modified();
  Header(mpstKeyBuffer)->Modified = modified;
  ChangeState(dsBrowse);
  DataEvent(deDataSetChange);
}

void TAdsDataSet::Cancel() {
  TDataSet::Cancel();
  if (State() != dsSetKey) return;
  DataEvent(deCheckBrowseMode);
  std::memcpy(mpstKeyBuffer, KeyBuffer(kSavedSlot), Header(KeyBuffer(kSavedSlot))->BufferSize);
  ChangeState(dsBrowse);
  DataEvent(deDataSetChange);
}

void TAdsDataSet::AssignKeyValues(int slot, const QVariantList& values) {
  mpoIndexDefs->Update();
  const QString fieldList = CurrentIndexFields();
  if (fieldList.isEmpty())
    RaiseComponentError(
        QStringLiteral("An index must be active to perform this operation. Set the IndexName property."));
  const QStringList fields = fieldList.split(QLatin1Char(';'));
  if (fields.size() < values.size()) RaiseComponentError(QStringLiteral("Too many values given for current index"));
  const TDataSetState previous = EnterTempState(dsSetKey);
  try {
    char* buffer = KeyBuffer(slot);
    InitKeyBuffer(buffer);
    mpstKeyBuffer = buffer;
    for (qsizetype i = values.size() - 1; i >= 0; --i) FieldByName(fields[i].trimmed())->SetAsVariant(values[i]);
    Header(buffer)->FieldCount = static_cast<int32_t>(values.size());
    Header(buffer)->Modified = Modified();
  } catch (...) {
    LeaveTempState(previous);
    throw;
  }
  LeaveTempState(previous);
}

void TAdsDataSet::BuildSeekKey(char* buffer, bool partial, uint8_t* key, uint16_t& length) {
  CheckAceResult(this, ::AdsInitRawKey(mlActiveHandle));
  const TAdsKeyBuffer* header = Header(buffer);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(buffer + kKeyBufferHeaderSize);
  const uint16_t* lens = KeyFieldLens(buffer);
  bool wide = false;
  for (UNSIGNED16 segment = 0;; ++segment) {
    UNSIGNED8 name[129] = {};
    UNSIGNED16 nameLength = sizeof name - 1;
    if (::AdsGetSegmentFieldname(mlActiveHandle, segment, name, &nameLength) != 0) break;
    const int i = FACEFieldDefs->IndexOf(FromAnsi(reinterpret_cast<const char*>(name)));
    if (i < 0) continue;  // a segment over an expression, not a field, has nothing to set
    const TACEFieldDef& def = *FACEFieldDefs->Items(i);
    const uint16_t entered = lens[def.FieldNumber() - 1];
    if (entered == kNotGiven) {
      if (!mpoAdsTableOptions->AdsAutoKeyFieldCount() && header->FieldCount == 0)
        CheckAceResult(this, ::AdsSetEmpty(mlActiveHandle, name));
      continue;
    }
    const uint16_t type = def.FieldType();
    uint32_t passed = def.Length();
    if (partial && (type == ADS_STRING || type == ADS_CISTRING || type == ADS_VARCHAR_FOX)) {
      passed = entered;
      if (entered == 0 && !mpoAdsTableOptions->AdsPreserveSpaces()) passed = def.Length();
    }
    auto* value = const_cast<uint8_t*>(data + def.Offset());
    if (type == ADS_STRING || type == ADS_CISTRING || type == ADS_VARCHAR_FOX) {
      CheckAceResult(this, ::AdsSetField(mlActiveHandle, name, value, passed));
    } else if (type == ADS_NCHAR || type == ADS_NVARCHAR) {
      wide = true;
      CheckAceResult(this, ::AdsSetFieldW(mlActiveHandle, name, reinterpret_cast<WCHAR*>(value), passed / 2));
    } else {
      CheckAceResult(this, ::AdsSetFieldRaw(mlActiveHandle, name, value, passed));
    }
  }
  if (!partial)
    CheckAceResult(this, ::AdsBuildRawKey100(mlActiveHandle, key, &length, 1));
  else if (wide)
    CheckAceResult(this, ::AdsBuildRawKey100(mlActiveHandle, key, &length, 4));
  else
    CheckAceResult(this, ::AdsBuildRawKey(mlActiveHandle, key, &length));
}

bool TAdsDataSet::GotoKey() {
  CheckBrowseMode();
  FireBeforeScroll();
  const bool wasEof = Eof();
  const bool wasBof = Bof();
  CursorPosChanged();
  UNSIGNED32 remembered = 0;
  if (TRecordBuffer active = ActiveBuffer(); active != nullptr && FRecordCount > 0)
    remembered = adsdata::ReadU32(reinterpret_cast<const uint8_t*>(BookmarkOf(active)));
  std::vector<uint8_t> key(4082);
  UNSIGNED16 length = static_cast<UNSIGNED16>(key.size());
  BuildSeekKey(KeyBuffer(kLookupSlot), false, key.data(), length);
  UNSIGNED16 found = 0;
  if (FOnFilterRecord && Filtered())
    found = FilteredSeek(key.data(), length, kSeekRawKey) ? 1 : 0;
  else
    CheckAceResult(this, ::AdsSeek(mlActiveHandle, key.data(), length, kSeekRawKey, kSeekHard, &found));
  FFound = found != 0;
  if (FFound) {
    Resync(TResyncMode{rmExact, rmCenter});
    FireAfterScroll();
    return true;
  }
  // Not found: back to where the dataset stood.
  if (wasEof) {
    Last();
  } else if (wasBof) {
    First();
  } else {
    const UNSIGNED32 rc = ::AdsGotoRecord(mlHandle, remembered);
    if (rc == adsdata::kAeNoCurrentRecord)
      Last();
    else {
      CheckAceResult(this, rc);
      Resync(TResyncMode{rmExact, rmCenter});
    }
  }
  return false;
}

void TAdsDataSet::GotoNearest() {
  CheckBrowseMode();
  FireBeforeScroll();
  CursorPosChanged();
  std::vector<uint8_t> key(4083);
  UNSIGNED16 length = static_cast<UNSIGNED16>(key.size());
  BuildSeekKey(KeyBuffer(kLookupSlot), true, key.data(), length);
  UNSIGNED16 found = 0;
  CheckAceResult(this, ::AdsSeek(mlActiveHandle, key.data(), length, kSeekRawKey, kSeekSoft, &found));
  FFound = found != 0;
  ChangeState(dsBrowse);
  Resync(TResyncMode{rmCenter});
  FireAfterScroll();
}

bool TAdsDataSet::FindKey(const QVariantList& KeyValues) {
  CheckBrowseMode();
  AssignKeyValues(kLookupSlot, KeyValues);
  return GotoKey();
}

void TAdsDataSet::FindNearest(const QVariantList& KeyValues) {
  CheckBrowseMode();
  AssignKeyValues(kLookupSlot, KeyValues);
  GotoNearest();
}
