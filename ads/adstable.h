// The table and query components of the data-access layer.
//
// TAdsTable opens one table of a data dictionary, or one free table, through the engine: its
// properties (Exclusive, ReadOnly, TableName, TableType, IndexCollationMismatch,
// EncryptionPassword) become the arguments of AdsOpenTable90 in AcquireEngineHandle, which the
// dataset core runs when it opens. On a dictionary connection the table is opened by its
// dictionary name with table type 0; a dictionary that does not know the table (5132) gets one
// retry as a free table beside it.
//
// TAdsQuery runs one SQL statement. It owns one engine statement handle for its lifetime
// (created on first need, re-created when the engine no longer knows it); each open or
// execution prepares the SQL text, binds Params by position and executes, and the cursor that
// comes back is handed to the dataset core like an opened table. Changing SQL closes the query
// and re-derives Params from the text (ParamCheck).
//
// Both derive from the extended dataset (ads/adsfunc.h) over the dataset core (ads/adsdata.h); its TableType writer is replaced here by
// the generic table-type setter (CheckedOpenTableType), which refuses a type that disagrees
// with the alias or connection the dataset uses.
//
// Threading: a component is used by one thread at a time.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "ads/adsdata.h"
#include "ads/adsfunc.h"
#include "ads/statement_binding.h"
#include "runtime/classes.h"
#include "runtime/data/data_link.h"
#include "runtime/data/params.h"

class TAdsQuery;

enum TIndexCollationMismatchOptions { icmError, icmIgnore, icmReindex };
// How provider updates find their record; the query only stores it.
enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

// The generic table-type setter's checks and result: raises EADSDatabaseError (dataset, 5121)
// "Cannot perform this operation on an open dataset" when active, "The table type must remain
// identical to the table type associated with the alias." when the dataset's alias (a
// DatabaseName without "/" or "\" found in the alias file) or, without a DatabaseName, its
// connection component names another table type. Returns the engine table-type code to open
// with: 2 CDX, 1 NTX, 4 VFP, 3 for ADT and Default.
uint16_t CheckedOpenTableType(AdsDataSetClient& dataset, bool active, TAdsTableTypes requested);

// The engine table type of an engine table-type code, as an open through a dictionary reports
// it: 2 CDX, 1 NTX, 4 VFP, anything else ADT.
TAdsTableTypes TableTypeOfEngineCode(uint16_t code);

// The option bits of AdsOpenTable90 for a table's settings (see TAdsTable::AcquireEngineHandle).
uint32_t TableOpenOptions(bool exclusive, bool readOnly, bool connectionReadOnly,
                          TIndexCollationMismatchOptions mismatch, TAdsTableCachingOption caching);

// ---- TAdsTable ------------------------------------------------------------------------------

class TAdsTable : public TAdsExtendedTable {
 public:
  explicit TAdsTable(TComponent* AOwner);
  ~TAdsTable() override;

  bool Exclusive() const { return mbExclusive; }
  // Refused (the framework's "Cannot perform this operation on an open dataset") while open.
  void SetExclusive(bool value);
  bool ReadOnly() const { return mbReadOnly; }
  void SetReadOnly(bool value);
  // Refused while open. A different name (case-sensitive) clears IndexFiles unless the
  // component is being read from a stream; then the dictionary's default index is read.
  void SetTableName(const QString& value) override;
  // The generic table-type setter.
  void SetTableType(TAdsTableTypes value) override;
  TIndexCollationMismatchOptions IndexCollationMismatch() const { return meIndexCollationMismatch; }
  void SetIndexCollationMismatch(TIndexCollationMismatchOptions value);
  QString EncryptionPassword() const { return FstrEncryptionPassword; }
  void SetEncryptionPassword(const QString& value) { FstrEncryptionPassword = value; }
  bool StoreDefs() const { return FStoreDefs; }
  void SetStoreDefs(bool value) { FStoreDefs = value; }
  QString InfoExpression() const { return mstrExprStruct; }
  void SetInfoExpression(const QString& value) { mstrExprStruct = value; }
  TAdsIndexFiles* IndexFiles() const { return mpoIndexFiles.get(); }

