// TAdsDataSet: choosing the active index order (IndexName, IndexFieldNames, the dictionary's
// default index), activating it with the record buffers rebuilt for its bookmarks, the index
// definitions read from the engine, and the questions about the active order's segments.
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {
constexpr uint32_t kAeNoDefaultIndex = 5138;
constexpr UNSIGNED16 kTableDefaultIndex = 213;
constexpr UNSIGNED16 kMaxOrders = 256;

QString Ansi(const UNSIGNED8* text) { return FromAnsi(reinterpret_cast<const char*>(text)); }
}  // namespace

void TAdsDataSet::withWorkHandle(const std::function<void(uint32_t handle)>& work) {
  const bool temporary = mlHandle == kNoHandle;
  const uint32_t handle = temporary ? AcquireEngineHandle() : mlHandle;
  try {
    work(handle);
  } catch (const Exception&) {
    if (temporary) ::AdsCloseTable(handle);  // the failure being raised is the one to report
    throw;
  }
  if (temporary) CheckAceResult(this, ::AdsCloseTable(handle));
}

void TAdsDataSet::SetIndexName(const QString& value) {
  if (Active()) CheckBrowseMode();
  const QString oldName = mstrIndexName;
  const QString oldFieldNames = mstrIndexFieldNames;
  const TAdsIndexTypes oldType = meActiveIndexType;
  try {
    mstrIndexName = value;
    mstrIndexFieldNames.clear();
    if (value.isEmpty())
      meActiveIndexType = ndxNone;
    else if (SameTextAZ(value, QStringLiteral("ADS_DEFAULT")))
      meActiveIndexType = ndxDefault;
    else
      meActiveIndexType = ndxIndexName;
    if (mlHandle != kNoHandle) {
      if (mbScoped)
        SetScoped(false);
      else
        DropRange();
      ApplyActiveIndex();
    }
  } catch (const Exception&) {
    mstrIndexName = oldName;
    mstrIndexFieldNames = oldFieldNames;
    meActiveIndexType = oldType;
    throw;
  }
  if (Active()) {
    if (mpoMasterLink != nullptr && mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) ApplyMasterRange();
    Resync(TResyncMode());
  }
}

void TAdsDataSet::SetIndexFieldNames(const QString& value) {
  if (Active()) CheckBrowseMode();
  if (mbScoped) SetScoped(false);
  const QString oldName = mstrIndexName;
  const QString oldFieldNames = mstrIndexFieldNames;
  const TAdsIndexTypes oldType = meActiveIndexType;
  mstrIndexFieldNames = value.trimmed();
  mstrIndexName.clear();
  meActiveIndexType = mstrIndexFieldNames.isEmpty() ? ndxNone : ndxIndexField;
  if (mlHandle != kNoHandle) {
    try {
      ApplyActiveIndex();
    } catch (const Exception&) {
      mstrIndexName = oldName;
      mstrIndexFieldNames = oldFieldNames;
      meActiveIndexType = oldType;
      throw;
    }
    if (Active()) Resync(TResyncMode());
  }
}

uint32_t TAdsDataSet::FindIndexForFields(const QString& fields) {
  mpoIndexDefs->SetUpdated(false);
  mpoIndexDefs->Update();
  TIndexDef* def = mpoIndexDefs->GetIndexForFields(fields, false);
  if (def == nullptr) return 0;
  QByteArray name = ToAnsi(def->Name());
  ADSHANDLE order = 0;
  CheckAceResult(this, ::AdsGetIndexHandle(mlHandle, reinterpret_cast<UNSIGNED8*>(name.data()), &order));
  return order;
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
      CheckAceResult(this, ::AdsGetIndexHandle(mlHandle, reinterpret_cast<UNSIGNED8*>(name.data()), &order));
      mlActiveHandle = order;
      break;
    }
    case ndxIndexField: {
      const uint32_t order = FindIndexForFields(mstrIndexFieldNames);
      if (order == 0) RaiseComponentError(QStringLiteral("Not a valid index field name:") + mstrIndexFieldNames);
      mlActiveHandle = order;
      break;
    }
  }
  // Bookmarks depend on the order: the ring is rebuilt with the new layout.
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

