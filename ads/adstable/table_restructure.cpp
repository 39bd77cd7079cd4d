// TAdsTable::Restructure: adding, deleting and changing fields of the closed table through the
// engine, which keeps every record's data.
#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/text.h"

namespace {
UNSIGNED8* Bytes(QByteArray& a) { return reinterpret_cast<UNSIGNED8*>(a.data()); }
}  // namespace

void TAdsTable::Restructure(const QString& strAddFields, const QString& strDeleteFields,
                            const QString& strChangeFields) {
  if (Active()) RaiseComponentError(QStringLiteral("Cannot perform this operation on an open dataset"));
  if (mstrTableName.isEmpty()) RaiseComponentError(QStringLiteral("Missing TableName property"));
  const TAdsTableOptions& o = AdsTableOptions();
  const UNSIGNED16 lockType = o.AdsLockType() == Proprietary ? 1 : 0;
  const UNSIGNED16 charType = static_cast<UNSIGNED16>(o.AdsCharType() + 1);
  const UNSIGNED16 rights = o.AdsRightsCheck() ? 1 : 2;
  const QString path = GetDatabasePath();
  if (path.isEmpty())
    RaiseComponentError(
        QStringLiteral("One of the DatabaseName property or the AdsConnection property must have a value."));
  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  QByteArray name = ToAnsi(dictionary ? mstrTableName : path + QLatin1Char('\\') + mstrTableName);

  uint32_t connection = 0;
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->SetIsConnected(true);
    connection = mpoAdsConnection->ConnectionHandle();
  } else {
    connection = TDynamicConnList::Instance().FindSameDatabasename(path);
    if (connection == 0) connection = TDynamicConnList::Instance().Add(path);
  }
  if (connection == 0 || connection == kNoHandle)
    RaiseComponentError(QStringLiteral("Internal Error: invalid connection handle."));

  const UNSIGNED16 tableType = dictionary ? kAceTypeFromDictionary : musOpenTableType;
  QByteArray add = ToAnsi(strAddFields);
  QByteArray remove = ToAnsi(strDeleteFields);
  QByteArray change = ToAnsi(strChangeFields);
  QByteArray collation = ToAnsi(GetEffectiveCollation());
  CheckAceResult(this, AdsRestructureTable90(connection, Bytes(name), nullptr, tableType, charType, lockType, rights,
                                             Bytes(add), Bytes(remove), Bytes(change), 0, Bytes(collation)));
}
