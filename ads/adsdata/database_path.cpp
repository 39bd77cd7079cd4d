// TAdsDataSet: resolving DatabaseName (connection components, aliases, paths), the database
// path, the connection handle (the component's or an implicit connection), and the listing of
// table files.
#include <sys/syscall.h>
#include <unistd.h>

#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "ads/alias_file.h"
#include "runtime/text.h"

namespace {

bool HasSeparator(const QString& s) { return s.contains(QLatin1Char('/')) || s.contains(QLatin1Char('\\')); }

TAdsTableTypes TableTypeOfAliasLetter(QChar letter) {
  switch (letter.toUpper().unicode()) {
    case 'N':
      return ttAdsNTX;
    case 'C':
      return ttAdsCDX;
    case 'V':
      return ttAdsVFP;
    default:
      return ttAdsADT;
  }
}

int32_t CallingThreadId() {
  // The connection component records its creating thread the same way.
  return static_cast<int32_t>(::syscall(SYS_gettid));
}

bool NamesComponent(const QString& v, TAdsConnection* c, bool withOwnerName) {
  if (SameTextAZ(c->Name(), v)) return true;
  return withOwnerName && c->Owner() != nullptr &&
         SameTextAZ(c->Owner()->Name() + QLatin1Char('.') + c->Name(), v);
}

}  // namespace

void TAdsDataSet::SetDatabaseName(const QString& value) {
  if (Active()) RaiseComponentError(QStringLiteral("Cannot perform this operation on an open dataset"));
  if (value.isEmpty()) {
    mstrDatabaseName.clear();
    mstrAliasPath.clear();
    GetDatabasePath();  // for its effect on TableType
    return;
  }

  TAdsConnection* found = nullptr;
  const int32_t thread = CallingThreadId();
  for (int pass = 1; pass <= 4 && found == nullptr; ++pass) {
    ConnectionRegistry::Instance().ForEach([&](TAdsConnection* c) {
      bool match = false;
      switch (pass) {
        case 1:
          match = NamesComponent(value, c, false) && c->Owner() == Owner() && c->ConnectionThreadID() == thread;
          break;
        case 2:
          match = NamesComponent(value, c, false) && c->ConnectionThreadID() == thread;
          break;
        case 3:
          match = NamesComponent(value, c, false) && c->Owner() == Owner();
          break;
        default:
          match = NamesComponent(value, c, true);
          break;
      }
      if (match) found = c;
      return !match;
    });
  }
  if (found != nullptr) {
    mstrDatabaseName = value;
    mstrAliasPath.clear();
    SetAdsConnection(found);
    return;
  }

  if (!HasSeparator(value)) {
    const AdsAliasEntry alias = LookupAdsAlias(value);
    if (alias.found()) {
      mstrDatabaseName = value;
      mstrAliasPath = alias.path;
      TakeTableType(TableTypeOfAliasLetter(alias.typeLetter));
      return;
    }
  }
  mstrDatabaseName = value;
  mstrAliasPath.clear();
}

void TAdsDataSet::SetAdsConnection(TAdsConnection* value) {
  if (Active()) RaiseComponentError(adsdata::kMsgNotActive);
  mbPathWarningGiven = false;
  if (value != mpoAdsConnection) {
    if (mpoAdsConnection != nullptr) mpoAdsConnection->RemoveTableFromConnectList(this);
    if (value != nullptr) value->AddTableToConnectList(this);
  }
  mpoAdsConnection = value;
  GetDatabasePath();  // for its effect on TableType
}

