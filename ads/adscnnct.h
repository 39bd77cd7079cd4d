// The connection component: TAdsConnection owns one engine connection to a data dictionary (a
// file ending in ".ADD") or to a folder of free tables, named by a path (ConnectPath) or by an
// alias of the alias file "ads.ini" (AliasName). Datasets attach to it and are closed with it.
//
// Also here: the services on an open connection (SQL execution with a cache of prepared
// statements, transactions and savepoints, lists of tables, links and procedures, the
// application id, the date format, server information and user groups), the exception classes
// and CheckAceResult (ads_errors.h), the encryption options, and the connection registry, a
// process-wide locked list of every live connection component that dataset name resolution
// searches.
//
// Threading: a connection component is used by one thread at a time; it records the thread
// that created it (ConnectionThreadID). The connection registry is locked while it is searched,
// added to or packed.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "ace/ace_types.h"
#include "ads/ads_dataset_client.h"
#include "ads/ads_errors.h"
#include "ads/ads_table_types.h"
#include "runtime/classes.h"
#include "runtime/component.h"
#include "runtime/datetime.h"

class TParams;

enum TAdsServerType { stADS_REMOTE = 0, stADS_LOCAL = 1, stADS_AIS = 2 };
// A set of TAdsServerType: bit 0 remote, bit 1 local, bit 2 internet.
using TAdsServerTypes = unsigned;
constexpr TAdsServerTypes AdsServerTypeBit(TAdsServerType t) { return 1u << static_cast<unsigned>(t); }

enum TAdsConnectionTableTypes {
  ttAdsConnectUnspecified = 0,
  ttAdsConnectCDX = 1,
  ttAdsConnectNTX = 2,
  ttAdsConnectADT = 3,
  ttAdsConnectVFP = 4
};
enum TAdsCompressionTypes {
  ccAdsCompressionNotSet = 0,
  ccAdsCompressInternet = 1,
  ccAdsCompressAlways = 2,
  ccAdsCompressNever = 3
};
enum TAdsCommunicationType { ctAdsDefault = 0, ctAdsUDPIP = 1, ctAdsIPX = 2, ctAdsTCPIP = 3, ctAdsTLS = 4 };
enum TAdsDataEncryptionType { etAdsDefault = 0, etAdsAES128 = 1, etAdsAES256 = 2, etAdsRC4 = 3 };
enum TAdsTLSCipherSuite { tlsAES128SHA = 0, tlsAES256SHA = 1, tlsRC4MD5 = 2 };
// A set of TAdsTLSCipherSuite, bit n for value n.
using TAdsTLSCipherSuites = unsigned;

class TAdsConnection;

using TConnectionNotifyEvent = std::function<void(TComponent* Sender)>;
using TAdsDatabaseLoginEvent =
    std::function<void(TAdsConnection* AdsConnection, QString& Username, QString& Password)>;

// The framework's optional login dialog: called with the connection's component name, the user
// name (may be changed) and the password (starts empty); false refuses the login.
using TLoginDialogHook = std::function<bool(const QString& componentName, QString& userName, QString& password)>;
void SetLoginDialogHook(TLoginDialogHook hook);
// The framework's optional application exception handler, used for failures of a connect
// requested at design time while loading.
using TApplicationExceptionHook = std::function<void(const Exception&)>;
void SetApplicationExceptionHook(TApplicationExceptionHook hook);

// Encryption and TLS settings of a connection; frozen while the owning connection is connected.
class TAdsEncryptionOptions : public TPersistent {
 public:
  explicit TAdsEncryptionOptions(TAdsConnection* connection) : FConnection(connection) {}

