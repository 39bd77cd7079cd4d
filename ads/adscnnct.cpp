// TAdsConnection: construction, path and alias rules, connecting and disconnecting, the connect
// string, attached datasets, adopting a handle, renaming, loading and destruction. The
// exception classes are in ads_errors.cpp, the registries in connection_registry.cpp.
#include "ads/adscnnct.h"

#include <unistd.h>

#include <sys/syscall.h>

#include <QRegularExpression>
#include <algorithm>

#include "ads/ace.h"
#include "ads/alias_file.h"
#include "runtime/text.h"

namespace {

TLoginDialogHook& LoginDialogHook() {
  static TLoginDialogHook hook;
  return hook;
}

TApplicationExceptionHook& ApplicationExceptionHook() {
  static TApplicationExceptionHook hook;
  return hook;
}

int32_t CurrentThreadId() { return static_cast<int32_t>(::syscall(SYS_gettid)); }

TAdsConnectionTableTypes AliasTableType(QChar letter) {
  switch (letter.toUpper().unicode()) {
    case 'N': return ttAdsConnectNTX;
    case 'C': return ttAdsConnectCDX;
    case 'A': return ttAdsConnectADT;
    case 'V': return ttAdsConnectVFP;
    default: return ttAdsConnectUnspecified;
  }
}

// ANSI text of at most maxChars characters, zero-terminated, for a fixed engine buffer.
QByteArray AnsiCut(const QString& text, int maxChars) { return ToAnsi(text.left(maxChars)); }

UNSIGNED8* Bytes(QByteArray& a) { return reinterpret_cast<UNSIGNED8*>(a.data()); }

QString ReadConnectionText(uint32_t handle, uint32_t property) {
  UNSIGNED8 buffer[261] = {};
  UNSIGNED32 length = 260;
  CheckAceResult(nullptr, AdsGetConnectionProperty(handle, static_cast<UNSIGNED16>(property), buffer, &length));
  buffer[260] = 0;
  return FromAnsi(reinterpret_cast<const char*>(buffer));
}

}  // namespace

void SetLoginDialogHook(TLoginDialogHook hook) { LoginDialogHook() = std::move(hook); }
void SetApplicationExceptionHook(TApplicationExceptionHook hook) { ApplicationExceptionHook() = std::move(hook); }

bool IsDataDictionaryPath(const QString& path) {
  const QString upper = UpperCaseAZ(path);
  return upper.endsWith(QStringLiteral(".ADD")) || upper.endsWith(QStringLiteral("__ROOTDD"));
}

// ---- encryption options ----

void TAdsEncryptionOptions::CheckNotConnected() const {
  if (FConnection != nullptr && FConnection->IsConnected())
    throw AdsConnectionError(QStringLiteral("Connection cannot be active when changing property."));
}
void TAdsEncryptionOptions::SetDataDictionaryPassword(const QString& value) { CheckNotConnected(); FDDPassword = value; }
void TAdsEncryptionOptions::SetTLSCertificate(const QString& value) { CheckNotConnected(); FCertificate = value; }
void TAdsEncryptionOptions::SetTLSCipherSuite(TAdsTLSCipherSuites value) { CheckNotConnected(); FCipherSuites = value; }
void TAdsEncryptionOptions::SetTLSCommonName(const QString& value) { CheckNotConnected(); FCommonName = value; }
void TAdsEncryptionOptions::SetFIPSMode(bool value) { CheckNotConnected(); FFIPSMode = value; }
void TAdsEncryptionOptions::SetDataEncryptionType(TAdsDataEncryptionType value) {
  CheckNotConnected();
  FDataEncryptionType = value;
}

// ---- construction and destruction ----

TAdsConnection::TAdsConnection(TComponent* Owner)
    : TComponent(Owner), FThreadID(CurrentThreadId()),
      FEncryptionOptions(std::make_unique<TAdsEncryptionOptions>(this)) {
  ConnectionRegistry::Instance().Add(this);
}

std::unique_ptr<TAdsConnection> TAdsConnection::CreateWithHandle(TComponent* Owner, uint32_t Handle) {
  auto c = std::make_unique<TAdsConnection>(Owner);
  c->SetHandle(Handle, true);
  return c;
}

