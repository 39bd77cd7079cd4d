// Opening a table: TAdsTable's properties become one AdsOpenTable90 call. On a dictionary
// connection the engine gets the table's dictionary name and type 0 (the dictionary decides);
// on a free connection the database path, "\" and the name with the type derived from
// TableType. 5132 on a dictionary connection is retried once as a free table. Whatever fails
// after the open closes the new handle again, so a failed open holds no handle.
#include <QByteArray>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/ads_errors.h"
#include "ads/adstable.h"
#include "runtime/text.h"

namespace {

constexpr UNSIGNED32 kNotInDictionary = 5132;
constexpr uint32_t kExclusiveBit = 0x00000001;
constexpr uint32_t kReadOnlyBit = 0x00000002;
constexpr uint32_t kIgnoreCollationMismatch = 0x00000200;
constexpr uint32_t kReindexOnCollationMismatch = 0x00000100;
constexpr uint32_t kCacheReads = 0x20000000;
constexpr uint32_t kCacheWrites = 0x40000000;
constexpr UNSIGNED16 kIndexHandleScratch = 256;

UNSIGNED8* ansi(QByteArray& text) { return reinterpret_cast<UNSIGNED8*>(text.data()); }

}  // namespace

uint32_t TAdsTable::OpenOptions() {
  uint32_t options = 0;
  if (mbExclusive) options |= kExclusiveBit;
  if (mbReadOnly) options |= kReadOnlyBit;
  if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly()) {
    options |= kReadOnlyBit;
    if (!ComponentStateHas(csDesigning)) SetReadOnly(true);
  }
  if (meIndexCollationMismatch == icmIgnore) options |= kIgnoreCollationMismatch;
  if (meIndexCollationMismatch == icmReindex) options |= kReindexOnCollationMismatch;
  if (AdsTableOptions().AdsCachingOption() == tcReads) options |= kCacheReads;
  if (AdsTableOptions().AdsCachingOption() == tcWrites) options |= kCacheWrites;
  return options;
}

uint32_t TAdsTable::AcquireEngineHandle() {
  if (mstrTableName.isEmpty()) RaiseComponentError(QStringLiteral("Missing TableName property"));
  const uint32_t options = OpenOptions();
  const UNSIGNED16 lockType = AdsTableOptions().AdsLockType() == Proprietary ? 1 : 0;
  const UNSIGNED16 charType = static_cast<UNSIGNED16>(AdsTableOptions().AdsCharType()) + 1;
  const UNSIGNED16 rights = AdsTableOptions().AdsRightsCheck() ? 1 : 2;

  const QString databasePath = GetDatabasePath();
  if (databasePath.isEmpty())
    RaiseComponentError(
        QStringLiteral("One of the DatabaseName property or the AdsConnection property must have a value."));
  const uint32_t connection = ConnectAndGetHandle();
  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  const QString freeName = databasePath + u'\\' + mstrTableName;
  if (connection == 0 || connection == kNoHandle)
    RaiseComponentError(QStringLiteral("Internal Error: invalid connection handle."));

  QByteArray name = ToAnsi(dictionary ? mstrTableName : freeName);
  QByteArray collation = ToAnsi(GetEffectiveCollation());
  ADSHANDLE handle = 0;
  UNSIGNED32 rc = AdsOpenTable90(connection, ansi(name), nullptr, dictionary ? kAceTypeFromDictionary : musOpenTableType,
                                 charType, lockType, rights, options, collation.isEmpty() ? nullptr : ansi(collation), &handle);
  if (rc == kNotInDictionary && dictionary) {
    name = ToAnsi(freeName);
    rc = AdsOpenTable90(connection, ansi(name), nullptr, musOpenTableType, charType, lockType, rights, options,
                        collation.isEmpty() ? nullptr : ansi(collation), &handle);
  }
  CheckAceResult(this, rc);

  try {
    CheckAceResult(this, AdsGetTableType(handle, &musAceTableType));
    if (dictionary) {
      CheckAceResult(this, AdsGetTableType(handle, &musOpenTableType));
      switch (musOpenTableType) {
        case kAceTypeCDX: SetTableType(ttAdsCDX); break;
        case kAceTypeNTX: SetTableType(ttAdsNTX); break;
        case kAceTypeVFP: SetTableType(ttAdsVFP); break;
        default: SetTableType(ttAdsADT); break;
      }
    }
    SyncCharType(handle);
    if (!FstrEncryptionPassword.isEmpty()) {
      UNSIGNED16 encrypted = 0;
      UNSIGNED16 enabled = 0;
      CheckAceResult(this, AdsIsTableEncrypted(handle, &encrypted));
      CheckAceResult(this, AdsIsEncryptionEnabled(handle, &enabled));
      if (encrypted == 1 && enabled != 1) {
        QByteArray password = ToAnsi(FstrEncryptionPassword);
        CheckAceResult(this, AdsEnableEncryption(handle, ansi(password)));
      }
    }
    if (mpoIndexFiles) {
      for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
        QByteArray path = ToAnsi(databasePath + u'\\' + mpoIndexFiles->Strings(i));
        ADSHANDLE indexes[kIndexHandleScratch] = {};
        UNSIGNED16 count = kIndexHandleScratch;
        CheckAceResult(this, AdsOpenIndex(handle, ansi(path), indexes, &count));
      }
    }
  } catch (...) {
    AdsCloseTable(handle);
    throw;
  }
  return handle;
}