QString TAdsDataSet::CurrentIndexFields() {
  switch (meActiveIndexType) {
    case ndxIndexName:
    case ndxDefault: {
      const QString name = meActiveIndexType == ndxIndexName ? mstrIndexName : mstrDefaultIndex;
      for (int i = 0; i < mpoIndexDefs->Count(); ++i)
        if (SameTextAZ(mpoIndexDefs->Items(i)->Name(), name)) return mpoIndexDefs->Items(i)->Fields();
      return QString();
    }
    case ndxIndexField:
      return mstrIndexFieldNames;
    case ndxNone:
      break;
  }
  return QString();
}

void TAdsDataSet::UpdateDefaultIndex() {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsDictionaryConn()) return;
  QByteArray table = ToAnsi(mstrTableName);
  UNSIGNED8 buffer[201] = {};
  UNSIGNED16 length = 200;
  const UNSIGNED32 rc = ::AdsDDGetTableProperty(mpoAdsConnection->ConnectionHandle(),
                                                reinterpret_cast<UNSIGNED8*>(table.data()), kTableDefaultIndex,
                                                buffer, &length);
  if (rc == 0) {
    mstrDefaultIndex = FromAnsi(reinterpret_cast<const char*>(buffer));
    if (mstrIndexName == QStringLiteral("ADS_DEFAULT") || (mstrIndexName.isEmpty() && !ComponentStateHas(csLoading))) {
      meActiveIndexType = ndxDefault;
      mstrIndexName = QStringLiteral("ADS_DEFAULT");
    }
  } else if (rc == kAeNoDefaultIndex) {
    // The table has no default index: the one remembered from the table named before does not
    // belong to this one (GetIndexNames would offer it).
    mstrDefaultIndex.clear();
    if (mstrIndexName == QStringLiteral("ADS_DEFAULT")) SetIndexName(QString());
  }
  // Any other answer leaves the default index as it was: the lookup is advisory.
}

namespace {

// Asks the engine how many orders of one kind `handle` has and which, then adds their names to
// poList (emptied first when asked, after the orders were read). Every call is checked.
void AddOrderNames(TAdsDataSet* dataset, uint32_t handle, UNSIGNED32 (*countOrders)(ADSHANDLE, UNSIGNED16*),
                   UNSIGNED32 (*listOrders)(ADSHANDLE, ADSHANDLE*, UNSIGNED16*), TStringList* poList, bool clearFirst) {
  UNSIGNED16 count = 0;
  CheckAceResult(dataset, countOrders(handle, &count));
  std::vector<ADSHANDLE> orders(count > 0 ? count : 1);
  UNSIGNED16 got = count;
  CheckAceResult(dataset, listOrders(handle, orders.data(), &got));
  if (clearFirst) poList->Clear();
  for (UNSIGNED16 i = 0; i < got && i < count; ++i) {
    UNSIGNED8 name[260] = {};
    UNSIGNED16 len = sizeof name - 1;
    CheckAceResult(dataset, ::AdsGetIndexName(orders[i], name, &len));
    poList->Add(Ansi(name));
  }
}

}  // namespace

void TAdsDataSet::GetIndexNames(TStringList* poList) {
  withWorkHandle([&](uint32_t handle) {
    AddOrderNames(this, handle, ::AdsGetNumIndexes, ::AdsGetAllIndexes, poList, /*clearFirst=*/true);
  });
  if (mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn() && !mstrDefaultIndex.isEmpty())
    poList->Add(QStringLiteral("ADS_DEFAULT"));
}

void TAdsDataSet::GetFTSIndexNames(TStringList* poList) {
  withWorkHandle([&](uint32_t handle) {
    AddOrderNames(this, handle, ::AdsGetNumFTSIndexes, ::AdsGetFTSIndexes, poList, /*clearFirst=*/false);
  });
}