std::unique_ptr<TAdsConnection> TAdsConnection::CreateFromHandle(TComponent* Owner, uint32_t Handle,
                                                                 const QString& strName) {
  auto c = std::make_unique<TAdsConnection>(Owner);
  c->SetLoginPrompt(false);
  c->SetHandle(Handle, false);
  c->SetName(strName);
  return c;
}

TAdsConnection::~TAdsConnection() {
  // Destruction must complete whatever the engine answers: failures here are reported by
  // nobody, as there is nobody left to receive them.
  if (FConnected) {
    for (AdsDataSetClient* ds : std::vector<AdsDataSetClient*>(FTablesList)) {
      try {
        ds->SetActive(false);
      } catch (const Exception&) {
        // A dataset that fails to close is forgotten all the same.
      }
      ds->InvalidateAceHandles();
      ds->DetachConnection();
    }
    FTablesList.clear();
    try {
      CloseCachedStatements();
    } catch (const Exception&) {
      // Statements die with the engine connection below.
    }
    FStmtList.clear();
    if (FGivenConnection == 0 && FhConnection != 0) {
      // 5024 (connection already gone) and every other failure are ignored: the handle is
      // released by the engine with its process at the latest.
      AdsDisconnect(FhConnection);
    }
    FConnected = false;
    try {
      DoOnDisconnect();
    } catch (const std::exception&) {
      // An event handler failing during destruction cannot be reported.
    }
    FhConnection = 0;
  } else {
    for (AdsDataSetClient* ds : FTablesList) ds->DetachConnection();
    FTablesList.clear();
  }
  ConnectionRegistry::Instance().Remove(this);
}

// ---- path and alias ----

void TAdsConnection::SetConnectPath(const QString& value) {
  if (FConnected)
    throw AdsConnectionError(QStringLiteral("The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE"));
  FConnectString = value;
  FIsDictionaryConn = IsDataDictionaryPath(value);
  FAliasName.clear();
  mstrAliasPath.clear();
  meAliasTableType = ttAdsConnectUnspecified;
}

void TAdsConnection::SetAliasName(const QString& value) {
  if (FConnected)
    throw AdsConnectionError(QStringLiteral("The TAdsConnection.AliasName may not be changed when IsConnected is TRUE"));
  FValidAlias = true;
  if (value.isEmpty()) {
    FAliasName.clear();
    mstrAliasPath.clear();
    meAliasTableType = ttAdsConnectUnspecified;
    return;
  }
  const AdsAliasEntry entry = LookupAdsAlias(value);
  if (!entry.found()) {
    FValidAlias = false;
    FAliasName = value;
    mstrAliasPath.clear();
    meAliasTableType = ttAdsConnectUnspecified;
    return;
  }
  FConnectString.clear();
  FAliasName = value;
  mstrAliasPath = entry.path;
  meAliasTableType = AliasTableType(entry.typeLetter);
  FIsDictionaryConn = IsDataDictionaryPath(mstrAliasPath);

  // Datasets of the same owner that use this connection by name follow the alias's table type.
  TAdsTableTypes datasetType;
  switch (meAliasTableType) {
    case ttAdsConnectCDX: datasetType = ttAdsCDX; break;
    case ttAdsConnectNTX: datasetType = ttAdsNTX; break;
    case ttAdsConnectADT: datasetType = ttAdsADT; break;
    case ttAdsConnectVFP: datasetType = ttAdsVFP; break;
    default: return;
  }
  for (AdsDataSetClient* ds : FTablesList) {
    if (ds->ClientComponent().Owner() != Owner()) continue;
    const QString dbName = ds->DatabaseName();
    if (dbName.isEmpty() || dbName == Name()) ds->SetTableType(datasetType);
  }
}

QString TAdsConnection::GetConnectionWithDDPath() const {
  return !FConnectString.isEmpty() ? FConnectString : mstrAliasPath;
}

QString TAdsConnection::GetConnectionPath() const {
  QString path = GetConnectionWithDDPath();
  const qsizetype n = path.size();
  if (n > 4 && path[n - 4] == QLatin1Char('.') && UpperCaseAZ(path.right(3)) == QStringLiteral("ADD")) {
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0) cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0) return QStringLiteral(".\\");
    path.truncate(cut);
  }
  return path;
}

