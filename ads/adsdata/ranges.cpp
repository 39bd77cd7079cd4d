// TAdsDataSet: ranges, scopes, the master/detail range and GotoCurrent. Ranges and scopes are
// both engine scopes on the active order and exclude each other: a range is two key buffers
// turned into raw keys (slots 1 and 2 prepared, 3 and 4 applied), a scope is two texts handed
// to the engine as UTF-16 keys.
#include <cstring>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {
constexpr int kStartSlot = 1;
constexpr int kEndSlot = 2;
constexpr int kAppliedStartSlot = 3;
constexpr int kAppliedEndSlot = 4;
constexpr UNSIGNED16 kScopeTop = 1;
constexpr UNSIGNED16 kScopeBottom = 2;
constexpr UNSIGNED16 kScopeRawKey = 1;
constexpr UNSIGNED16 kScopeWideText = 8;
constexpr int kMaxScopeText = 4082;

TAdsKeyBuffer* Header(char* buffer) { return reinterpret_cast<TAdsKeyBuffer*>(buffer); }

// The two blocks hold the same key: fixed fields and record image, byte for byte (the entered
// lengths are not compared).
bool SameKey(const char* a, const char* b, size_t recordSize) {
  return std::memcmp(a, b, kKeyBufferHeaderSize + recordSize) == 0;
}
}  // namespace

void TAdsDataSet::SetRangeStart() { EnterKeyState(kStartSlot, true); }
void TAdsDataSet::SetRangeEnd() { EnterKeyState(kEndSlot, true); }
void TAdsDataSet::EditRangeStart() { EnterKeyState(kStartSlot, false); }
void TAdsDataSet::EditRangeEnd() { EnterKeyState(kEndSlot, false); }

void TAdsDataSet::ApplyRange() {
  CheckBrowseMode();
  if (PushRange()) First();
}

void TAdsDataSet::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (DropRange()) Resync(TResyncMode());
}

void TAdsDataSet::SetRange(const QVariantList& aStartValues, const QVariantList& aEndValues) {
  CheckBrowseMode();
  AssignKeyValues(kStartSlot, aStartValues);
  AssignKeyValues(kEndSlot, aEndValues);
  ApplyRange();
}

bool TAdsDataSet::PushRange() {
  if (mbScoped) RaiseComponentError(QStringLiteral("Cannot set range on table when there is an active scope."));
  if (SameKey(KeyBuffer(kStartSlot), KeyBuffer(kAppliedStartSlot), musRecordSize) &&
      SameKey(KeyBuffer(kEndSlot), KeyBuffer(kAppliedEndSlot), musRecordSize))
    return false;
  UNSIGNED16 keyLength = 0;
  CheckAceResult(this, ::AdsGetKeyLength(mlActiveHandle, &keyLength));
  struct Bound {
    int prepared, applied;
    UNSIGNED16 scope;
    SIGNED16 step;
  };
  for (const Bound& b : {Bound{kStartSlot, kAppliedStartSlot, kScopeTop, 1},
                         Bound{kEndSlot, kAppliedEndSlot, kScopeBottom, -1}}) {
    char* prepared = KeyBuffer(b.prepared);
    if (!Header(prepared)->Modified) continue;
    std::vector<uint8_t> key(4083);
    UNSIGNED16 length = static_cast<UNSIGNED16>(key.size());
    BuildSeekKey(prepared, false, key.data(), length);
    if (Header(prepared)->Exclusive && musOpenTableType == kAceTypeADT) {
      UNSIGNED16 full = 0;
      CheckAceResult(this, ::AdsGetKeyLength(mlActiveHandle, &full));
      length = full;
      CheckAceResult(this, ::AdsStepIndexKey(mlActiveHandle, key.data(), length, b.step));
    }
    CheckAceResult(this, ::AdsSetScope(mlActiveHandle, b.scope, key.data(), length, kScopeRawKey));
    std::memcpy(KeyBuffer(b.applied), prepared, Header(prepared)->BufferSize);
  }
  ChangeState(dsBrowse);
  return true;
}

bool TAdsDataSet::DropRange() {
  if (mbScoped) return true;
  if (mapKeyBuffers.empty()) return false;
  if (!Header(KeyBuffer(kAppliedStartSlot))->Modified && !Header(KeyBuffer(kAppliedEndSlot))->Modified) return false;
  CheckAceResult(this, ::AdsClearAllScopes(mlHandle));
  UNSIGNED16 eof = 0, bof = 0;
  CheckAceResult(this, ::AdsAtEOF(mlHandle, &eof));
  CheckAceResult(this, ::AdsAtBOF(mlHandle, &bof));
  if (eof != 0 && bof != 0) CheckAceResult(this, ::AdsGotoTop(mlActiveHandle));
  InitKeyBuffer(KeyBuffer(kAppliedStartSlot));
  InitKeyBuffer(KeyBuffer(kAppliedEndSlot));
  return true;
}

void TAdsDataSet::SetMasterFields(const QString& value) {
  mstrMasterField = value;
  mpoMasterLink->SetFieldNames(value);
}

void TAdsDataSet::SetMasterSource(TDataSource* value) {
  if (value != nullptr && IsLinkedTo(value)) RaiseComponentError(QStringLiteral("Circular Data Link"));
  mpoMasterLink->SetDataSource(value);
}