  QString DataDictionaryPassword() const { return FDDPassword; }
  void SetDataDictionaryPassword(const QString& value);
  QString TLSCertificate() const { return FCertificate; }
  void SetTLSCertificate(const QString& value);
  TAdsTLSCipherSuites TLSCipherSuite() const { return FCipherSuites; }
  void SetTLSCipherSuite(TAdsTLSCipherSuites value);
  QString TLSCommonName() const { return FCommonName; }
  void SetTLSCommonName(const QString& value);
  bool FIPSMode() const { return FFIPSMode; }
  void SetFIPSMode(bool value);
  TAdsDataEncryptionType DataEncryptionType() const { return FDataEncryptionType; }
  void SetDataEncryptionType(TAdsDataEncryptionType value);

 private:
  friend class TAdsConnection;
  void CheckNotConnected() const;

  TAdsConnection* FConnection;
  QString FDDPassword;
  QString FCertificate;
  TAdsTLSCipherSuites FCipherSuites = 0;
  QString FCommonName;
  bool FFIPSMode = false;
  TAdsDataEncryptionType FDataEncryptionType = etAdsDefault;
};

// One cached SQL statement of a connection.
struct TStmtInfo {
  int32_t HashCode = 0;
  uint32_t StmtHandle = 0;
  QString SQLText;
};

// The open settings a statement of the second Execute runs with (engine codes): lock type
// 1 proprietary / 0 compatible, character type, rights checking 1 check / 2 ignore, table type,
// and the collation (empty: none is set).
struct TAdsDatasetOptions {
  uint16_t musAdsLockType = 1;
  uint16_t musAdsCharType = 1;
  uint16_t musAdsRightsCheck = 1;
  uint16_t musAdsTableType = 3;
  QString mstrCollation;
};

// Options of a link to another data dictionary: a set of TAdsLinkOption, bit n for value n.
enum TAdsLinkOption { loGlobal = 0, loAuthenticateActiveUser = 1, loPathIsStatic = 2 };
using TAdsLinkOptions = unsigned;
constexpr TAdsLinkOptions AdsLinkOptionBit(TAdsLinkOption o) { return 1u << static_cast<unsigned>(o); }

class TAdsConnection : public TComponent {
 public:
  explicit TAdsConnection(TComponent* Owner);
  // Constructs and adopts hConnection as a shared handle, then connects.
  static std::unique_ptr<TAdsConnection> CreateWithHandle(TComponent* Owner, uint32_t Handle);
  // Constructs without login prompt, adopts the settings of Handle and opens a connection of
  // its own with them, then takes the name strName.
  static std::unique_ptr<TAdsConnection> CreateFromHandle(TComponent* Owner, uint32_t Handle,
                                                          const QString& strName);
  ~TAdsConnection() override;

  // ---- path and alias ----
  QString AliasName() const { return FAliasName; }
  virtual void SetAliasName(const QString& value);
  virtual QString ConnectPath() const { return FConnectString; }
  virtual void SetConnectPath(const QString& value);
  // ConnectPath when set, else the alias's path.
  virtual QString GetConnectionWithDDPath() const;
  // The folder that holds the connection's free tables (the dictionary's folder for a
  // dictionary connection).
  virtual QString GetConnectionPath() const;
  virtual TAdsConnectionTableTypes GetAdsTableType() const { return meAliasTableType; }
  virtual bool IsDictionaryConn() const { return FIsDictionaryConn; }

  // ---- connecting ----
  bool IsConnected() const { return FConnected; }
  virtual void SetIsConnected(bool value);
  virtual void Connect() { SetIsConnected(true); }
  virtual void Disconnect() { SetIsConnected(false); }
  // FhConnection while connected, else 0.
  virtual uint32_t ConnectionHandle() const { return FConnected ? FhConnection : 0; }
  uint32_t Handle() const { return FhConnection; }
  int32_t ConnectionThreadID() const { return FThreadID; }
  // The connect string handed to the engine (items in their fixed order, each ending in ";").
  virtual QString ConnectString() const;
  // Adopts an existing engine connection's settings, then connects (sharing the handle when
  // bShareHandle is true, with a connection of its own otherwise).
  void SetHandle(uint32_t hConnection, bool bShareHandle);
  // Forgets a shared handle without touching FhConnection.
  void ClearHandle() { FGivenConnection = 0; }