void TAdsDataSet::RefreshIndexDefs() {
  withWorkHandle([&](uint32_t handle) {
    mpoIndexDefs->Clear();
    UNSIGNED16 count = 0;
    CheckAceResult(this, ::AdsGetNumIndexes(handle, &count));
    std::vector<ADSHANDLE> orders(count > 0 ? count : 1);
    UNSIGNED16 got = count;
    CheckAceResult(this, ::AdsGetAllIndexes(handle, orders.data(), &got));
    for (UNSIGNED16 i = 0; i < got && i < count; ++i) {
      const ADSHANDLE order = orders[i];
      UNSIGNED8 name[260] = {};
      UNSIGNED16 len = sizeof name - 1;
      CheckAceResult(this, ::AdsGetIndexName(order, name, &len));
      UNSIGNED16 segments = 0;
      CheckAceResult(this, ::AdsGetNumSegments(order, &segments));
      QStringList fields;
      for (UNSIGNED16 s = 0; s < segments; ++s) {
        UNSIGNED8 field[510] = {};
        UNSIGNED16 flen = sizeof field - 1;
        CheckAceResult(this, ::AdsGetSegmentFieldname(order, s, field, &flen));
        fields << Ansi(field);
      }
      TIndexOptions options;
      UNSIGNED16 flag = 0;
      CheckAceResult(this, ::AdsIsIndexDescending(order, &flag));
      if (flag == 1) options |= ixDescending;
      CheckAceResult(this, ::AdsIsIndexUnique(order, &flag));
      bool unique = flag == 1;
      if (meTableType == ttAdsVFP) {
        CheckAceResult(this, ::AdsIsIndexCandidate(order, &flag));
        unique = unique || flag == 1;
      }
      if (unique) options |= ixUnique;
      CheckAceResult(this, ::AdsIsIndexPrimaryKey(order, &flag));
      if (flag == 1) options |= ixPrimary;
      TIndexDef* def = mpoIndexDefs->AddIndexDef();
      def->SetName(Ansi(name));
      def->SetFields(UpperCaseAZ(fields.join(QLatin1Char(';'))));
      def->SetOptions(options);
    }
    mpoIndexDefs->SetUpdated(true);
  });
}

int TAdsDataSet::IndexFieldCount() {
  if (mlActiveHandle == mlHandle) return 0;
  UNSIGNED16 segments = 0;
  CheckAceResult(this, ::AdsGetNumSegments(mlActiveHandle, &segments));
  return segments;
}

TField* TAdsDataSet::IndexFields(int Index) {
  UNSIGNED8 name[129] = {};
  UNSIGNED16 len = sizeof name - 1;
  CheckAceResult(this, ::AdsGetSegmentFieldname(mlActiveHandle, static_cast<UNSIGNED16>(Index), name, &len));
  return FieldByName(Ansi(name));
}

void TAdsDataSet::SetIndexFields(int Index, TField* value) { IndexFields(Index)->SetAsVariant(value->AsVariant()); }

int TAdsDataSet::GetSegmentFieldNum(int Index) {
  if (mlActiveHandle == mlHandle)
    RaiseComponentError(QStringLiteral("Internal Error: GetSegmentFieldNum : No Active Index"));
  return IndexFields(Index)->FieldNo();
}

bool TAdsDataSet::IsIndexField(TField* field) {
  const int segments = IndexFieldCount();
  if (State() == dsSetKey && segments == 0) return true;
  if (field->FieldNo() <= 0) return false;
  for (int i = 0; i < segments; ++i)
    if (GetSegmentFieldNum(i) == field->FieldNo()) return true;
  return false;
}

int TAdsDataSet::KeySize() {
  if (mlActiveHandle == mlHandle) return 0;
  UNSIGNED16 length = 0;
  CheckAceResult(this, ::AdsGetKeyLength(mlActiveHandle, &length));
  return length;
}
