// TAdsTable: construction, the properties that may change only while closed, the table file's
// path and existence, the last autoincrement value, the master/detail link fields and the
// provider hooks.
#include <limits>

#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/data/db_errors.h"
#include "runtime/sysutils.h"

TAdsTable::TAdsTable(TComponent* AOwner) : TAdsExtendedTable(AOwner) {
  meIndexCollationMismatch = icmError;
  FstrEncryptionPassword.clear();
}

TAdsTable::~TAdsTable() {
  // The hooks the close runs are this class's: close while they still exist.
  CloseForDestruction();
}

void TAdsTable::SetExclusive(bool value) {
  RequireInactive();
  mbExclusive = value;
}

void TAdsTable::SetReadOnly(bool value) {
  RequireInactive();
  mbReadOnly = value;
}

void TAdsTable::SetTableName(const QString& value) {
  if (Active()) RaiseComponentError(dbmsg::kDataSetOpen);
  // Index files belong to one table; the comparison is case-sensitive on purpose, so even a
  // change of letter case starts a fresh list.
  if (!ComponentStateHas(csReading) && value != mstrTableName) mpoIndexFiles->Clear();
  mstrTableName = value;
  UpdateDefaultIndex();
  DataEvent(dePropertyChange, 0);
}

void TAdsTable::SetTableType(TAdsTableTypes value) {
  musOpenTableType = CheckedOpenTableType(*this, Active(), value);
  meTableType = value;
}

void TAdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions value) {
  if (Active()) RaiseComponentError(dbmsg::kDataSetOpen);
  meIndexCollationMismatch = value;
}

QString TAdsTable::TablePathWithExtension() {
  QString path = GetNativeDatabasePath() + QLatin1Char('\\') + mstrTableName;
  if (ExtractFileExt(mstrTableName).isEmpty())
    path += meTableType == ttAdsADT ? QStringLiteral(".adt") : QStringLiteral(".dbf");
  return path;
}

bool TAdsTable::Exists() {
  if (Active()) return true;
  if (mstrTableName.isEmpty()) return false;
  return FileExists(TablePathWithExtension());
}

int32_t TAdsTable::FetchLastAutoInc() {
  UNSIGNED32 value = 0;
  CheckAceResult(this, ::AdsGetLastAutoinc(mlHandle, &value));
  if (value > static_cast<UNSIGNED32>(std::numeric_limits<int32_t>::max()))
    throw ERangeError(QStringLiteral("Range check error"));
  return static_cast<int32_t>(value);
}

bool TAdsTable::allFieldsExist(const QString& fieldNames) const {
  for (const QString& name : SplitFieldNames(fieldNames))
    if (FindField(name) == nullptr) return false;
  return true;
}

TIndexDef* TAdsTable::chosenIndexDef() {
  // The dictionary's default index goes by its own name; IndexName may also name no definition
  // (an order of an index file opened later): then the one for IndexFieldNames, if any.
  const QString name = meActiveIndexType == ndxDefault ? mstrDefaultIndex : mstrIndexName;
  const int named = name.isEmpty() ? -1 : IndexDefs().IndexOf(name);
  if (named >= 0) return IndexDefs().Items(named);
  if (mstrIndexFieldNames.isEmpty()) return nullptr;
  return IndexDefs().GetIndexForFields(mstrIndexFieldNames, false);
}

void TAdsTable::GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSet* master = MasterLink() != nullptr ? MasterLink()->DataSet() : nullptr;
  if (master == nullptr || mstrMasterField.isEmpty()) return;
  master->GetFieldList(MasterFields, mstrMasterField);
  IndexDefs().Update();
  if (TIndexDef* def = chosenIndexDef()) GetFieldList(DetailFields, def->Fields());
}

QString TAdsTable::PSGetTableName() {
  const QString& name = mstrTableName;
  if (name.size() > 4 && name[name.size() - 4] == QLatin1Char('.')) return name.left(name.size() - 4);
  return name;
}

void TAdsTable::PSSetCommandText(const QString& CommandText) {
  if (!CommandText.isEmpty()) SetTableName(CommandText);
}

std::unique_ptr<TIndexDef> TAdsTable::PSGetDefaultOrder() {
  IndexDefs().Update();
  auto copyOf = [](const TIndexDef* def) {
    auto copy = std::make_unique<TIndexDef>(nullptr);
    copy->Assign(*def);
    return copy;
  };
  TIndexDef* active = chosenIndexDef();
  if (active != nullptr && allFieldsExist(active->Fields())) return copyOf(active);
  for (const TIndexOption wanted : {ixPrimary, ixUnique}) {
    for (int i = 0; i < IndexDefs().Count(); ++i) {
      TIndexDef* def = IndexDefs().Items(i);
      if (def->Options().testFlag(wanted) && allFieldsExist(def->Fields())) return copyOf(def);
    }
  }
  return nullptr;
}

QString TAdsTable::PSGetKeyFields() {
  IndexDefs().Update();
  for (int i = 0; i < IndexDefs().Count(); ++i) {
    TIndexDef* def = IndexDefs().Items(i);
    if (def->Options().testFlag(ixUnique) && allFieldsExist(def->Fields())) return def->Fields();
  }
  return QString();
}

void TAdsTable::PSSetParams(const TParams& AParams) {
  auto assignFields = [&] {
    for (int i = 0; i < AParams.Count(); ++i) {
      const TParam* param = AParams.Items(i);
      TField* field = param->Name().isEmpty() ? IndexFields(i) : FieldByName(param->Name());
      field->SetValue(param->Value());
    }
  };
  if (AParams.Count() > 0) {
    Open();
    SetRangeStart();
    assignFields();
    SetRangeEnd();
    assignFields();
    ApplyRange();
  } else if (Active()) {
    CancelRange();
  }
  PSReset();
}