  // Adds, deletes and changes fields of the closed table, keeping its records. The three lists
  // are the engine's: the add list in the field-definition form, the delete list names, the
  // change list "NAME,Type[,length[,decimals]]" or "OLDNAME,NEWNAME[,Type...]" entries, each
  // ending in ";". Refusals (EADSDatabaseError, 5121): "Cannot perform this operation on an open
  // dataset", "Missing TableName property", "One of the DatabaseName property or the
  // AdsConnection property must have a value.", "Internal Error: invalid connection handle.".
  void Restructure(const QString& strAddFields, const QString& strDeleteFields, const QString& strChangeFields);

  // GetNativeDatabasePath + "\" + TableName, with ".adt" (ttAdsADT) or ".dbf" (other types)
  // added when TableName has no extension.
  QString TablePathWithExtension();
  // Open, or the table file exists.
  bool Exists();
  // AdsGetLastAutoinc of the open table; a value of 2^31 or more is a range error.
  int32_t LastAutoincVal() { return FetchLastAutoInc(); }
  int32_t FetchLastAutoInc();

  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) override;

  // ---- provider support ---------------------------------------------------------------------
  // TableName without a four-character extension (".adt" and the like).
  QString PSGetTableName();
  void PSSetCommandText(const QString& CommandText);
  std::unique_ptr<TIndexDef> PSGetDefaultOrder();
  TIndexDefs* PSGetIndexDefs() { return &IndexDefs(); }
  // Key fields: the fields of the first unique index whose fields all exist (";"-separated).
  QString PSGetKeyFields();
  // With parameters: opens the table and applies a range whose start and end both take them (a
  // named parameter sets that field, an unnamed one the index field at its position); without:
  // cancels the range of an open table. Then the provider reset.
  void PSSetParams(const TParams& AParams);

 protected:
  uint32_t AcquireEngineHandle() override;
  void DefChanged() override { FStoreDefs = true; }

 private:
  uint32_t openTable(uint32_t connection, const QByteArray& name, uint16_t tableType, uint16_t charType,
                     uint16_t lockType, uint16_t rights, uint32_t options, QByteArray& collation,
                     uint32_t& handle);
  bool allFieldsExist(const QString& fieldNames) const;
  // The index definition named by IndexName, else the one for IndexFieldNames; null when none.
  TIndexDef* chosenIndexDef();

  TIndexCollationMismatchOptions meIndexCollationMismatch = icmError;
  QString FstrEncryptionPassword;
  bool FStoreDefs = false;
};

// ---- TAdsQuery ------------------------------------------------------------------------------

// The query's link to its master data source.
class TAdsQueryDataLink : public TDetailDataLink {
 public:
  explicit TAdsQueryDataLink(TAdsQuery* AQuery) : FQuery(AQuery) {}
  TDataSet* DetailDataSet() const override;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;
  void CheckBrowseMode() override;

 private:
  TAdsQuery* FQuery;
};

class TAdsQuery : public TAdsExtendedDataSet {
 public:
  explicit TAdsQuery(TComponent* AOwner);
  ~TAdsQuery() override;

  // The SQL text; every change runs SQLChanged.
  TStringList* SQL() const { return mSQL.get(); }
  // Nothing happens when the text equals the current one; otherwise closes, unprepares and
  // replaces the lines in one change.
  void SetSQL(const TStringList& value);
  void SetSQL(const QString& text);
  QString Text() const { return mSQL->Text(); }

  TParams* Params() const { return moParams.get(); }
  // Takes the values of same-named parameters; none is added or removed.
  void SetParams(const TParams& value) { moParams->AssignValues(value); }
  TParam* ParamByName(const QString& Value) const { return moParams->ParamByName(Value); }
  uint16_t ParamCount() const;
  bool ParamCheck() const { return mbParamCheck; }
  void SetParamCheck(bool value) { mbParamCheck = value; }

  bool Prepared() const { return mbPrepared; }
  void SetPrepared(bool value);
  void Prepare();
  void UnPrepare();
  int32_t RowsAffected() const { return mlRowsAffected; }
  uint32_t StmtHandle() const { return mhStmt; }

  bool ReadAllColumns() const { return mbReadAllColumns; }
  void SetReadAllColumns(bool value) { mbReadAllColumns = value; }
  bool RequestLive() const { return mbRequestLive; }
  void SetRequestLive(bool value) { mbRequestLive = value; }
  bool Constrained() const { return mbConstrained; }
  void SetConstrained(bool value) { mbConstrained = value; }
  int32_t SQLTimeout() const { return FSQLTimeout; }
  // Stores the value and tells an existing statement; negative is a range error.
  void SetSQLTimeout(int32_t value);

