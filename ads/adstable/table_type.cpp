// The generic table-type setter: refused while open, checked against the table type of the
// alias named by DatabaseName or of the connection component, then stored with its engine code.
#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ads/alias_file.h"
#include "runtime/data/db_errors.h"

namespace {

const QString kTypeMustMatchAlias =
    QStringLiteral("The table type must remain identical to the table type associated with the alias.");

// The table type an alias's type letter stands for; false for no or an unknown letter.
bool aliasTableType(QChar letter, TAdsTableTypes& type) {
  switch (letter.toUpper().unicode()) {
    case 'N': type = ttAdsNTX; return true;
    case 'C': type = ttAdsCDX; return true;
    case 'A': type = ttAdsADT; return true;
    case 'V': type = ttAdsVFP; return true;
    default: return false;
  }
}

bool connectionAccepts(TAdsConnectionTableTypes connection, TAdsTableTypes requested) {
  switch (connection) {
    case ttAdsConnectADT: return requested == ttAdsADT;
    case ttAdsConnectNTX: return requested == ttAdsNTX;
    case ttAdsConnectCDX: return requested == ttAdsCDX;
    case ttAdsConnectVFP: return requested == ttAdsVFP;
    default: return true;
  }
}

uint16_t engineTableType(TAdsTableTypes type) {
  switch (type) {
    case ttAdsCDX: return kAceTypeCDX;
    case ttAdsNTX: return kAceTypeNTX;
    case ttAdsVFP: return kAceTypeVFP;
    default: return kAceTypeADT;
  }
}

}  // namespace

void TAdsTable::SetTableType(TAdsTableTypes value) {
  if (Active()) DatabaseError(dbmsg::kDataSetOpen, this);
  const QString database = DatabaseName();
  if (!database.isEmpty() && !database.contains(u'/') && !database.contains(u'\\')) {
    const AdsAliasEntry alias = LookupAdsAlias(database);
    TAdsTableTypes aliasType;
    if (alias.found() && aliasTableType(alias.typeLetter, aliasType) && aliasType != value)
      RaiseComponentError(kTypeMustMatchAlias);
  } else if (database.isEmpty() && mpoAdsConnection != nullptr) {
    if (!connectionAccepts(mpoAdsConnection->GetAdsTableType(), value)) RaiseComponentError(kTypeMustMatchAlias);
  }
  meTableType = value;
  musOpenTableType = engineTableType(value);
}