  // ---- attached datasets ----
  virtual void AddTableToConnectList(AdsDataSetClient* Table);
  virtual void RemoveTableFromConnectList(AdsDataSetClient* oCallee);
  virtual AdsDataSetClient* GetDataSet(int Index) const;
  virtual int DataSetCount() const { return static_cast<int>(FTablesList.size()); }

  // ---- SQL execution (connection_statements.cpp) ----
  // Runs SQL on this connection (connecting first when needed) and returns the number of rows
  // it affected (0 when a cursor is requested or the engine has no count). Params (may be
  // null) are bound by position when there is at least one. With Cache the prepared statement
  // is kept for the next call with the same text; otherwise it is closed, also on failure.
  // Cursor (may be null) receives the result cursor, which the caller then owns.
  virtual int32_t Execute(const QString& SQL, TParams* Params, bool Cache, ADSHANDLE* Cursor);
  // The same with the statement's open settings and collation taken from oAdsDatasetOptions;
  // an engine without a row count is then an error.
  virtual int32_t Execute(const TAdsDatasetOptions& oAdsDatasetOptions, const QString& SQL, TParams* Params,
                          bool Cache, ADSHANDLE* Cursor);

  // ---- statement cache ----
  // Closes every cached statement and empties the cache.
  virtual void CloseCachedStatements();
  // Returns the cache entry for the SQL text (an existing one whose hash equals and whose
  // text equals ignoring case), appending a new empty entry when there is none.
  TStmtInfo& FindOrAddCachedStatement(const QString& sql);
  static int32_t StatementHash(const QString& sql);
  const std::vector<std::unique_ptr<TStmtInfo>>& CachedStatements() const { return FStmtList; }

  // ---- transactions (connection_services.cpp) ----
  // Each refuses with AdsConnectionError "No connection to the database server." when not
  // connected; engine failures of begin, commit and rollback raise AdsError.
  virtual void BeginTransaction();
  // BeforeCommit, closes the cached statements, commits, AfterCommit.
  virtual void Commit();
  // InternalRollback: BeforeRollback, closes the cached statements, cancels every attached
  // dataset when CancelOnRollback, rolls back, refreshes every attached dataset that is
  // browsing, AfterRollback.
  virtual void Rollback();
  // Rolls back to the savepoint (an empty name: the whole transaction as Rollback does), with
  // no events and nothing done to statements or datasets.
  virtual void Rollback(const QString& strSavepoint);
  virtual void CreateSavepoint(const QString& strSavepoint);
  virtual bool TransactionActive();
  // Nesting depth of the connection's transaction (0: none).
  virtual int32_t TransactionCount();

  // ---- tables, links and procedures ----
  // Adds the names of the dictionary's tables (or, on a free-table connection, of the table
  // files the mask finds in the connection's folder; an alias of a known table type imposes
  // "*.adt" or "*.dbf") to poList (null: nothing).
  virtual void GetTableNames(TStringList* poList, const QString& strFileMask);
  // The same with the tables of linked dictionaries: each entry's link name (empty for the
  // dictionary's own tables) goes to poLinkNames and its table name to poTableNames, each when
  // given.
  virtual void GetTableAndLinkNames(TStringList* poLinkNames, TStringList* poTableNames, const QString& strFileMask);
  // Adds the names of the dictionary's stored procedures (connecting first); nothing on a
  // free-table connection or without a list.
  virtual void GetProcedureNames(TStringList* poList);
  // Number of links to other dictionaries.
  virtual int32_t GetNumActiveDDLinks();
  // Adds the ";"-separated pieces of link iLinkNum's description to poList (null: nothing);
  // text after the last ";" is not added.
  virtual void GetActiveDDLinkInfo(int32_t iLinkNum, TStringList* poList);
  void CreateDDLink(const QString& strLinkAlias, const QString& strLinkedDDPath, const QString& strUserName,
                    const QString& strPassword, TAdsLinkOptions Options);
  void DropDDLink(const QString& strLinkedDD, bool bDropGlobal);

