// Members of the extended table component.
#include "ads/ace.h"
#include "ads/adsfunc.h"

void TAdsExtendedTable::AdsReindex() {
  CheckBrowseMode();
  CheckExtendedResult(AdsReindex61(GetAceTableHandle(), AdsTableOptions().AdsIndexPageSize()));
  AdsExtendResync();
}