  TAdsTableTypes SourceTableType() const { return meTableType; }
  void SetSourceTableType(TAdsTableTypes value) { InternalSetTableType(value, false); }
  void SetTableType(TAdsTableTypes value) override { InternalSetTableType(value, false); }
  void InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError);

  void SetDatabaseName(const QString& value) override;
  void InvalidateAceHandles() override;
  // A query has no dictionary table of its own, so no default index to follow.
  void UpdateDefaultIndex() override {}

  TDataSource* DataSource() const override { return moDataLink->DataSource(); }
  void SetDataSource(TDataSource* value);

  // Runs the statement; a cursor it produces is closed at once.
  void ExecSQL();
  void ExecSQLScript();
  void VerifySQL();
  void AdsCloseSQLStatement();
  void AdsStmtEnableEncryption(const QString& strPassword);
  void AdsStmtDisableEncryption();
  void AdsStmtSetTablePassword(const QString& strTableName, const QString& strPassword);
  void AdsStmtClearTablePasswords();

  int32_t LastAutoincVal() { return FetchLastAutoInc(); }
  int32_t FetchLastAutoInc();

  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) override;

  // The master's fields are taken by unbound parameters of the same name.
  void BindMasterParams();
  // Closes and reopens the query when the master is active and not in dsSetKey.
  void RefreshFromMaster();

  // ---- stored-only and unsupported properties -----------------------------------------------
  int WaitCursor() const { return 0; }
  void SetWaitCursor(int) {}
  TUpdateMode UpdateMode() const { return moUpdateMode; }
  void SetUpdateMode(TUpdateMode value) { moUpdateMode = value; }
  bool UniDirectional() const { return mbUniDirectional; }
  void SetUniDirectional(bool value) { mbUniDirectional = value; }
  bool Local() const { return mbLocal; }
  [[noreturn]] void* Constraints();
  [[noreturn]] void* UpdateObject();
  // The persisted "Data" buffer; a buffer set here becomes the query's.
  std::vector<char16_t>* SQLBinary() const { return mpucSQLBinary.get(); }
  void SetSQLBinary(std::unique_ptr<std::vector<char16_t>> value) { mpucSQLBinary = std::move(value); }

  // ---- provider support ---------------------------------------------------------------------
  QString PSGetTableName() const;
  void PSSetCommandText(const QString& CommandText);
  void PSExecute() { ExecSQL(); }
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() const;
  TParams* PSGetParams() const { return moParams.get(); }
  void PSSetParams(const TParams& AParams);

  // The order Locate may seek on: mlActiveHandle when it differs from the cursor, else the
  // cursor's own order, or -1.
  uint32_t CurrentOrderHandle() override;
  // Moves the cursor's own order to the front of candidates (nothing when it has none).
  void PreferCurrentOrder(std::vector<uint32_t>& candidates) override;

 protected:
  uint32_t AcquireEngineHandle() override;
  void CloseEngineCursor() override;
  // The cursor's own order stands in when no index is chosen.
  int32_t CurrentRecordPosition() override;

 private:
  friend class TAdsQueryDataLink;

  void SQLChanged();
  void EnsureStatementHandle();
  void ApplyStatementOptions();
  uint32_t ExecuteStatement();
  void BindParameters();
  enum class ScriptMode { Execute, Verify };
  void ProcessScript(ScriptMode mode);
  void closeStatement(bool checkOpen);
  // Hands SQLTimeout to the statement (a negative value is a range error).
  void applySQLTimeout();
  bool holdsCursor() const { return mlHandle != kNoHandle; }

  std::unique_ptr<TStringList> mSQL;
  bool mbPrepared = false;
  bool mbReadAllColumns = false;
  std::unique_ptr<TParams> moParams;
  bool mbRequestLive = false;
  bool mbConstrained = false;
  bool mbParamCheck = true;
  std::unique_ptr<TAdsQueryDataLink> moDataLink;
  uint32_t mhStmt = kNoHandle;
  uint32_t mhConnection = kNoHandle;
  int32_t mlRowsAffected = -1;
  std::unique_ptr<std::vector<char16_t>> mpucSQLBinary;
  int32_t FSQLTimeout = 0;
  TUpdateMode moUpdateMode = upWhereAll;
  bool mbUniDirectional = false;
  bool mbLocal = false;
};