void TAdsDataSet::ApplyMasterRange() {
  CheckBrowseMode();
  // A master without fields to follow (no MasterFields) sets no range.
  const std::vector<TField*>& masters = mpoMasterLink->Fields();
  if (masters.empty()) return;
  const TDataSetState previous = EnterTempState(dsSetKey);
  try {
    char* start = KeyBuffer(kStartSlot);
    InitKeyBuffer(start);
    Header(start)->Modified = true;
    mpstKeyBuffer = start;
    for (size_t i = 0; i < masters.size(); ++i) SetIndexFields(static_cast<int>(i), masters[i]);
    Header(start)->FieldCount = static_cast<int32_t>(masters.size());
  } catch (...) {
    LeaveTempState(previous);
    throw;
  }
  LeaveTempState(previous);
  std::memcpy(KeyBuffer(kEndSlot), KeyBuffer(kStartSlot), Header(KeyBuffer(kStartSlot))->BufferSize);
  ApplyRange();
}

// ---- scopes ---------------------------------------------------------------------------------

void TAdsDataSet::SetScopeBegin(const QString& value) {
  if (value.size() > kMaxScopeText)
    RaiseComponentError(QStringLiteral("Scope text length exceeded ") + QString::number(kMaxScopeText));
  mstrScopeStart = value;
}

void TAdsDataSet::SetScopeEnd(const QString& value) {
  if (value.size() > kMaxScopeText)
    RaiseComponentError(QStringLiteral("Scope text length exceeded ") + QString::number(kMaxScopeText));
  mstrScopeEnd = value;
}

void TAdsDataSet::ActivateScope() {
  if (mlActiveHandle == mlHandle)
    RaiseComponentError(QStringLiteral("Cannot activate scope when there is no active index."));
  for (UNSIGNED16 scope : {kScopeTop, kScopeBottom}) {
    std::vector<uint8_t> buffer(4082);
    UNSIGNED16 length = static_cast<UNSIGNED16>(buffer.size());
    if (::AdsGetScope(mlActiveHandle, scope, buffer.data(), &length) == 0)
      RaiseComponentError(QStringLiteral("Cannot activate scope when there is an active range."));
  }
  for (const auto& [scope, text] : {std::pair{kScopeTop, mstrScopeStart}, std::pair{kScopeBottom, mstrScopeEnd}}) {
    if (text.isEmpty()) continue;
    std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    CheckAceResult(this, ::AdsSetScope(mlActiveHandle, scope, reinterpret_cast<UNSIGNED8*>(wide.data()),
                                       static_cast<UNSIGNED16>(2 * wide.size()), kScopeWideText));
  }
}

void TAdsDataSet::DeactivateScope() {
  if (mlActiveHandle == mlHandle) return;
  for (UNSIGNED16 scope : {kScopeTop, kScopeBottom}) {
    const UNSIGNED32 rc = ::AdsClearScope(mlActiveHandle, scope);
    if (rc != adsdata::kAeNoScope) CheckAceResult(this, rc);
  }
}

void TAdsDataSet::SetScoped(bool value) {
  if (value == mbScoped) return;
  if (Active()) {
    UNSIGNED32 remembered = 0;
    if (TRecordBuffer active = ActiveRecordBuffer(); active != nullptr)
      remembered = adsdata::ReadU32(reinterpret_cast<const uint8_t*>(BookmarkOf(active)));
    if (value) {
      ActivateScope();
      UNSIGNED16 visible = 0;
      const UNSIGNED32 rc = ::AdsIsRecordVisible(mlActiveHandle, &visible);
      if (rc == adsdata::kAeVisibilityFlag)
        visible = 0;
      else
        CheckAceResult(this, rc);
      if (visible != 0)
        Resync(TResyncMode());
      else
        First();
    } else {
      DeactivateScope();
      if (Bof() && Eof()) {
        First();
      } else {
        const UNSIGNED32 rc = ::AdsGotoRecord(mlHandle, remembered);
        if (rc == adsdata::kAeNoCurrentRecord) Next();
        // Any other failure leaves the engine where the scope left it; the resync shows that.
        CursorPosChanged();
        Resync(TResyncMode());
      }
    }
  }
  mbScoped = value;
}

// ---- GotoCurrent ----------------------------------------------------------------------------

namespace {
QString DatabaseIdentity(const TAdsDataSet& d) {
  if (TAdsConnection* c = d.AdsConnection())
    return c->ConnectPath().isEmpty() ? c->AliasName() : c->ConnectPath();
  return d.DatabaseName();
}
}  // namespace

void TAdsDataSet::GotoCurrent(TAdsDataSet* poTable) {
  CheckBrowseMode();
  poTable->CheckBrowseMode();
  if (DatabaseIdentity(*this).compare(DatabaseIdentity(*poTable), Qt::CaseInsensitive) != 0 ||
      TableName().compare(poTable->TableName(), Qt::CaseInsensitive) != 0)
    DatabaseError(dbmsg::kTableMismatch, this);
  poTable->UpdateCursorPos();
  UNSIGNED32 record = 0;
  CheckAceResult(this, ::AdsGetRecordNum(poTable->mlHandle, 2, &record));
  const UNSIGNED32 rc = ::AdsGotoRecord(mlHandle, record);
  if (rc == adsdata::kAeNoCurrentRecord) {
    Last();
  } else {
    CheckAceResult(this, rc);
  }
  FireBeforeScroll();
  Resync(TResyncMode{rmExact, rmCenter});
  FireAfterScroll();
}
