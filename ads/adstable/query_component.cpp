// TAdsQuery: construction and destruction, the SQL text and its parameters, the properties,
// the statement-level encryption and password calls, the master link, the stored-only and
// unsupported properties, and the provider hooks.
#include <limits>

#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/data/data_source.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/sql_scanner.h"
#include "runtime/text.h"

namespace {
constexpr uint32_t kAeInvalidStatement = 5106;

int32_t SignedFromUnsigned(UNSIGNED32 value) {
  if (value > static_cast<UNSIGNED32>(std::numeric_limits<int32_t>::max()))
    throw ERangeError(QStringLiteral("Range check error"));
  return static_cast<int32_t>(value);
}
}  // namespace

TAdsQuery::TAdsQuery(TComponent* AOwner) : TAdsExtendedDataSet(AOwner) {
  mSQL = std::make_unique<TStringList>();
  moParams = std::make_unique<TParams>();
  moDataLink = std::make_unique<TAdsQueryDataLink>(this);
  mSQL->OnChange = [this] { SQLChanged(); };
  mbParamCheck = true;
  mbRequestLive = false;
  mbConstrained = false;
  mbReadAllColumns = false;
  mhStmt = kNoHandle;
  mhConnection = kNoHandle;
  mlRowsAffected = -1;
  moUpdateMode = upWhereAll;
}

TAdsQuery::~TAdsQuery() {
  mSQL->OnChange = nullptr;
  const bool connected = mpoAdsConnection != nullptr && mpoAdsConnection->IsConnected();
  // The hooks the close runs are this class's: close while they still exist.
  CloseForDestruction();
  moDataLink.reset();
  mpucSQLBinary.reset();
  // A statement on a connection that is gone died with it: the engine is not asked then.
  if (mhStmt != kNoHandle && ((mhConnection != 0 && mhConnection != kNoHandle) || connected)) {
    const UNSIGNED32 rc = ::AdsCloseSQLStatement(mhStmt);
    if (rc != 0 && rc != kAeInvalidStatement) {
      try {
        CheckAceResult(this, rc);
      } catch (const EADSDatabaseError&) {
        // A destructor cannot report: the statement is gone for this query either way.
      }
    }
  }
  mhStmt = kNoHandle;
}

// ---- SQL text and parameters ----------------------------------------------------------------

void TAdsQuery::SetSQL(const QString& text) {
  // The list's text ends every line with a line break: compare the lines the new text makes.
  TStringList lines;
  lines.SetText(text);
  if (mSQL->Text() == lines.Text()) return;
  Close();
  UnPrepare();
  mSQL->SetText(text);
}

void TAdsQuery::SetSQL(const TStringList& value) {
  if (mSQL->Text() == value.Text()) return;
  Close();
  UnPrepare();
  mSQL->BeginUpdate();
  try {
    mSQL->Clear();
    for (int i = 0; i < value.Count(); ++i) mSQL->Add(value.Strings(i));
  } catch (...) {
    mSQL->EndUpdate();
    throw;
  }
  mSQL->EndUpdate();
}

void TAdsQuery::SQLChanged() {
  // The engine may rewrite the text (its own parameter markers); the rewritten text is what
  // the parameters are taken from. The buffer has room to grow. The call needs no statement
  // yet: before the first one exists the handle is -1.
  QByteArray buffer = ToAnsi(mSQL->Text());
  const qsizetype textLength = buffer.size();
  buffer.resize(textLength * 2 + 256, '\0');
  UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
  CheckAceResult(this, ::AdsGetSQLStmtParams(mhStmt, reinterpret_cast<UNSIGNED8*>(buffer.data()), &length));
  const QString text = FromAnsi(buffer.constData(), static_cast<qsizetype>(std::min<UNSIGNED32>(length, buffer.size())));

  if (ComponentStateHas(csReading)) return;
  Close();
  UnPrepare();
  mpucSQLBinary.reset();
  if (mbParamCheck || ComponentStateHas(csDesigning)) {
    TParams fresh;
    fresh.ParseSQL(text, true);
    fresh.AssignValues(*moParams);
    moParams->Clear();
    moParams->Assign(fresh);
  }
  DataEvent(dePropertyChange, 0);
}

uint16_t TAdsQuery::ParamCount() const {
  if (moParams->Count() > 65535) throw ERangeError(QStringLiteral("Range check error"));
  return static_cast<uint16_t>(moParams->Count());
}

// ---- preparing ------------------------------------------------------------------------------

void TAdsQuery::Prepare() {
  if (holdsCursor()) RaiseComponentError(dbmsg::kDataSetOpen);
  mlRowsAffected = -1;
  mbPrepared = true;
}

void TAdsQuery::UnPrepare() {
  if (holdsCursor()) RaiseComponentError(dbmsg::kDataSetOpen);
  mbPrepared = false;
}

void TAdsQuery::SetPrepared(bool value) {
  if (value)
    Prepare();
  else
    UnPrepare();
}

// ---- properties -----------------------------------------------------------------------------

void TAdsQuery::SetSQLTimeout(int32_t value) {
  // The value is kept even when negative; handing it to a statement is the range error.
  FSQLTimeout = value;
  if (mhStmt != kNoHandle) applySQLTimeout();
}

void TAdsQuery::applySQLTimeout() {
  if (FSQLTimeout < 0) throw ERangeError(QStringLiteral("Range check error"));
  CheckAceResult(this, ::AdsSetSQLTimeout(mhStmt, static_cast<UNSIGNED32>(FSQLTimeout)));
}