// ---- connecting ----

void TAdsConnection::SetIsConnected(bool value) {
  if (value == FConnected) return;
  if (ComponentStateHas(csLoading) && value) {
    bConnectAfterLoad = true;
    return;
  }
  FReadUserGroups = false;
  if (value)
    DoConnect();
  else
    DoDisconnect();
}

void TAdsConnection::DoConnect() {
  CallEvent(BeforeConnect);
  if (!FValidAlias) {
    SetAliasName(FAliasName);
    if (!FValidAlias) throw AdsConnectionError(QStringLiteral("TAdsConnection.AliasName is not valid"));
  }
  const QString path = GetConnectionWithDDPath();
  if (path.isEmpty())
    throw AdsConnectionError(QStringLiteral("Must specify connection string before getting a server connection."));
  if (FGivenConnection != 0) {
    FhConnection = FGivenConnection;
  } else {
    OpenServerConnection(AnsiCut(path, 254));
  }
  FConnected = true;
  if (!FAppID.isEmpty()) SendApplicationID(FAppID);
  if (FIsDictionaryConn) {
    for (AdsDataSetClient* ds : std::vector<AdsDataSetClient*>(FTablesList)) ds->UpdateDefaultIndex();
  }
  CallEvent(AfterConnect);
  DoOnConnect();
}

void TAdsConnection::DoDisconnect() {
  CallEvent(BeforeDisconnect);
  for (AdsDataSetClient* ds : std::vector<AdsDataSetClient*>(FTablesList)) {
    try {
      ds->SetActive(false);
    } catch (const Exception&) {
      // A dataset that cannot close cleanly is closed by the end of the engine connection.
    }
    ds->InvalidateAceHandles();
  }
  // A statement that fails to close must not keep the connection open: the failure is
  // raised once the component has reached the disconnected state.
  std::exception_ptr statementFailure;
  try {
    CloseCachedStatements();
  } catch (const Exception&) {
    statementFailure = std::current_exception();
  }
  std::unique_ptr<AdsError> pending;
  if (FGivenConnection == 0) {
    const UNSIGNED32 rc = AdsDisconnect(FhConnection);
    if (rc != 0) pending = std::make_unique<AdsError>(rc, 0);
  }
  FConnected = false;
  FhConnection = 0;
  CallEvent(AfterDisconnect);
  DoOnDisconnect();
  if (pending) throw AdsError(*pending);
  if (statementFailure) std::rethrow_exception(statementFailure);
}

void TAdsConnection::OpenServerConnection(const QByteArray& pathBuffer) {
  if (FLoginPrompt && FIsDictionaryConn) {
    QString user;
    QString password;
    if (OnLogin) {
      OnLogin(this, user, password);
    } else {
      user = FUsername;
      if (LoginDialogHook()) {
        if (!LoginDialogHook()(Name(), user, password))
          throw EDatabaseError(QStringLiteral("Cannot connect to database '") + Name() + QStringLiteral("'"));
      } else {
        password = FPassword;
      }
    }
    FUsername = user;
    if (!ComponentStateHas(csDesigning)) FPassword = password;
  }

  if (UseConnectString()) {
    QByteArray connectString = ToAnsi(ConnectString());
    UNSIGNED32 handle = 0;
    const UNSIGNED32 rc = AdsConnect101(Bytes(connectString), nullptr, &handle);
    if (rc == 0) FhConnection = handle;
    CheckAceResult(nullptr, rc);
    return;
  }

  QByteArray path = pathBuffer;
  QByteArray user = FIsDictionaryConn ? AnsiCut(FUsername, 260) : QByteArray();
  QByteArray password = FIsDictionaryConn ? AnsiCut(FPassword, 260) : QByteArray();
  UNSIGNED16 serverTypes = 0;
  if (FAdsServerTypes & AdsServerTypeBit(stADS_REMOTE)) serverTypes |= 2;
  if (FAdsServerTypes & AdsServerTypeBit(stADS_LOCAL)) serverTypes |= 1;
  if (FAdsServerTypes & AdsServerTypeBit(stADS_AIS)) serverTypes |= 4;
  UNSIGNED32 options = 0;
  if (FMiddleTierConn) options |= 1;
  if (FStoredProcConn) options |= 2;
  switch (FAdsCompression) {
    case ccAdsCompressInternet: options |= 0xC; break;
    case ccAdsCompressAlways: options |= 4; break;
    case ccAdsCompressNever: options |= 8; break;
    default: break;
  }
  switch (FAdsCommunicationType) {
    case ctAdsUDPIP: options |= 0x20; break;
    case ctAdsIPX: options |= 0x40; break;
    case ctAdsTCPIP: options |= 0x80; break;
    case ctAdsTLS: options |= 0x1000; break;
    default: break;
  }
  UNSIGNED32 handle = 0;
  const UNSIGNED32 rc = AdsConnect60(Bytes(path), serverTypes, Bytes(user), Bytes(password), options, &handle);
  if (rc == 0) FhConnection = handle;
  CheckAceResult(nullptr, rc);
  if (FSQLTimeout != 0) CheckAceResult(nullptr, AdsSetSQLTimeout(FhConnection, static_cast<UNSIGNED32>(FSQLTimeout)));
}