  // ---- server information ----
  // The server's name; not connected: empty at design time, else AdsConnectionError "Must be
  // connected to get the database server name.".
  virtual QString ServerName();
  // "Local", "Remote" or "Internet"; empty when not connected.
  virtual QString ConnectionType();
  virtual bool IsConnectionAlive();
  // The dictionary's version; 0 unless connected to a dictionary.
  int32_t DDVersionMajor();
  int32_t DDVersionMinor();
  // The server's date and time (connecting first).
  virtual TDateTime GetServerTime();
  virtual void CloseCachedTables();

  // ---- user groups ----
  // The groups of Username in the dictionary, read once per connection.
  virtual TStringList* UserGroups();
  virtual QString UserGroupsString();

  // ---- application id ----
  QString ApplicationID() const { return FAppID; }
  virtual void SetApplicationID(const QString& value);
  virtual void SendApplicationID(const QString& value);
  // The application id the server holds for this connection; the stored one when not connected.
  virtual QString GetApplicationID();

  // ---- properties ----
  TAdsServerTypes AdsServerTypes() const { return FAdsServerTypes; }
  void SetAdsServerTypes(TAdsServerTypes value) { FAdsServerTypes = value; }
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }
  QString Username() const { return FUsername; }
  void SetUsername(const QString& value) { FUsername = value; }
  QString Password() const { return FPassword; }
  void SetPassword(const QString& value) { FPassword = value; }
  bool MiddleTierConnection() const { return FMiddleTierConn; }
  void SetMiddleTierConnection(bool value) { FMiddleTierConn = value; }
  bool StoredProcedureConnection() const { return FStoredProcConn; }
  void SetStoredProcedureConnection(bool value) { FStoredProcConn = value; }
  bool StoreConnected() const { return FbStoreConnected; }
  void SetStoreConnected(bool value) { FbStoreConnected = value; }
  TAdsCompressionTypes Compression() const { return FAdsCompression; }
  void SetCompression(TAdsCompressionTypes value) { FAdsCompression = value; }
  TAdsCommunicationType CommunicationType() const { return FAdsCommunicationType; }
  void SetCommunicationType(TAdsCommunicationType value) { FAdsCommunicationType = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool CancelOnRollback() const { return FCancelOnRollback; }
  void SetCancelOnRollback(bool value) { FCancelOnRollback = value; }
  int32_t SQLTimeout() const { return FSQLTimeout; }
  void SetSQLTimeout(int32_t value);
  QString AdsCollation() const { return FAdsCollation; }
  void SetAdsCollation(const QString& value) { FAdsCollation = value; }
  TAdsEncryptionOptions& EncryptionOptions() { return *FEncryptionOptions; }
  const TAdsEncryptionOptions& EncryptionOptions() const { return *FEncryptionOptions; }
  QString ExtraConnectString() const { return FExtraConnectString; }
  virtual void SetExtraConnectString(const QString& value);
  QString DateFormat() const { return FDateFormat; }
  // Connected: applied to the connection (an empty value is refused). Not connected: a
  // non-empty value must be a format the engine accepts ("Unrecognized DateFormat String");
  // it reaches the engine at the next connect.
  virtual void SetDateFormat(const QString& value);

  // ---- events ----
  TConnectionNotifyEvent BeforeConnect, AfterConnect, OnConnect;
  TConnectionNotifyEvent BeforeDisconnect, AfterDisconnect, OnDisconnect;
  TConnectionNotifyEvent BeforeCommit, AfterCommit, BeforeRollback, AfterRollback;
  TAdsDatabaseLoginEvent OnLogin;

  void SetName(const QString& name) override;

  // Loading from a stored form: a connect requested while loading waits for Loaded().
  void Loaded() override;

 protected:
  virtual void DoOnConnect();
  virtual void DoOnDisconnect();
  virtual void DoAfterCommit();
  virtual void DoBeforeCommit();
  virtual void DoAfterRollback();
  virtual void DoBeforeRollback();
  // Logs in when asked to and opens the engine connection; pathBuffer is the effective path
  // in the ANSI code page (at most 254 characters).
  virtual void OpenServerConnection(const QByteArray& pathBuffer);
  // True in this class: the connection is opened with the connect string.
  virtual bool UseConnectString() const { return true; }
  virtual void InternalRollback();
  virtual void ReadUserGroups();

 private:
  friend class TAdsEncryptionOptions;

  void DoConnect();
  void DoDisconnect();
  void CallEvent(const TConnectionNotifyEvent& event);
  // AdsConnectionError "No connection to the database server." when not connected.
  void RequireConnected() const;
  // Runs the statement steps of both Execute forms; options null for the first form.
  int32_t executeStatement(const TAdsDatasetOptions* options, const QString& SQL, TParams* Params, bool Cache,
                           ADSHANDLE* Cursor);
  void findTables(TStringList* poLinkNames, TStringList* poTableNames, const QString& strFileMask, bool withLinks);
  int32_t dictionaryVersion(uint16_t property);

  QString FAliasName;
  bool FValidAlias = true;
  bool FConnected = false;
  QString FConnectString;
  uint32_t FhConnection = 0;
  std::vector<AdsDataSetClient*> FTablesList;
  bool bConnectAfterLoad = false;
  QString mstrAliasPath;
  TAdsConnectionTableTypes meAliasTableType = ttAdsConnectUnspecified;
  bool FIsDictionaryConn = false;
  bool FLoginPrompt = true;
  QString FUsername;
  QString FPassword;
  TAdsServerTypes FAdsServerTypes = 0;
  std::vector<std::unique_ptr<TStmtInfo>> FStmtList;
  bool FMiddleTierConn = false;
  bool FStoredProcConn = false;
  bool FbStoreConnected = true;
  TAdsCompressionTypes FAdsCompression = ccAdsCompressionNotSet;
  TAdsCommunicationType FAdsCommunicationType = ctAdsDefault;
  bool FReadOnly = false;
  int32_t FThreadID = 0;
  uint32_t FGivenConnection = 0;
  TStringList FUserGroups;
  QString FUserGroupsString;
  bool FReadUserGroups = false;
  bool FCancelOnRollback = true;
  int32_t FSQLTimeout = 0;
  QString FAppID;
  QString FAdsCollation;
  std::unique_ptr<TAdsEncryptionOptions> FEncryptionOptions;
  QString FExtraConnectString;
  QString FDateFormat;
};

