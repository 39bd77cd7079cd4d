// TAdsConnection: the services on an open connection besides SQL execution: transactions and
// savepoints, the lists of tables, links and stored procedures, links to other dictionaries,
// server information, user groups, the application id and the date format.
//
// Engine results go to CheckAceResult without a dataset, except those of beginning, committing
// and rolling back a transaction, of the server's name, type and liveness and of the table
// enumerations, which raise AdsError with the engine's text.
#include <QByteArray>
#include <algorithm>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "runtime/data/params.h"
#include "runtime/sysutils.h"
#include "runtime/text.h"

namespace {

constexpr uint32_t kAeBufferTooSmall = 5005;
constexpr uint32_t kAeNoMoreTables = 5059;
constexpr uint32_t kAeNoMoreObjects = 5137;
constexpr uint32_t kAePropertyNotSet = 5138;
constexpr uint16_t kObjectProcedure = 10;
constexpr uint16_t kDictionaryVersionMajor = 111;
constexpr uint16_t kDictionaryVersionMinor = 112;
constexpr uint16_t kUserGroupMembership = 1102;
constexpr ADSHANDLE kNoFindHandle = 0xFFFFFFFFu;

UNSIGNED8* Bytes(QByteArray& a) { return reinterpret_cast<UNSIGNED8*>(a.data()); }

QString TextOf(const UNSIGNED8* buffer, size_t length) {
  return FromAnsi(QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(length)));
}

void RaiseAdsErrorOn(UNSIGNED32 rc) {
  if (rc != 0) throw AdsError(rc, 0);
}

}  // namespace

QStringList SplitTerminatedPieces(const QString& text) {
  QStringList pieces = text.split(QLatin1Char(';'));
  pieces.removeLast();  // what follows the last ";" (or the whole text without one)
  return pieces;
}

void TAdsConnection::RequireConnected() const {
  if (!FConnected) throw AdsConnectionError(QStringLiteral("No connection to the database server."));
}

// ---- transactions ----

void TAdsConnection::BeginTransaction() {
  RequireConnected();
  RaiseAdsErrorOn(AdsBeginTransaction(FhConnection));
}

void TAdsConnection::Commit() {
  RequireConnected();
  DoBeforeCommit();
  CloseCachedStatements();
  RaiseAdsErrorOn(AdsCommitTransaction(FhConnection));
  DoAfterCommit();
}

void TAdsConnection::Rollback() {
  RequireConnected();
  InternalRollback();
}

void TAdsConnection::Rollback(const QString& strSavepoint) {
  RequireConnected();
  if (strSavepoint.isEmpty()) {
    InternalRollback();
    return;
  }
  QByteArray name = ToAnsi(strSavepoint);
  CheckAceResult(nullptr, AdsRollbackTransaction80(FhConnection, Bytes(name), 0));
}

void TAdsConnection::InternalRollback() {
  DoBeforeRollback();
  CloseCachedStatements();
  if (FCancelOnRollback) {
    for (AdsDataSetClient* ds : std::vector<AdsDataSetClient*>(FTablesList)) ds->Cancel();
  }
  RaiseAdsErrorOn(AdsRollbackTransaction(FhConnection));
  // The records the datasets show may have been put back: each browsing dataset reads again.
  for (AdsDataSetClient* ds : std::vector<AdsDataSetClient*>(FTablesList)) {
    if (ds->IsBrowsing()) ds->Refresh();
  }
  DoAfterRollback();
}

void TAdsConnection::CreateSavepoint(const QString& strSavepoint) {
  RequireConnected();
  QByteArray name = ToAnsi(strSavepoint);
  CheckAceResult(nullptr, AdsCreateSavepoint(FhConnection, Bytes(name), 0));
}

bool TAdsConnection::TransactionActive() {
  UNSIGNED16 inTransaction = 0;
  CheckAceResult(nullptr, AdsInTransaction(FhConnection, &inTransaction));
  return inTransaction == 1;
}

int32_t TAdsConnection::TransactionCount() {
  UNSIGNED32 count = 0;
  CheckAceResult(nullptr, AdsGetTransactionCount(FhConnection, &count));
  return static_cast<int32_t>(count);
}

