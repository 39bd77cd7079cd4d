// TAdsQuery: the statement handle, the statement options, executing the SQL text (prepare,
// bind, execute, read the cursor's liveness and the rows affected), opening on the cursor,
// ExecSQL, closing the statement, and the scripts (ExecSQLScript, VerifySQL).
#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {
constexpr uint32_t kAeInvalidStatement = 5106;
constexpr uint32_t kAeNoRowCount = 5117;
constexpr uint16_t kHandleTypeStatement = 4;

std::u16string WideText(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}
}  // namespace

void TAdsQuery::EnsureStatementHandle() {
  if (mhStmt != kNoHandle) {
    UNSIGNED16 type = 0;
    if (AdsGetHandleType(mhStmt, &type) == 0 && type == kHandleTypeStatement) return;
  }
  mhStmt = kNoHandle;
  if (mstrDatabaseName.isEmpty() && mpoAdsConnection == nullptr)
    RaiseComponentError(QStringLiteral("The DatabaseName property has not been assigned a value."));
  uint32_t connection = kNoHandle;
  if (mhConnection != kNoHandle) {
    // The statement died while its implicit connection is still named: no new statement is
    // made on a connection that may be gone.
    connection = kNoHandle;
  } else if (mpoAdsConnection != nullptr) {
    connection = ConnectAndGetHandle();
  } else {
    connection = ConnectAndGetHandle();
    mhConnection = connection;
  }
  if (connection == 0 || connection == kNoHandle)
    RaiseComponentError(QStringLiteral("Internal Error: invalid connection handle."));
  ADSHANDLE statement = 0;
  CheckAceResult(this, ::AdsCreateSQLStatement(connection, &statement));
  mhStmt = statement;
  if (FSQLTimeout != 0) applySQLTimeout();
}

void TAdsQuery::ApplyStatementOptions() {
  const TAdsTableOptions& options = *mpoAdsTableOptions;
  CheckAceResult(this, ::AdsStmtSetTableLockType(mhStmt, options.AdsLockType() == Proprietary ? 1 : 0));
  QByteArray collation = ToAnsi(GetEffectiveCollation());
  CheckAceResult(this, ::AdsStmtSetTableCollation(mhStmt, reinterpret_cast<UNSIGNED8*>(collation.data())));
  CheckAceResult(this, ::AdsStmtSetTableRights(mhStmt, options.AdsRightsCheck() ? 1 : 2));
  CheckAceResult(this, ::AdsStmtSetTableReadOnly(mhStmt, mbRequestLive ? 2 : 1));
  if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly())
    CheckAceResult(this, ::AdsStmtSetTableReadOnly(mhStmt, 1));
  UNSIGNED16 type = 1;
  switch (meTableType) {
    case ttAdsADT: type = 3; break;
    case ttAdsCDX: type = 2; break;
    case ttAdsVFP: type = 4; break;
    default: type = 1; break;
  }
  CheckAceResult(this, ::AdsStmtSetTableType(mhStmt, type));
  CheckAceResult(this, ::AdsStmtConstrainUpdates(mhStmt, mbConstrained ? 1 : 2));
  CheckAceResult(this, ::AdsStmtReadAllColumns(mhStmt, mbReadAllColumns ? 1 : 2));
}

void TAdsQuery::BindParameters() {
  for (int i = 0; i < moParams->Count(); ++i) {
    if (i + 1 > 65535) throw ERangeError(QStringLiteral("Range check error"));
    BindStatementParam(this, mhStmt, static_cast<uint16_t>(i + 1), *moParams->Items(i));
  }
}

uint32_t TAdsQuery::ExecuteStatement() {
  RequireInactive();
  EnsureStatementHandle();
  ApplyStatementOptions();
  Prepare();
  std::u16string text = WideText(mSQL->Text());
  CheckAceResult(this, ::AdsPrepareSQLW(mhStmt, reinterpret_cast<WCHAR*>(text.data())));
  if (DataSource() != nullptr) BindMasterParams();
  BindParameters();

  ADSHANDLE cursor = 0;
  const UNSIGNED32 rc = AdsExecuteSQL(mhStmt, &cursor);
  try {
    CheckAceResult(this, rc);
  } catch (const Exception& e) {
    if (e.Message().contains(QStringLiteral("7209"))) {
      try {
        closeStatement(false);
      } catch (const Exception&) {
        // The statement is forgotten either way; the failure to report is the execution's.
      }
    }
    throw;
  }

  const uint32_t result = cursor == 0 ? kNoHandle : cursor;
  try {
    if (result != kNoHandle) {
      UNSIGNED16 live = 0;
      CheckAceResult(this, ::AdsSqlPeekStatement(result, &live));
      if (live == 0) mbReadOnly = true;
      if (live == 1) SyncCharType(result);
    }
    UNSIGNED32 rows = 0;
    const UNSIGNED32 countRc = AdsGetRecordCount(mhStmt, 2, &rows);
    if (countRc == kAeNoRowCount) {
      mlRowsAffected = -1;
    } else {
      CheckAceResult(this, countRc);
      mlRowsAffected = static_cast<int32_t>(rows);
    }
  } catch (const Exception&) {
    // The failure being raised is the one to report; the cursor must not outlive it.
    if (result != kNoHandle) AdsCloseTable(result);
    throw;
  }
  return result;
}

