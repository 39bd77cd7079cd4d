// TAdsDataSet: choosing the active index order by name.
#include "ads/adsdata.h"
#include "runtime/text.h"

void TAdsDataSet::SetIndexName(const QString& value) {
  if (Active()) CheckBrowseMode();
  const QString oldName = mstrIndexName;
  const QString oldFieldNames = mstrIndexFieldNames;
  const TAdsIndexTypes oldType = meActiveIndexType;
  mstrIndexName = value;
  mstrIndexFieldNames.clear();
  if (value.isEmpty())
    meActiveIndexType = ndxNone;
  else if (SameTextAZ(value, QStringLiteral("ADS_DEFAULT")))
    meActiveIndexType = ndxDefault;
  else
    meActiveIndexType = ndxIndexName;
  if (mlHandle != kNoHandle) {
    try {
      // No range or scope can be applied here yet: the order changes alone.
      ApplyActiveIndex();
    } catch (const Exception&) {
      mstrIndexName = oldName;
      mstrIndexFieldNames = oldFieldNames;
      meActiveIndexType = oldType;
      throw;
    }
  }
  if (Active()) {
    if (mpoMasterLink != nullptr && mpoMasterLink->Active() && mpoMasterLink->Fields().size() > 0) ApplyMasterRange();
    Resync(TResyncMode());
  }
}