void TAdsQuery::InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError) {
  if (bIgnoreNTXError || eValue != ttAdsNTX ||
      (mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn())) {
    musOpenTableType = CheckedOpenTableType(*this, Active(), eValue);
    meTableType = eValue;
    return;
  }
  RaiseComponentError(QStringLiteral("The TAdsQuery component does not support the NTX table type"));
}

void TAdsQuery::SetDatabaseName(const QString& value) {
  const bool differs = value != mstrDatabaseName;
  SetAdsConnection(nullptr);
  TAdsDataSet::SetDatabaseName(value);
  if (differs && mhConnection != kNoHandle) {
    // The statement lives on the implicit connection of the old name.
    if (mhStmt != kNoHandle) CheckAceResult(this, ::AdsCloseSQLStatement(mhStmt));
    mhConnection = kNoHandle;
    mhStmt = kNoHandle;
  }
}

void TAdsQuery::InvalidateAceHandles() {
  UnPrepare();
  mhStmt = kNoHandle;
  mhConnection = kNoHandle;
}

void TAdsQuery::SetDataSource(TDataSource* value) {
  if (value != nullptr && IsLinkedTo(value)) RaiseComponentError(QStringLiteral("Circular Data Link"));
  moDataLink->SetDataSource(value);
}

// ---- statement calls ------------------------------------------------------------------------

void TAdsQuery::AdsStmtEnableEncryption(const QString& strPassword) {
  EnsureStatementHandle();
  QByteArray password = ToAnsi(strPassword);
  CheckAceResult(this, ::AdsStmtEnableEncryption(mhStmt, reinterpret_cast<UNSIGNED8*>(password.data())));
}

void TAdsQuery::AdsStmtDisableEncryption() {
  EnsureStatementHandle();
  CheckAceResult(this, ::AdsStmtDisableEncryption(mhStmt));
}

void TAdsQuery::AdsStmtSetTablePassword(const QString& strTableName, const QString& strPassword) {
  EnsureStatementHandle();
  QByteArray table = ToAnsi(strTableName);
  QByteArray password = ToAnsi(strPassword);
  CheckAceResult(this, ::AdsStmtSetTablePassword(mhStmt, reinterpret_cast<UNSIGNED8*>(table.data()),
                                                 reinterpret_cast<UNSIGNED8*>(password.data())));
}

void TAdsQuery::AdsStmtClearTablePasswords() {
  EnsureStatementHandle();
  CheckAceResult(this, ::AdsStmtClearTablePasswords(mhStmt));
}

int32_t TAdsQuery::FetchLastAutoInc() {
  UNSIGNED32 value = 0;
  CheckAceResult(this, ::AdsGetLastAutoinc(holdsCursor() ? mlHandle : mhStmt, &value));
  return SignedFromUnsigned(value);
}

// ---- master link ----------------------------------------------------------------------------

void TAdsQuery::GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSet* master = moDataLink->DataSet();
  if (master == nullptr) return;
  for (int i = 0; i < moParams->Count(); ++i) {
    const QString name = moParams->Items(i)->Name();
    TField* masterField = master->FindField(name);
    if (masterField == nullptr) continue;
    MasterFields.push_back(masterField);
    if (TField* own = FindField(name)) DetailFields.push_back(own);
  }
}

void TAdsQuery::BindMasterParams() {
  TDataSet* master = moDataLink->DataSource() != nullptr ? moDataLink->DataSet() : nullptr;
  if (master == nullptr) return;
  master->FieldDefs().Update();
  for (int i = 0; i < moParams->Count(); ++i) {
    TParam* param = moParams->Items(i);
    if (param->Bound()) continue;
    param->AssignField(master->FieldByName(param->Name()));
    // Unbound again, so that the parameter follows the master at the next execution.
    param->SetBound(false);
  }
}

void TAdsQuery::RefreshFromMaster() {
  DisableControls();
  try {
    TDataSet* master = moDataLink->DataSet();
    if (master != nullptr && master->Active() && master->State() != dsSetKey) {
      Close();
      Open();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

TDataSet* TAdsQueryDataLink::DetailDataSet() const { return FQuery; }

void TAdsQueryDataLink::ActiveChanged() {
  if (FQuery->Active()) FQuery->RefreshFromMaster();
}

void TAdsQueryDataLink::RecordChanged(TField* field) {
  if (field == nullptr && FQuery->Active()) FQuery->RefreshFromMaster();
}

void TAdsQueryDataLink::CheckBrowseMode() {
  if (FQuery->Active()) FQuery->CheckBrowseMode();
}

// ---- unsupported properties -----------------------------------------------------------------

void* TAdsQuery::Constraints() {
  RaiseComponentError(QStringLiteral("The property \"Constraints\" is not supported."));
}

void* TAdsQuery::UpdateObject() {
  RaiseComponentError(QStringLiteral("The property \"UpdateObject\" is not supported."));
}

// ---- provider hooks -------------------------------------------------------------------------

QString TAdsQuery::PSGetTableName() const { return GetTableNameFromSQL(mSQL->Text()); }

void TAdsQuery::PSSetCommandText(const QString& CommandText) {
  if (!CommandText.isEmpty()) SetSQL(CommandText);
}

std::unique_ptr<TIndexDef> TAdsQuery::PSGetDefaultOrder() const {
  auto def = std::make_unique<TIndexDef>(nullptr);
  if (!GetIndexForOrderBy(mSQL->Text(), *def)) return nullptr;
  return def;
}

void TAdsQuery::PSSetParams(const TParams& AParams) {
  if (AParams.Count() > 0) moParams->Assign(AParams);
  Close();
}
