// TAdsDataSet: the first bodies of the index members the core calls while opening, closing and
// following its connection: the six key buffers, activating the natural order, a named order or
// the dictionary's default order, and reading the default index. Orders found for
// IndexFieldNames, scopes and master ranges are the index work's and refuse until it lands.
#include <cstring>

#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/text.h"

size_t TAdsDataSet::KeyBufferBlockSize() const {
  UNSIGNED16 fields = 0;
  CheckAceResult(const_cast<TAdsDataSet*>(this), AdsGetNumFields(mlHandle, &fields));
  return kKeyBufferHeaderSize + musRecordSize + 2u * fields;
}

void TAdsDataSet::AllocateKeyBuffers() {
  FreeKeyBuffers();
  const size_t size = KeyBufferBlockSize();
  for (int i = 0; i < 6; ++i) {
    char* block = new char[size]();
    reinterpret_cast<TAdsKeyBuffer*>(block)->BufferSize = static_cast<uint32_t>(size);
    mapKeyBuffers.push_back(block);
  }
}

void TAdsDataSet::FreeKeyBuffers() {
  for (char* block : mapKeyBuffers) delete[] block;
  mapKeyBuffers.clear();
  mpstKeyBuffer = nullptr;
}

void TAdsDataSet::ApplyActiveIndex() {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  switch (meActiveIndexType) {
    case ndxNone:
      mlActiveHandle = mlHandle;
      break;
    case ndxIndexName:
    case ndxDefault: {
      QByteArray name = ToAnsi(meActiveIndexType == ndxIndexName ? mstrIndexName : mstrDefaultIndex);
      ADSHANDLE order = 0;
      CheckAceResult(this, AdsGetIndexHandle(mlHandle, reinterpret_cast<UNSIGNED8*>(name.data()), &order));
      mlActiveHandle = order;
      break;
    }
    case ndxIndexField:
      NotBuilt(QStringLiteral("Choosing an index order by IndexFieldNames"));
  }
  const int count = BufferCount();
  SetBufListSize(0);
  ComputeRecordLayout();
  try {
    SetBufListSize(count + 1);
  } catch (const Exception&) {
    FState = dsInactive;
    CloseEngineCursor();
    throw;
  }
}

void TAdsDataSet::ActivateScope() { NotBuilt(QStringLiteral("Scopes")); }

void TAdsDataSet::ApplyMasterRange() { NotBuilt(QStringLiteral("Master-detail ranges")); }

void TAdsDataSet::CancelRange() {
  // No range can have been applied before ranges are built.
}

void TAdsDataSet::UpdateDefaultIndex() {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsDictionaryConn()) return;
  QByteArray table = ToAnsi(mstrTableName);
  UNSIGNED8 buffer[201] = {};
  UNSIGNED16 length = 200;
  const UNSIGNED32 rc = AdsDDGetTableProperty(mpoAdsConnection->ConnectionHandle(),
                                              reinterpret_cast<UNSIGNED8*>(table.data()), 213, buffer, &length);
  if (rc == 0) {
    mstrDefaultIndex = FromAnsi(reinterpret_cast<const char*>(buffer));
    if (mstrIndexName == QStringLiteral("ADS_DEFAULT") || (mstrIndexName.isEmpty() && !ComponentStateHas(csLoading))) {
      meActiveIndexType = ndxDefault;
      mstrIndexName = QStringLiteral("ADS_DEFAULT");
    }
  } else if (rc == 5138 && mstrIndexName == QStringLiteral("ADS_DEFAULT")) {
    // The dictionary gives no default index (any more): back to natural order.
    mstrIndexName.clear();
    mstrIndexFieldNames.clear();
    meActiveIndexType = ndxNone;
    if (mlHandle != kNoHandle) {
      ApplyActiveIndex();
      if (Active()) Resync(TResyncMode());
    }
  }
}
