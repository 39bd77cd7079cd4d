// TAdsDataSet: operations on the whole table — locking it, emptying, deleting and packing it,
// flushing the engine's buffers — and marking a blob field as binary.
#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/text.h"

namespace {
constexpr uint32_t kAeTableNotLocked = 5087;
}  // namespace

void TAdsDataSet::LockTable() {
  if (!Active() || mbExclusive) return;
  CheckAceResult(this, AdsLockTable(mlHandle));
}

void TAdsDataSet::UnlockTable() {
  if (!Active() || mbExclusive) return;
  const UNSIGNED32 rc = AdsUnlockTable(mlHandle);
  if (rc != kAeTableNotLocked) CheckAceResult(this, rc);
}

void TAdsDataSet::EmptyTable() {
  if (Active()) {
    CheckBrowseMode();
    CheckAceResult(this, AdsZapTable(mlHandle));
    ResetBufferList();
    DataEvent(deDataSetChange);
    return;
  }
  // A closed dataset empties the table through a handle of its own, closed again afterwards.
  withWorkHandle([this](uint32_t handle) { CheckAceResult(this, AdsZapTable(handle)); });
}

void TAdsDataSet::DeleteTable() {
  RequireInactive();
  const uint32_t handle = AcquireEngineHandle();
  try {
    // A deleted table's handle is gone with it.
    CheckAceResult(this, AdsDeleteTable(handle));
  } catch (...) {
    AdsCloseTable(handle);  // result ignored: the deletion's failure is the one to report
    throw;
  }
}

void TAdsDataSet::PackTable() {
  if (!Active()) return;
  CheckAceResult(this, AdsPackTable(mlHandle));
  Resync({});
}

void TAdsDataSet::FlushBuffers() {
  CheckBrowseMode();
  // The engine writes what it can; its answer changes nothing for the caller.
  AdsFlushFileBuffers(mlHandle);
}

void TAdsDataSet::ADSSetFieldToBinary(const QString& strFieldName) {
  if (!Active()) RaiseComponentError(QStringLiteral("Table must be Active."));
  TFieldDef* def = nullptr;
  for (int i = 0; i < FieldDefs().Count() && def == nullptr; ++i)
    if (SameTextAZ(FieldDefs()[i]->Name(), strFieldName)) def = FieldDefs()[i];
  if (def == nullptr) RaiseComponentError(QStringLiteral("Invalid field name for the given table"));
  if (def->DataType() != ftBlob && def->DataType() != ftMemo)
    RaiseComponentError(QStringLiteral("Invalid field type to begin with to change to binary"));
  strBinaryFieldName = strFieldName;
  def->SetDataType(ftBlob);
}