// ---- tables, links and procedures ----

void TAdsConnection::GetTableNames(TStringList* poList, const QString& strFileMask) {
  RequireConnected();
  if (poList == nullptr) return;
  findTables(nullptr, poList, strFileMask, false);
}

void TAdsConnection::GetTableAndLinkNames(TStringList* poLinkNames, TStringList* poTableNames,
                                          const QString& strFileMask) {
  RequireConnected();
  findTables(poLinkNames, poTableNames, strFileMask, true);
}

void TAdsConnection::findTables(TStringList* poLinkNames, TStringList* poTableNames, const QString& strFileMask,
                                bool withLinks) {
  QString search;
  if (!FIsDictionaryConn) {
    QString base = GetConnectionWithDDPath();
    if (base.endsWith(QLatin1Char('/')) || base.endsWith(QLatin1Char('\\'))) base.chop(1);
    QString mask;
    switch (meAliasTableType) {
      case ttAdsConnectUnspecified: mask = strFileMask; break;
      case ttAdsConnectADT: mask = QStringLiteral("*.adt"); break;
      default: mask = QStringLiteral("*.dbf"); break;
    }
    search = base + QLatin1Char('\\') + mask;
  }
  QByteArray pattern = ToAnsi(search);
  ADSHANDLE find = 0;
  try {
    UNSIGNED8 link[261] = {};
    UNSIGNED8 name[261] = {};
    UNSIGNED16 linkLength = 260;
    UNSIGNED16 nameLength = 260;
    UNSIGNED32 rc = withLinks ? AdsFindFirstTable62(FhConnection, Bytes(pattern), link, &linkLength, name, &nameLength, &find)
                              : AdsFindFirstTable(FhConnection, Bytes(pattern), name, &nameLength, &find);
    while (rc == 0) {
      if (poLinkNames != nullptr) poLinkNames->Add(TextOf(link, linkLength));
      if (poTableNames != nullptr) poTableNames->Add(TextOf(name, nameLength));
      linkLength = 260;
      nameLength = 260;
      rc = withLinks ? AdsFindNextTable62(FhConnection, find, link, &linkLength, name, &nameLength)
                     : AdsFindNextTable(FhConnection, find, name, &nameLength);
    }
    if (rc != kAeNoMoreTables) RaiseAdsErrorOn(rc);
  } catch (...) {
    // The enumeration's own failure is the one to report.
    if (find != 0) AdsFindClose(FhConnection, find);
    throw;
  }
  // The enumeration is complete; whether the engine could forget it does not change the list.
  if (find != 0) AdsFindClose(FhConnection, find);
}

void TAdsConnection::GetProcedureNames(TStringList* poList) {
  if (!FConnected) SetIsConnected(true);
  if (poList == nullptr || !FIsDictionaryConn) return;
  ADSHANDLE find = kNoFindHandle;
  try {
    QByteArray parent;
    UNSIGNED8 name[201] = {};
    UNSIGNED16 length = 200;
    UNSIGNED32 rc = AdsDDFindFirstObject(FhConnection, kObjectProcedure, Bytes(parent), name, &length, &find);
    while (rc == 0) {
      poList->Add(TextOf(name, std::min<size_t>(length, 200)));
      length = 200;
      rc = AdsDDFindNextObject(FhConnection, find, name, &length);
    }
    if (rc != kAeNoMoreObjects) CheckAceResult(nullptr, rc);
  } catch (...) {
    // The enumeration's own failure is the one to report.
    if (find != kNoFindHandle) AdsDDFindClose(FhConnection, find);
    throw;
  }
  // The list is complete; whether the engine could forget the enumeration does not change it.
  if (find != kNoFindHandle) AdsDDFindClose(FhConnection, find);
}

int32_t TAdsConnection::GetNumActiveDDLinks() {
  UNSIGNED16 count = 0;
  CheckAceResult(nullptr, AdsGetNumActiveLinks(FhConnection, &count));
  return count;
}

