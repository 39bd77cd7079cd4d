// TAdsTable::AcquireEngineHandle: turns the table's properties into AdsOpenTable90, retries
// once as a free table when the dictionary does not know the table (5132), takes the table's
// real type, enables encryption and opens the listed index files. After the open succeeded, a
// failure closes the new handle before it is raised, so the table never holds a half-opened
// handle.
#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/text.h"

namespace {
constexpr uint32_t kAeTableNotInDictionary = 5132;
}  // namespace

uint32_t TAdsTable::openTable(uint32_t connection, const QByteArray& name, uint16_t tableType, uint16_t charType,
                              uint16_t lockType, uint16_t rights, uint32_t options, QByteArray& collation,
                              uint32_t& handle) {
  QByteArray nameArg = name;
  ADSHANDLE opened = 0;
  const UNSIGNED32 rc =
      AdsOpenTable90(connection, reinterpret_cast<UNSIGNED8*>(nameArg.data()), nullptr, tableType, charType, lockType,
                     rights, options, reinterpret_cast<UNSIGNED8*>(collation.data()), &opened);
  handle = rc == 0 ? opened : kNoHandle;
  return rc;
}

uint32_t TAdsTable::AcquireEngineHandle() {
  if (mstrTableName.isEmpty()) RaiseComponentError(QStringLiteral("Missing TableName property"));

  TAdsConnection* connection = mpoAdsConnection;
  const bool connectionReadOnly = connection != nullptr && connection->ReadOnly();
  if (connectionReadOnly && !ComponentStateHas(csDesigning)) mbReadOnly = true;
  const uint32_t options =
      TableOpenOptions(mbExclusive, mbReadOnly, connectionReadOnly, meIndexCollationMismatch,
                       mpoAdsTableOptions->AdsCachingOption());
  const uint16_t lockType = mpoAdsTableOptions->AdsLockType() == Proprietary ? 1 : 0;
  const uint16_t charType = static_cast<uint16_t>(mpoAdsTableOptions->AdsCharType() + 1);
  const uint16_t rights = mpoAdsTableOptions->AdsRightsCheck() ? 1 : 2;

  const QString databasePath = GetDatabasePath();
  if (databasePath.isEmpty())
    RaiseComponentError(
        QStringLiteral("One of the DatabaseName property or the AdsConnection property must have a value."));
  const uint32_t hConnection = ConnectAndGetHandle();
  // The connection component may have been connected just now: ask it afterwards.
  const bool dictionary = connection != nullptr && connection->IsDictionaryConn();
  const QString freeName = databasePath + QLatin1Char('\\') + mstrTableName;
  const QString engineName = dictionary ? mstrTableName : freeName;
  if (hConnection == 0 || hConnection == kNoHandle)
    RaiseComponentError(QStringLiteral("Internal Error: invalid connection handle."));
  const uint16_t tableType = dictionary ? kAceTypeFromDictionary : musOpenTableType;
  QByteArray collation = ToAnsi(GetEffectiveCollation());

  uint32_t handle = kNoHandle;
  UNSIGNED32 rc =
      openTable(hConnection, ToAnsi(engineName), tableType, charType, lockType, rights, options, collation, handle);
  if (rc == kAeTableNotInDictionary && dictionary)
    rc = openTable(hConnection, ToAnsi(freeName), musOpenTableType, charType, lockType, rights, options, collation,
                   handle);
  CheckAceResult(this, rc);

  try {
    CheckAceResult(this, ::AdsGetTableType(handle, &musAceTableType));
    if (dictionary) {
      CheckAceResult(this, ::AdsGetTableType(handle, &musOpenTableType));
      SetTableType(TableTypeOfEngineCode(musOpenTableType));
    }
    SyncCharType(handle);
    if (!FstrEncryptionPassword.isEmpty()) {
      UNSIGNED16 encrypted = 0;
      UNSIGNED16 enabled = 0;
      CheckAceResult(this, ::AdsIsTableEncrypted(handle, &encrypted));
      CheckAceResult(this, ::AdsIsEncryptionEnabled(handle, &enabled));
      if (encrypted == 1 && enabled != 1) {
        QByteArray password = ToAnsi(FstrEncryptionPassword);
        CheckAceResult(this, ::AdsEnableEncryption(handle, reinterpret_cast<UNSIGNED8*>(password.data())));
      }
    }
    for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
      QByteArray path = ToAnsi(databasePath + QLatin1Char('\\') + mpoIndexFiles->Strings(i));
      ADSHANDLE indexes[256] = {};
      UNSIGNED16 count = 256;
      CheckAceResult(this, ::AdsOpenIndex(handle, reinterpret_cast<UNSIGNED8*>(path.data()), indexes, &count));
    }
  } catch (const Exception&) {
    // The failure being raised is the one to report; the handle must not outlive it.
    AdsCloseTable(handle);
    throw;
  }
  return handle;
}
