// TAdsTableOptions: the option set of a dataset and the rules of its setters.
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

TAdsTableOptions::TAdsTableOptions() = default;

void TAdsTableOptions::refuseWhileOpen() const {
  if (mpoAdsTable != nullptr && mpoAdsTable->Active())
    throw EADSDatabaseError(mpoAdsTable, kAdsComponentError, adsdata::kMsgNotActive);
}

void TAdsTableOptions::SetAdsLockType(TAdsLockTypes value) {
  refuseWhileOpen();
  meAdsLockType = value;
}

void TAdsTableOptions::SetAdsCharType(int value) {
  refuseWhileOpen();
  if (mpoAdsTable != nullptr && (mpoAdsTable->TableType() == ttAdsCDX || mpoAdsTable->TableType() == ttAdsNTX) &&
      value != ANSI && value != OEM)
    throw EADSDatabaseError(mpoAdsTable, kAdsComponentError,
                            QStringLiteral("ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM."));
  if (value < 0 || value >= kAdsCharTypeCount)
    throw EADSDatabaseError(mpoAdsTable, kAdsComponentError, QStringLiteral("Invalid or unknown character type."));
  meAdsCharType = static_cast<TAdsCharTypes>(value);
}

void TAdsTableOptions::SetAdsRightsCheck(bool value) {
  refuseWhileOpen();
  mbAdsRightsCheck = value;
}

void TAdsTableOptions::SetAdsOptimizedFilters(bool value) {
  if (value == mbAdsOptimizedFilters) return;
  TAdsDataSet* ds = mpoAdsTable;
  if (ds != nullptr && ds->Active() && !ds->ComponentStateHas(csLoading) && ds->Filtered()) {
    const bool old = mbAdsOptimizedFilters;
    try {
      ds->DeactivateFilter();
      mbAdsOptimizedFilters = value;
      ds->ActivateFilter();
      ds->First();
    } catch (const Exception&) {
      mbAdsOptimizedFilters = old;
      throw;
    }
    return;
  }
  mbAdsOptimizedFilters = value;
}

void TAdsTableOptions::SetAdsRecordCache(TAdsRecordCacheTypes value) {
  TAdsDataSet* ds = mpoAdsTable;
  if (ds != nullptr && ds->Active()) {
    const UNSIGNED16 n = value == rcNone ? 0 : value == rcStandard ? 10 : 100;
    CheckAceResult(ds, AdsCacheRecords(ds->mlHandle, n));
  }
  meAdsRecordCache = value;
}

void TAdsTableOptions::SetAdsCachingOption(TAdsTableCachingOption value) {
  refuseWhileOpen();
  meAdsCachingOption = value;
}
