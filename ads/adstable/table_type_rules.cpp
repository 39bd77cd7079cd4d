// The generic table-type setter's rules, the engine codes of table types, and the open option
// bits of a table.
#include "ads/adstable.h"
#include "ads/alias_file.h"

namespace {

const QString kTypeMustRemain =
    QStringLiteral("The table type must remain identical to the table type associated with the alias.");

bool HasSeparator(const QString& s) { return s.contains(QLatin1Char('/')) || s.contains(QLatin1Char('\\')); }

TAdsTableTypes TableTypeOfAliasLetter(QChar letter) {
  switch (letter.toUpper().unicode()) {
    case 'N': return ttAdsNTX;
    case 'C': return ttAdsCDX;
    case 'V': return ttAdsVFP;
    default: return ttAdsADT;
  }
}

}  // namespace

uint16_t CheckedOpenTableType(AdsDataSetClient& dataset, bool active, TAdsTableTypes requested) {
  if (active)
    throw EADSDatabaseError(&dataset, kAdsComponentError,
                            QStringLiteral("Cannot perform this operation on an open dataset"));
  const QString databaseName = dataset.DatabaseName();
  if (!databaseName.isEmpty()) {
    if (!HasSeparator(databaseName)) {
      const AdsAliasEntry alias = LookupAdsAlias(databaseName);
      if (alias.found() && TableTypeOfAliasLetter(alias.typeLetter) != requested)
        throw EADSDatabaseError(&dataset, kAdsComponentError, kTypeMustRemain);
    }
  } else if (TAdsConnection* connection = dataset.AdsConnection()) {
    bool refused = false;
    switch (connection->GetAdsTableType()) {
      case ttAdsConnectADT: refused = requested != ttAdsADT; break;
      case ttAdsConnectNTX: refused = requested != ttAdsNTX; break;
      case ttAdsConnectCDX: refused = requested != ttAdsCDX; break;
      case ttAdsConnectVFP: refused = requested != ttAdsVFP; break;
      default: break;
    }
    if (refused) throw EADSDatabaseError(&dataset, kAdsComponentError, kTypeMustRemain);
  }
  return EngineCodeOfTableType(requested);
}

TAdsTableTypes TableTypeOfEngineCode(uint16_t code) {
  switch (code) {
    case kAceTypeCDX: return ttAdsCDX;
    case kAceTypeNTX: return ttAdsNTX;
    case kAceTypeVFP: return ttAdsVFP;
    default: return ttAdsADT;
  }
}

uint32_t TableOpenOptions(bool exclusive, bool readOnly, bool connectionReadOnly,
                          TIndexCollationMismatchOptions mismatch, TAdsTableCachingOption caching) {
  uint32_t options = 0;
  if (exclusive) options |= 0x00000001u;
  if (readOnly || connectionReadOnly) options |= 0x00000002u;
  if (mismatch == icmIgnore) options |= 0x00000200u;
  if (mismatch == icmReindex) options |= 0x00000100u;
  if (caching == tcReads) options |= 0x20000000u;
  if (caching == tcWrites) options |= 0x40000000u;
  return options;
}
