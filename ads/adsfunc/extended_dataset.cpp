// The shared steps of the extended members: result checking and re-synchronisation.
#include "ads/ace.h"
#include "ads/ads_errors.h"
#include "ads/adsfunc.h"

namespace {
constexpr uint32_t kIgnoredExtendedResult = 5068;
}

void TAdsExtendedDataSet::CheckExtendedResult(uint32_t code) {
  if (code == kIgnoredExtendedResult) return;
  CheckAceResult(this, code);
}

void TAdsExtendedDataSet::AdsExtendResync() {
  UNSIGNED16 atEof = 0;
  UNSIGNED16 atBof = 0;
  CheckExtendedResult(AdsAtEOF(GetAceTableHandle(), &atEof));
  CheckExtendedResult(AdsAtBOF(GetAceTableHandle(), &atBof));
  CursorPosChanged();
  if (atBof != 0)
    First();
  else if (atEof != 0)
    Last();
  else
    Resync(TResyncMode());
}