void TAdsConnection::GetActiveDDLinkInfo(int32_t iLinkNum, TStringList* poList) {
  if (poList == nullptr) return;
  UNSIGNED8 info[665] = {};
  UNSIGNED16 length = 664;
  CheckAceResult(nullptr, AdsGetActiveLinkInfo(FhConnection, static_cast<UNSIGNED16>(iLinkNum), info, &length));
  poList->AddStrings(SplitTerminatedPieces(TextOf(info, length)));
}

void TAdsConnection::CreateDDLink(const QString& strLinkAlias, const QString& strLinkedDDPath,
                                  const QString& strUserName, const QString& strPassword, TAdsLinkOptions Options) {
  QByteArray alias = ToAnsi(strLinkAlias);
  QByteArray path = ToAnsi(strLinkedDDPath);
  QByteArray user = ToAnsi(strUserName);
  QByteArray password = ToAnsi(strPassword);
  CheckAceResult(nullptr, AdsDDCreateLink(FhConnection, Bytes(alias), Bytes(path), Bytes(user), Bytes(password),
                                          Options & 7u));
}

void TAdsConnection::DropDDLink(const QString& strLinkedDD, bool bDropGlobal) {
  QByteArray alias = ToAnsi(strLinkedDD);
  CheckAceResult(nullptr, AdsDDDropLink(FhConnection, Bytes(alias), bDropGlobal ? 1 : 0));
}

// ---- server information ----

QString TAdsConnection::ServerName() {
  if (!FConnected) {
    if (ComponentStateHas(csDesigning)) return QString();
    throw AdsConnectionError(QStringLiteral("Must be connected to get the database server name."));
  }
  UNSIGNED8 name[256] = {};
  UNSIGNED16 length = 255;
  RaiseAdsErrorOn(AdsGetServerName(FhConnection, name, &length));
  return TextOf(name, length);
}

QString TAdsConnection::ConnectionType() {
  if (!FConnected) return QString();
  UNSIGNED16 type = 0;
  RaiseAdsErrorOn(AdsGetConnectionType(FhConnection, &type));
  switch (type) {
    case ADS_LOCAL_SERVER: return QStringLiteral("Local");
    case ADS_REMOTE_SERVER: return QStringLiteral("Remote");
    case ADS_AIS_SERVER: return QStringLiteral("Internet");
    default: return QString();
  }
}

bool TAdsConnection::IsConnectionAlive() {
  if (!FConnected) return false;
  UNSIGNED16 alive = 0;
  RaiseAdsErrorOn(AdsIsConnectionAlive(FhConnection, &alive));
  return alive != 0;
}

int32_t TAdsConnection::dictionaryVersion(uint16_t property) {
  if (!FConnected || !FIsDictionaryConn) return 0;
  UNSIGNED16 value = 0;
  UNSIGNED16 length = sizeof value;
  CheckAceResult(nullptr, AdsDDGetDatabaseProperty(FhConnection, property, &value, &length));
  return value;
}

int32_t TAdsConnection::DDVersionMajor() { return dictionaryVersion(kDictionaryVersionMajor); }
int32_t TAdsConnection::DDVersionMinor() { return dictionaryVersion(kDictionaryVersionMinor); }

TDateTime TAdsConnection::GetServerTime() {
  if (!FConnected) SetIsConnected(true);
  UNSIGNED8 date[70] = {};
  UNSIGNED8 time[70] = {};
  UNSIGNED16 dateLength = 69;
  UNSIGNED16 timeLength = 69;
  SIGNED32 milliseconds = 0;
  CheckAceResult(nullptr, AdsGetServerTime(FhConnection, date, &dateLength, &milliseconds, time, &timeLength));
  DOUBLE julian = 0;
  CheckAceResult(nullptr, AdsConvertDateToJulian(FhConnection, date, dateLength, &julian));
  UNSIGNED8 text[70] = {};
  UNSIGNED16 textLength = 69;
  CheckAceResult(nullptr, AdsConvertJulianToString(julian, text, &textLength));
  // The engine's date text is YYYYMMDD.
  const QString ymd = TextOf(text, textLength);
  return EncodeDate(StrToInt(ymd.mid(0, 4)), StrToInt(ymd.mid(4, 2)), StrToInt(ymd.mid(6, 2))) +
         milliseconds / 86400000.0;
}