// True when path names a data dictionary: it ends, ignoring the case of a-z, in ".ADD" or in
// "__rootdd".
bool IsDataDictionaryPath(const QString& path);

// The pieces of text that a ";" ends, in order ("a;b;c" gives a and b): how a link's
// description is read.
QStringList SplitTerminatedPieces(const QString& text);

// The connection registry: every live TAdsConnection, in creation order.
class ConnectionRegistry {
 public:
  static ConnectionRegistry& Instance();
  // Runs fn for each live connection in list order while the registry is locked; fn returns
  // false to stop.
  void ForEach(const std::function<bool(TAdsConnection*)>& fn);
  void Add(TAdsConnection* c);
  void Remove(TAdsConnection* c);

 private:
  std::mutex lock_;
  std::vector<TAdsConnection*> items_;
};

// The dataset registry: every live dataset of the layer. Datasets register themselves at
// construction and leave at destruction; the connection component walks it when renamed.
class DataSetRegistry {
 public:
  static DataSetRegistry& Instance();
  void ForEach(const std::function<void(AdsDataSetClient*)>& fn);
  void Add(AdsDataSetClient* d);
  void Remove(AdsDataSetClient* d);

 private:
  std::mutex lock_;
  std::vector<AdsDataSetClient*> items_;
};