QString TAdsConnection::ConnectString() const {
  QString s;
  s += QStringLiteral("Data Source=%1;").arg(GetConnectionWithDDPath().left(255));
  if (FIsDictionaryConn && !FUsername.isEmpty()) {
    s += QStringLiteral("User ID=%1;").arg(FUsername);
    if (!FPassword.isEmpty()) s += QStringLiteral("Password=\"%1\";").arg(FPassword);
  }
  const TAdsEncryptionOptions& e = *FEncryptionOptions;
  s += QStringLiteral("FIPS=%1;").arg(e.FIPSMode() ? QStringLiteral("True") : QStringLiteral("False"));
  if (!e.DataDictionaryPassword().isEmpty()) s += QStringLiteral("DDPassword=%1;").arg(e.DataDictionaryPassword());
  switch (e.DataEncryptionType()) {
    case etAdsAES128: s += QStringLiteral("EncryptionType=AES128;"); break;
    case etAdsAES256: s += QStringLiteral("EncryptionType=AES256;"); break;
    case etAdsRC4: s += QStringLiteral("EncryptionType=RC4;"); break;
    default: break;
  }
  if (!e.TLSCertificate().isEmpty()) s += QStringLiteral("TLSCertificate=%1;").arg(e.TLSCertificate());
  if (!e.TLSCommonName().isEmpty()) s += QStringLiteral("TLSCommonName=%1;").arg(e.TLSCommonName());
  if (e.TLSCipherSuite() != 0) {
    QStringList ciphers;
    if (e.TLSCipherSuite() & (1u << tlsAES128SHA)) ciphers << QStringLiteral("AES128-SHA");
    if (e.TLSCipherSuite() & (1u << tlsAES256SHA)) ciphers << QStringLiteral("AES256-SHA");
    if (e.TLSCipherSuite() & (1u << tlsRC4MD5)) ciphers << QStringLiteral("RC4-MD5");
    s += QStringLiteral("TLSCiphers=%1;").arg(ciphers.join(QLatin1Char(':')));
  }
  switch (FAdsCommunicationType) {
    case ctAdsUDPIP: s += QStringLiteral("CommType=UDP_IP;"); break;
    case ctAdsIPX: s += QStringLiteral("CommType=IPX;"); break;
    case ctAdsTCPIP: s += QStringLiteral("CommType=TCP_IP;"); break;
    case ctAdsTLS: s += QStringLiteral("CommType=TLS;"); break;
    default: break;
  }
  switch (FAdsCompression) {
    case ccAdsCompressInternet: s += QStringLiteral("Compression=INTERNET;"); break;
    case ccAdsCompressAlways: s += QStringLiteral("Compression=ALWAYS;"); break;
    case ccAdsCompressNever: s += QStringLiteral("Compression=NEVER;"); break;
    default: break;
  }
  if (FSQLTimeout != 0) s += QStringLiteral("SQLTimeout=%1;").arg(FSQLTimeout);
  if (FMiddleTierConn) s += QStringLiteral("IncrementUserCount=TRUE;");
  if (FStoredProcConn) s += QStringLiteral("StoredProcedureConnection=TRUE;");
  if (FAdsServerTypes != 0) {
    QStringList words;
    if (FAdsServerTypes & AdsServerTypeBit(stADS_LOCAL)) words << QStringLiteral("LOCAL");
    if (FAdsServerTypes & AdsServerTypeBit(stADS_REMOTE)) words << QStringLiteral("REMOTE");
    if (FAdsServerTypes & AdsServerTypeBit(stADS_AIS)) words << QStringLiteral("INTERNET");
    s += QStringLiteral("ServerType=%1;").arg(words.join(QLatin1Char('|')));
  }
  if (!FDateFormat.isEmpty()) s += QStringLiteral("DateFormat=%1;").arg(FDateFormat);
  switch (meAliasTableType) {
    case ttAdsConnectCDX: s += QStringLiteral("TableType=CDX;"); break;
    case ttAdsConnectNTX: s += QStringLiteral("TableType=NTX;"); break;
    case ttAdsConnectADT: s += QStringLiteral("TableType=ADT;"); break;
    case ttAdsConnectVFP: s += QStringLiteral("TableType=VFP;"); break;
    default: break;
  }
  s += FExtraConnectString;
  return s;
}

