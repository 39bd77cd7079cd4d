// TAdsDataSet: the filter hooks the core calls while fetching and searching. Expression
// filters are a later piece of the dataset core: activating a non-empty Filter text refuses
// with a clear error; records offered to OnFilterRecord work now.
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

void TAdsDataSet::ActivateFilter() {
  if (!Filter().trimmed().isEmpty()) NotBuilt(QStringLiteral("Filtering by expression"));
}

void TAdsDataSet::DeactivateFilter() {}

bool TAdsDataSet::RunFilterRecord(TRecordBuffer buffer) {
  bool accept = true;
  const TDataSetState previous = EnterTempState(dsFilter);
  TRecordBuffer previousBuffer = mpFilterBuffer;
  mpFilterBuffer = buffer;
  try {
    if (OnFilterRecord()) OnFilterRecord()(this, accept);
  } catch (...) {
    // The handler's failure reaches the caller; the state and buffer are put back first.
    mpFilterBuffer = previousBuffer;
    LeaveTempState(previous);
    throw;
  }
  mpFilterBuffer = previousBuffer;
  LeaveTempState(previous);
  return accept;
}

bool TAdsDataSet::FilteredScan(bool forward) {
  // The record at the engine's position and those after it (before it, backwards) are read
  // into the spare buffer and offered to OnFilterRecord until one is accepted.
  TRecordBuffer scratch = AllocateRecordBuffer();
  bool found = false;
  try {
    for (;;) {
      UNSIGNED16 atEnd = 0;
      if (forward)
        CheckAceResult(this, AdsAtEOF(mlHandle, &atEnd));
      else
        CheckAceResult(this, AdsAtBOF(mlHandle, &atEnd));
      if (atEnd != 0) break;
      ReadRecordInto(scratch, musRecBufSize, true);
      if (RunFilterRecord(scratch)) {
        found = true;
        break;
      }
      CheckAceResult(this, AdsSkip(mlActiveHandle, forward ? 1 : -1));
    }
  } catch (const Exception&) {
    ReleaseRecordBuffer(scratch);
    throw;
  }
  ReleaseRecordBuffer(scratch);
  return found;
}