uint32_t TAdsQuery::AcquireEngineHandle() {
  const uint32_t cursor = ExecuteStatement();
  if (cursor == kNoHandle)
    RaiseComponentError(
        QStringLiteral("The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL to execute SQL "
                       "statements that are not SELECT statements"));
  try {
    CheckAceResult(this, ::AdsGetTableType(cursor, &musAceTableType));
    if (mpoIndexFiles->Count() > 0) {
      const QString databasePath = GetDatabasePath();
      for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
        QByteArray path = ToAnsi(databasePath + QLatin1Char('\\') + mpoIndexFiles->Strings(i));
        ADSHANDLE indexes[256] = {};
        UNSIGNED16 count = 256;
        CheckAceResult(this, ::AdsOpenIndex(cursor, reinterpret_cast<UNSIGNED8*>(path.data()), indexes, &count));
      }
    }
  } catch (const Exception&) {
    AdsCloseTable(cursor);
    throw;
  }
  return cursor;
}

void TAdsQuery::CloseEngineCursor() {
  TAdsDataSet::CloseEngineCursor();
  UnPrepare();
  if (ComponentStateHas(csDesigning)) closeStatement(false);
}

void TAdsQuery::ExecSQL() {
  const uint32_t cursor = ExecuteStatement();
  if (cursor != kNoHandle) CheckAceResult(this, ::AdsCloseTable(cursor));
}

void TAdsQuery::closeStatement(bool checkOpen) {
  if (checkOpen && holdsCursor()) RaiseComponentError(dbmsg::kDataSetOpen);
  if (mhStmt != kNoHandle) {
    const uint32_t statement = mhStmt;
    mhStmt = kNoHandle;
    mhConnection = kNoHandle;
    const UNSIGNED32 rc = ::AdsCloseSQLStatement(statement);
    if (rc != kAeInvalidStatement) CheckAceResult(this, rc);
  }
  mhStmt = kNoHandle;
  mhConnection = kNoHandle;
}

void TAdsQuery::AdsCloseSQLStatement() { closeStatement(true); }

// ---- scripts --------------------------------------------------------------------------------

namespace {
// Leading and trailing blanks and control characters removed.
QString TrimBlanksAndControls(const QString& s) {
  qsizetype start = 0;
  qsizetype end = s.size();
  while (start < end && s[start].unicode() <= 0x20) ++start;
  while (end > start && s[end - 1].unicode() <= 0x20) --end;
  return s.mid(start, end - start);
}
}  // namespace

void TAdsQuery::ProcessScript(ScriptMode mode) {
  TStringList saved;
  for (int i = 0; i < mSQL->Count(); ++i) saved.Add(mSQL->Strings(i));
  auto restore = [&] {
    mSQL->Clear();
    for (int i = 0; i < saved.Count(); ++i) mSQL->Add(saved.Strings(i));
  };
  try {
    mSQL->Clear();
    for (int i = 0; i < saved.Count(); ++i) {
      const QString line = TrimBlanksAndControls(saved.Strings(i));
      const bool comment = mode == ScriptMode::Execute && !line.isEmpty() &&
                           (line[0] == QLatin1Char('#') || line[0] == QLatin1Char('['));
      mSQL->Add(comment ? QString() : line);
    }
    try {
      if (mode == ScriptMode::Execute) {
        ExecSQL();
      } else {
        std::u16string text = WideText(mSQL->Text());
        CheckAceResult(this, ::AdsVerifySQLW(mhStmt, reinterpret_cast<WCHAR*>(text.data())));
      }
    } catch (const Exception& e) {
      throw EDatabaseError(QStringLiteral("ERROR IN SCRIPT: ") + e.Message());
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

void TAdsQuery::ExecSQLScript() { ProcessScript(ScriptMode::Execute); }

void TAdsQuery::VerifySQL() {
  EnsureStatementHandle();
  ApplyStatementOptions();
  ProcessScript(ScriptMode::Verify);
}

// ---- positions and orders -------------------------------------------------------------------

namespace {
constexpr uint32_t kAeNoKeyPosition = 5041;
}  // namespace

int32_t TAdsQuery::CurrentRecordPosition() {
  uint32_t order = kNoHandle;
  if (!mstrIndexName.isEmpty() || !mstrIndexFieldNames.isEmpty()) {
    order = mlActiveHandle;
  } else {
    ADSHANDLE own = 0;
    CheckAceResult(this, ::AdsGetIndexHandle(mlHandle, nullptr, &own));
    order = own;
  }
  if (!mbIsSequenced || order == 0 || order == kNoHandle || order == mlHandle) {
    UNSIGNED32 record = 0;
    CheckAceResult(this, ::AdsGetRecordNum(mlHandle, 2, &record));
    return static_cast<int32_t>(record);
  }
  if (meSeqLevel == slExact) {
    UNSIGNED32 key = 0;
    CheckAceResult(this, ::AdsGetKeyNum(order, 1, &key));
    return static_cast<int32_t>(key);
  }
  UNSIGNED32 count = 0;
  CheckAceResult(this, ::AdsGetRecordCount(mlHandle, 2, &count));
  DOUBLE position = 0;
  const UNSIGNED32 rc = ::AdsGetRelKeyPos(order, &position);
  if (rc == kAeNoKeyPosition)
    position = 0;
  else
    CheckAceResult(this, rc);
  return static_cast<int32_t>(static_cast<double>(count) * position);
}

uint32_t TAdsQuery::CurrentOrderHandle() {
  if (mlActiveHandle != mlHandle) return mlActiveHandle;
  ADSHANDLE own = 0;
  if (AdsGetIndexHandle(mlHandle, nullptr, &own) != 0 || own == 0) return kNoHandle;
  return own;
}

void TAdsQuery::PreferCurrentOrder(std::vector<uint32_t>& candidates) {
  ADSHANDLE own = 0;
  if (AdsGetIndexHandle(mlHandle, nullptr, &own) != 0 || own == 0) return;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i] != own) continue;
    for (size_t j = i; j > 0; --j) candidates[j] = candidates[j - 1];
    candidates[0] = own;
    return;
  }
}