void TAdsConnection::SetHandle(uint32_t hConnection, bool bShareHandle) {
  if (FConnected || FhConnection != 0)
    throw AdsConnectionError(QStringLiteral("TAdsConnection already has a working connection"));
  {
    UNSIGNED8 buffer[260] = {};
    UNSIGNED16 length = 259;
    if (AdsGetConnectionPath(hConnection, buffer, &length) != 0)
      throw AdsConnectionError(
          QStringLiteral("TAdsConnection cannot resolve the connection path from the given connection handle."));
    buffer[259] = 0;
    SetConnectPath(FromAnsi(reinterpret_cast<const char*>(buffer)));
  }
  FUsername = ReadConnectionText(hConnection, 0);
  FPassword = ReadConnectionText(hConnection, 1);
  UNSIGNED16 connectionType = 0;
  CheckAceResult(nullptr, AdsGetConnectionType(hConnection, &connectionType));
  if (connectionType & 2) FAdsServerTypes |= AdsServerTypeBit(stADS_REMOTE);
  if (connectionType & 1) FAdsServerTypes |= AdsServerTypeBit(stADS_LOCAL);
  if (connectionType & 4) FAdsServerTypes |= AdsServerTypeBit(stADS_AIS);
  {
    const QString type = UpperCaseAZ(ReadConnectionText(hConnection, 3));
    FEncryptionOptions->FDataEncryptionType = type == QStringLiteral("RC4")      ? etAdsRC4
                                              : type == QStringLiteral("AES128") ? etAdsAES128
                                              : type == QStringLiteral("AES256") ? etAdsAES256
                                                                                 : etAdsDefault;
  }
  FEncryptionOptions->FCertificate = ReadConnectionText(hConnection, 5);
  {
    const QString ciphers = UpperCaseAZ(ReadConnectionText(hConnection, 6));
    static const QRegularExpression kSeparators(QStringLiteral("[:;]"));
    for (const QString& piece : ciphers.split(kSeparators)) {
      if (piece == QStringLiteral("AES128-SHA")) FEncryptionOptions->FCipherSuites |= 1u << tlsAES128SHA;
      if (piece == QStringLiteral("AES256-SHA")) FEncryptionOptions->FCipherSuites |= 1u << tlsAES256SHA;
      if (piece == QStringLiteral("RC4-MD5")) FEncryptionOptions->FCipherSuites |= 1u << tlsRC4MD5;
    }
  }
  FEncryptionOptions->FCommonName = ReadConnectionText(hConnection, 7);
  {
    UNSIGNED16 fips = 0;
    UNSIGNED32 length = sizeof(fips);
    CheckAceResult(nullptr, AdsGetConnectionProperty(hConnection, 4, reinterpret_cast<UNSIGNED8*>(&fips), &length));
    FEncryptionOptions->FFIPSMode = fips != 0;
  }
  {
    UNSIGNED32 comm = 0;
    UNSIGNED32 length = sizeof(comm);
    CheckAceResult(nullptr, AdsGetConnectionProperty(hConnection, 2, reinterpret_cast<UNSIGNED8*>(&comm), &length));
    if (comm == 1) FAdsCommunicationType = ctAdsTCPIP;
    if (comm == 5) FAdsCommunicationType = ctAdsTLS;
  }
  if (bShareHandle) FGivenConnection = hConnection;
  SetIsConnected(true);
}

