// TAdsDataSet: creating the table that TableName, FieldDefs and IndexDefs describe, and renaming
// a table of a data dictionary.
//
// Creation turns the field definitions into the engine's field-definition string, creates the
// table (which stays open on its handle while the indexes are made), creates every declared
// index and, in a data dictionary, declares the primary index as the table's primary key. A
// field type the table type cannot store is refused before anything is created.
#include "ads/ace.h"
#include "ads/adsdata.h"
#include "runtime/text.h"

namespace {

constexpr uint32_t kCreateFreeTable = 0x00001000;
constexpr uint32_t kCreateDictionaryTable = 0x00004000;
constexpr uint32_t kCacheReads = 0x20000000;
constexpr uint32_t kCacheWrites = 0x40000000;
constexpr uint32_t kAeNotInDictionary = 5132;
constexpr uint16_t kObjectTable = 1;

UNSIGNED8* Bytes(QByteArray& a) { return reinterpret_cast<UNSIGNED8*>(a.data()); }

// The text as a quoted SQL string: single quotes, inner single quotes doubled.
QString SqlString(const QString& text) {
  QString quoted = text;
  quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

QString AdsFieldDefinitionString(AdsDataSetClient* dataset, TFieldDefs& FieldDefs, uint16_t usTableType) {
  const bool native = usTableType == kAceTypeADT;
  QString text;
  for (int i = 0; i < FieldDefs.Count(); ++i) {
    const TFieldDef& def = *FieldDefs.Items(i);
    const QString size = QString::number(def.Size());
    QString fieldType;
    bool refused = false;
    switch (def.DataType()) {
      case ftString: fieldType = QStringLiteral("Char,") + size; break;
      case ftSmallint: case ftWord: fieldType = native ? QStringLiteral("ShortInt") : QStringLiteral("Num,6,0"); break;
      case ftInteger: fieldType = native ? QStringLiteral("Integer") : QStringLiteral("Num,11,0"); break;
      case ftBoolean: fieldType = QStringLiteral("Logical"); break;
      case ftFloat: fieldType = native ? QStringLiteral("Double,6") : QStringLiteral("Num,20,4"); break;
      case ftCurrency: refused = !native; fieldType = QStringLiteral("CurDouble,6"); break;
      case ftBCD: refused = !native; fieldType = QStringLiteral("Money"); break;
      case ftDate: fieldType = QStringLiteral("Date"); break;
      case ftTime: refused = !native; fieldType = QStringLiteral("Time"); break;
      case ftDateTime: refused = !native; fieldType = QStringLiteral("TimeStamp"); break;
      case ftBytes: fieldType = (native ? QStringLiteral("Raw,") : QStringLiteral("Char,")) + size; break;
      case ftVarBytes: case ftBlob: case ftTypedBinary: fieldType = QStringLiteral("Binary"); break;
      case ftAutoInc: refused = !native; fieldType = QStringLiteral("AutoInc"); break;
      case ftMemo: case ftFmtMemo: fieldType = QStringLiteral("Memo"); break;
      case ftGraphic: fieldType = QStringLiteral("Image"); break;
      case ftWideString: fieldType = QStringLiteral("NChar,") + size; break;
      case ftWideMemo: fieldType = QStringLiteral("NMemo"); break;
      case ftFMTBcd:
        fieldType = QStringLiteral("Num,%1,%2").arg(def.Precision() + (def.Size() != 0 ? 2 : 1)).arg(def.Size());
        break;
      default:
        // ftUnknown, the OLE types, and every type with no engine field of its own
        // (ftLargeint, ftFixedChar, ftTimeStamp, ftGuid, ...): a table cannot be made of them.
        refused = true;
        break;
    }
    if (refused)
      throw EADSDatabaseError(dataset, kAdsComponentError,
                              FieldTypeName(def.DataType()) + QStringLiteral(" is not a supported field type."));
    text += def.Name() + QLatin1Char(',') + fieldType + QLatin1Char(';');
  }
  return text;
}

void TAdsDataSet::CreateTable() { InternalCreateTable(0); }

void TAdsDataSet::CreateTable(TAdsCreateTableOptions eOptions) { InternalCreateTable(eOptions); }

void TAdsDataSet::InternalCreateTable(TAdsCreateTableOptions eOptions) {
  uint32_t optionBits = 0;
  if (eOptions & AdsCreateTableOptionBit(ctFreeTable)) optionBits |= kCreateFreeTable;
  if (eOptions & AdsCreateTableOptionBit(ctDictionaryTable)) optionBits |= kCreateDictionaryTable;
  const TAdsTableOptions& o = *mpoAdsTableOptions;
  if (o.AdsCachingOption() == tcReads) optionBits |= kCacheReads;
  if (o.AdsCachingOption() == tcWrites) optionBits |= kCacheWrites;
  RequireInactive();

  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  const QString name = dictionary ? mstrTableName : GetDatabasePath() + QLatin1Char('\\') + mstrTableName;
  if (FieldDefs().Count() == 0) InitFieldDefsFromFields();
  QByteArray fields = ToAnsi(AdsFieldDefinitionString(this, FieldDefs(), musOpenTableType));
  const UNSIGNED16 lockType = o.AdsLockType() == Proprietary ? 1 : 0;
  const UNSIGNED16 charType = static_cast<UNSIGNED16>(o.AdsCharType() + 1);
  const UNSIGNED16 rights = o.AdsRightsCheck() ? 1 : 2;
  uint32_t connection = 0;
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->SetIsConnected(true);
    connection = mpoAdsConnection->ConnectionHandle();
  }
  const QString collation = GetEffectiveCollation();
  QByteArray engineName = ToAnsi(name);
  QByteArray collationText = ToAnsi(collation);
  ADSHANDLE table = 0;
  CheckAceResult(this, AdsCreateTable90(connection, Bytes(engineName), nullptr, musOpenTableType, charType, lockType,
                                        rights, 0, Bytes(fields), optionBits, Bytes(collationText), &table));
  try {
    const bool declaresPrimaryKey =
        dictionary && !(eOptions & AdsCreateTableOptionBit(ctFreeTable)) && musOpenTableType == kAceTypeADT;
    TIndexDefs& indexes = IndexDefs();
    for (int i = 0; i < indexes.Count(); ++i) {
      TIndexDef& def = *indexes.Items(i);
      const bool primary = declaresPrimaryKey && def.Options().testFlag(ixPrimary);
      // A primary key must be unique: the definition itself says so from now on.
      if (primary) def.SetOptions(def.Options() | ixUnique);
      CreateIndexFromDef(table, musOpenTableType, def, collation, o.AdsIndexPageSize());
      if (!primary) continue;
      const QString statement =
          QStringLiteral("EXECUTE PROCEDURE sp_ModifyTableProperty( %1, %2, %3, %4, NULL )")
              .arg(SqlString(name), SqlString(QStringLiteral("TABLE_PRIMARY_KEY")), SqlString(def.Name()),
                   SqlString(QStringLiteral("NO_VALIDATE")));
      try {
        mpoAdsConnection->Execute(statement, nullptr, false, nullptr);
      } catch (const EADSDatabaseError& e) {
        // A dictionary that does not list the table (5132) keeps it without a primary key.
        if (e.ACEErrorCode() != kAeNotInDictionary) throw;
      }
    }
  } catch (...) {
    // The table is closed before the failure propagates; that failure is the one to report.
    AdsCloseTable(table);
    throw;
  }
  CheckAceResult(this, AdsCloseTable(table));
}

void TAdsDataSet::RenameTable(const QString& NewTableName) {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsDictionaryConn())
    RaiseComponentError(QStringLiteral("The method RenameTable in TAdsDataSet is not supported on free tables."));
  RequireInactive();
  QByteArray oldName = ToAnsi(mstrTableName);
  QByteArray newName = ToAnsi(NewTableName);
  CheckAceResult(this, AdsDDRenameObject(mpoAdsConnection->Handle(), Bytes(oldName), Bytes(newName), kObjectTable, 0));
  SetTableName(NewTableName);
}