void TAdsConnection::CloseCachedTables() {
  if (FConnected) CheckAceResult(nullptr, AdsCloseCachedTables(FhConnection));
}

// ---- user groups ----

TStringList* TAdsConnection::UserGroups() {
  if (!FReadUserGroups) ReadUserGroups();
  return &FUserGroups;
}

QString TAdsConnection::UserGroupsString() {
  if (!FReadUserGroups) ReadUserGroups();
  return FUserGroupsString;
}

void TAdsConnection::ReadUserGroups() {
  FUserGroups.Clear();
  FUserGroupsString.clear();
  if (!FConnected || !FIsDictionaryConn) return;
  QByteArray user = ToAnsi(FUsername);
  UNSIGNED16 size = 0;
  const UNSIGNED32 rc = AdsDDGetUserProperty(FhConnection, Bytes(user), kUserGroupMembership, nullptr, &size);
  // Asking for the size answers "buffer too small", or "not set" for a user in no group.
  if (rc != kAeBufferTooSmall && rc != kAePropertyNotSet) CheckAceResult(nullptr, rc);
  if (size != 0) {
    QByteArray buffer(size, '\0');
    UNSIGNED16 length = size;
    CheckAceResult(nullptr, AdsDDGetUserProperty(FhConnection, Bytes(user), kUserGroupMembership, buffer.data(), &length));
    FUserGroupsString = TextOf(reinterpret_cast<const UNSIGNED8*>(buffer.constData()), std::min<size_t>(length, size));
    FUserGroups.AddStrings(FUserGroupsString.split(QLatin1Char(';')));
  }
  FReadUserGroups = true;
}

// ---- application id ----

void TAdsConnection::SetApplicationID(const QString& value) {
  if (value != FAppID) SendApplicationID(value);
}

void TAdsConnection::SendApplicationID(const QString& value) {
  FAppID = value;
  if (!FConnected) return;
  TParams params;
  params.CreateParam(ftString, QStringLiteral("FAppID"), ptInput)->SetAsString(value);
  Execute(QStringLiteral("execute procedure sp_setapplicationid(:FAppID)"), &params, false, nullptr);
}

QString TAdsConnection::GetApplicationID() {
  if (!FConnected) return FAppID;
  ADSHANDLE statement = 0;
  CheckAceResult(nullptr, AdsCreateSQLStatement(FhConnection, &statement));
  QString id;
  try {
    QByteArray sql("execute procedure sp_getapplicationid( )");
    ADSHANDLE cursor = 0;
    CheckAceResult(nullptr, AdsExecuteSQLDirect(statement, Bytes(sql), &cursor));
    QByteArray field("ApplicationID");
    UNSIGNED8 buffer[302] = {};
    UNSIGNED32 length = 301;
    CheckAceResult(nullptr, AdsGetField(cursor, Bytes(field), buffer, &length, 3));
    id = TextOf(buffer, std::min<size_t>(length, 301));
  } catch (...) {
    // The statement (and its cursor) goes; the failure being raised is the one to report.
    AdsCloseSQLStatement(statement);
    throw;
  }
  CheckAceResult(nullptr, AdsCloseSQLStatement(statement));
  return id;
}

// ---- date format ----

void TAdsConnection::SetDateFormat(const QString& value) {
  QByteArray format = ToAnsi(value.left(11));
  if (FConnected) {
    if (value.isEmpty())
      throw AdsConnectionError(
          QStringLiteral("The TAdsConnection.DateFormat may not be set to an empty string when IsConnected is TRUE"));
    CheckAceResult(nullptr, AdsSetDateFormat60(FhConnection, Bytes(format)));
  } else if (!value.isEmpty()) {
    // The engine judges the format: it is tried as the process's format, which is then put back.
    UNSIGNED8 saved[13] = {};
    UNSIGNED16 savedLength = 12;
    CheckAceResult(nullptr, AdsGetDateFormat(saved, &savedLength));
    const UNSIGNED32 rc = AdsSetDateFormat(Bytes(format));
    CheckAceResult(nullptr, AdsSetDateFormat(saved));
    if (rc != 0) throw AdsConnectionError(QStringLiteral("Unrecognized DateFormat String"));
  }
  FDateFormat = value;
}