// ---- attached datasets ----

void TAdsConnection::AddTableToConnectList(AdsDataSetClient* Table) { FTablesList.push_back(Table); }

void TAdsConnection::RemoveTableFromConnectList(AdsDataSetClient* oCallee) {
  auto it = std::find(FTablesList.begin(), FTablesList.end(), oCallee);
  if (it != FTablesList.end()) FTablesList.erase(it);
}

AdsDataSetClient* TAdsConnection::GetDataSet(int Index) const {
  if (Index < 0 || Index >= DataSetCount())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(Index));
  return FTablesList[static_cast<size_t>(Index)];
}

// ---- properties ----

void TAdsConnection::SetSQLTimeout(int32_t value) {
  FSQLTimeout = value;
  if (FConnected) CheckAceResult(nullptr, AdsSetSQLTimeout(FhConnection, static_cast<UNSIGNED32>(value)));
}

void TAdsConnection::SetExtraConnectString(const QString& value) {
  if (FConnected)
    throw AdsConnectionError(
        QStringLiteral("The TAdsConnection.ExtraConnectString may not be changed when IsConnected is TRUE"));
  FExtraConnectString = value;
}

// ---- events ----

void TAdsConnection::CallEvent(const TConnectionNotifyEvent& event) {
  if (event) event(this);
}
void TAdsConnection::DoOnConnect() { CallEvent(OnConnect); }
void TAdsConnection::DoOnDisconnect() { CallEvent(OnDisconnect); }
void TAdsConnection::DoAfterCommit() { CallEvent(AfterCommit); }
void TAdsConnection::DoBeforeCommit() { CallEvent(BeforeCommit); }
void TAdsConnection::DoAfterRollback() { CallEvent(AfterRollback); }
void TAdsConnection::DoBeforeRollback() { CallEvent(BeforeRollback); }

// ---- loading and renaming ----

void TAdsConnection::Loaded() {
  TComponent::Loaded();
  if (!bConnectAfterLoad || FConnected) return;
  if (ComponentStateHas(csDesigning)) {
    try {
      SetIsConnected(true);
    } catch (const Exception& e) {
      // At design time a failed connect is shown by the application's handler, or dropped.
      if (ApplicationExceptionHook()) ApplicationExceptionHook()(e);
    }
  } else {
    SetIsConnected(true);
  }
}

void TAdsConnection::SetName(const QString& name) {
  const QString oldName = Name();
  TComponent::SetName(name);
  if (Owner() == nullptr) return;
  const QString ownerName = Owner()->Name();
  DataSetRegistry::Instance().ForEach([&](AdsDataSetClient* ds) {
    TAdsConnection* attached = ds->AdsConnection();
    if (attached != nullptr && attached != this) return;
    // A dataset attached here already uses this component: only the name it knows it by
    // changes, also while it is open. One not attached yet resolves the new name.
    auto follow = [&](const QString& value) {
      if (attached == this)
        ds->FollowConnectionRename(value);
      else
        ds->SetDatabaseName(value);
    };
    if (!oldName.isEmpty()) {
      if (SameTextAZ(ds->DatabaseName(), oldName)) {
        follow(name);
      } else if (SameTextAZ(ds->DatabaseName(), ownerName + QLatin1Char('.') + oldName)) {
        follow(ownerName + QLatin1Char('.') + name);
      }
    }
    TComponent* dsOwner = ds->ClientComponent().Owner();
    if (dsOwner != nullptr &&
        SameTextAZ(ownerName + QLatin1Char('.') + name, dsOwner->Name() + QLatin1Char('.') + ds->DatabaseName())) {
      follow(name);
    }
  });
}
