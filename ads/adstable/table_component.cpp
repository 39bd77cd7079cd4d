// TAdsTable: construction, the properties that take effect at the next open, and the file
// questions (TablePathWithExtension, Exists, FetchLastAutoInc).
#include <limits>

#include "ads/ace.h"
#include "ads/ads_errors.h"
#include "ads/adstable.h"
#include "runtime/data/db_errors.h"
#include "runtime/exception.h"
#include "runtime/sysutils.h"
#include "runtime/text.h"

TAdsTable::TAdsTable(TComponent* AOwner) : TAdsExtendedTable(AOwner) {
  meIndexCollationMismatch = icmError;
  FstrEncryptionPassword.clear();
}

TAdsTable::~TAdsTable() = default;

void TAdsTable::SetExclusive(bool value) {
  RequireInactive();
  mbExclusive = value;
}

void TAdsTable::SetReadOnly(bool value) {
  RequireInactive();
  mbReadOnly = value;
}

void TAdsTable::SetTableName(const QString& value) {
  if (Active()) DatabaseError(dbmsg::kDataSetOpen, this);
  if (!ComponentStateHas(csReading) && value != mstrTableName && mpoIndexFiles) mpoIndexFiles->Clear();
  mstrTableName = value;
  UpdateDefaultIndex();
  DataEvent(dePropertyChange);
}

void TAdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions value) {
  if (Active()) DatabaseError(dbmsg::kDataSetOpen, this);
  meIndexCollationMismatch = value;
}

QString TAdsTable::TablePathWithExtension() {
  QString path = GetNativeDatabasePath() + u'\\' + mstrTableName;
  if (ExtractFileExt(mstrTableName).isEmpty())
    path += meTableType == ttAdsADT ? QStringLiteral(".adt") : QStringLiteral(".dbf");
  return path;
}

bool TAdsTable::Exists() {
  if (Active()) return true;
  if (mstrTableName.isEmpty()) return false;
  return FileExists(TablePathWithExtension());
}

int TAdsTable::FetchLastAutoInc() {
  UNSIGNED32 value = 0;
  CheckAceResult(this, AdsGetLastAutoinc(mlHandle, &value));
  if (value > static_cast<UNSIGNED32>(std::numeric_limits<int>::max()))
    throw ERangeError(QStringLiteral("Range check error"));
  return static_cast<int>(value);
}