QString TAdsDataSet::GetDatabasePath() {
  QString result;
  if (!mstrAliasPath.isEmpty()) {
    result = mstrAliasPath;
  } else {
    const bool follow = mstrDatabaseName.isEmpty() ||
                        (mpoAdsConnection != nullptr && NamesComponent(mstrDatabaseName, mpoAdsConnection, true));
    if (follow) {
      if (mpoAdsConnection != nullptr) {
        result = mpoAdsConnection->GetConnectionPath();
        TAdsTableTypes wanted = meTableType;
        switch (mpoAdsConnection->GetAdsTableType()) {
          case ttAdsConnectCDX: wanted = ttAdsCDX; break;
          case ttAdsConnectNTX: wanted = ttAdsNTX; break;
          case ttAdsConnectADT: wanted = ttAdsADT; break;
          case ttAdsConnectVFP: wanted = ttAdsVFP; break;
          default: break;
        }
        if (wanted != meTableType) TakeTableType(wanted);
      }
    } else if (HasSeparator(mstrDatabaseName)) {
      result = mstrDatabaseName;
    } else {
      const AdsAliasEntry alias = LookupAdsAlias(mstrDatabaseName);
      if (alias.found()) {
        mstrAliasPath = alias.path;
        result = alias.path;
        const TAdsTableTypes wanted = TableTypeOfAliasLetter(alias.typeLetter);
        if (wanted != meTableType) TakeTableType(wanted);
      } else {
        result = mstrDatabaseName;
      }
    }
  }
  if (result.size() > 1 && (result.endsWith(QLatin1Char('\\')) || result.endsWith(QLatin1Char('/'))))
    result.chop(1);
  return result;
}

uint32_t TAdsDataSet::ConnectAndGetHandle() {
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->Connect();
    return mpoAdsConnection->ConnectionHandle();
  }
  QString path = GetDatabasePath();
  // A bare drive means its root folder.
  if (path.size() == 2 && path[1] == QLatin1Char(':')) path += QLatin1Char('\\');
  TDynamicConnList& list = TDynamicConnList::Instance();
  const uint32_t existing = list.FindSameDatabasename(path);
  if (existing != 0) return existing;
  return list.Add(path);
}

void TAdsDataSet::GetFiles(TStringList* poCurrList) {
  const QString path = GetNativeDatabasePath();
  if (path.isEmpty()) return;
  const QString mask = meTableType == ttAdsADT ? QStringLiteral("*.adt") : QStringLiteral("*.dbf");

  uint32_t handle = 0;
  bool temporary = false;
  bool dictionary = false;
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->Connect();
    handle = mpoAdsConnection->ConnectionHandle();
    dictionary = mpoAdsConnection->IsDictionaryConn();
  } else {
    handle = mlHandle == kNoHandle ? 0 : GetAceConnectionHandle();
    if (handle == 0) {
      QByteArray target = ToAnsi(GetDatabasePath());
      ADSHANDLE h = 0;
      CheckAceResult(this, AdsConnect(reinterpret_cast<UNSIGNED8*>(target.data()), &h));
      handle = h;
      temporary = true;
    }
    dictionary = IsDataDictionaryPath(GetDatabasePath());
  }
  if (handle == 0 || handle == kNoHandle) {
    // A temporary connection that came back unusable is not ours to close.
    RaiseComponentError(QStringLiteral("Internal error getting connection handle"));
  }

  QByteArray pattern = dictionary ? QByteArray() : ToAnsi(path + QLatin1Char('\\') + mask);
  ADSHANDLE find = 0;
  bool findOpen = false;
  // Both steps run whatever the other gives; then the first failure is reported.
  const auto finish = [&]() {
    const UNSIGNED32 closed = findOpen ? AdsFindClose(handle, find) : 0;
    findOpen = false;
    const UNSIGNED32 disconnected = temporary ? AdsDisconnect(handle) : 0;
    temporary = false;
    CheckAceResult(this, closed);
    CheckAceResult(this, disconnected);
  };
  try {
    UNSIGNED8 name[260] = {};
    UNSIGNED16 length = sizeof name;
    UNSIGNED32 rc = AdsFindFirstTable(handle, reinterpret_cast<UNSIGNED8*>(pattern.data()), name, &length, &find);
    if (rc == 0) findOpen = true;
    while (rc == 0) {
      poCurrList->Add(FromAnsi(reinterpret_cast<const char*>(name), length));
      length = sizeof name;
      rc = AdsFindNextTable(handle, find, name, &length);
    }
    if (rc != adsdata::kAeNoMoreTables) CheckAceResult(this, rc);
  } catch (const Exception&) {
    try {
      finish();
    } catch (const Exception&) {
      // The failure that stopped the listing is the one to report.
    }
    throw;
  }
  finish();
}
