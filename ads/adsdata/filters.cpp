// TAdsDataSet: the Filter text as an engine filter, and the records offered to OnFilterRecord.
//
// A Filter text becomes an optimised filter or an expression filter on mlHandle (the option
// AdsOptimizedFilters chooses), with the handle's exact setting chosen by the text: a quoted
// literal ending in "*" is a prefix, so the "*" is removed and texts compare with the exact
// setting off. The engine checks the text when it is set; a text it refuses changes nothing
// there, and the dataset keeps its previous text and flag too.
//
// OnFilterRecord sees records in the record buffer layout: RunFilterRecord points
// mpFilterBuffer at the buffer for the duration of the handler (state dsFilter).
// FilteredScan and FilteredSeek walk the engine's records and offer each one to it.
#include <cstring>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "ads/adsdata/filter_text.h"
#include "runtime/data/exception_handler.h"

namespace {
constexpr uint32_t kAeNoFilter = 5037;  // nothing to clear
constexpr uint32_t kFilterTextIsUtf16 = 8192;
constexpr size_t kFilterTextRoom = 51;  // what a text may grow by in the engine's rewrites
constexpr uint16_t kSeekHard = 2;

UNSIGNED16 BufferLength(size_t size) {
  return static_cast<UNSIGNED16>(std::min<size_t>(size, 0xFFFF));
}
}  // namespace

void TAdsDataSet::SetFilter(const QString& text) {
  const QString previous = Filter();
  TDataSet::SetFilter(text);
  if (!Active() || !Filtered()) return;
  try {
    SetFiltered(true);
  } catch (const Exception&) {
    // The engine kept the filter it had; the previous text comes back with its own exact
    // setting, which the refused text may already have replaced.
    TDataSet::SetFilter(previous);
    try {
      ActivateFilter();
    } catch (const Exception&) {
      // The refusal of the new text is the failure to report; the previous text was in force
      // a moment ago, so a second refusal says nothing more.
    }
    throw;
  }
}

void TAdsDataSet::SetFiltered(bool value) {
  const bool previous = Filtered();
  TDataSet::SetFiltered(value);
  if (HasEngineCursor()) {
    try {
      if (value)
        ActivateFilter();
      else
        DeactivateFilter();
    } catch (const Exception&) {
      TDataSet::SetFiltered(previous);
      throw;
    }
  }
  if (Active()) First();
}

QString TAdsDataSet::PrepareFilterText(bool& exact) {
  exact = true;
  const QByteArray utf8 = Filter().toUtf8();
  const size_t room = static_cast<size_t>(utf8.size()) + kFilterTextRoom;
  std::string text;
  if (musOpenTableType == kAceTypeADT) {
    // Field names longer than ten characters are shortened around the wildcard scan and
    // restored after it, so the scan sees the text the engine would.
    std::vector<UNSIGNED8> buffer(room);
    UNSIGNED16 length = BufferLength(room);
    CheckAceResult(this, ::AdsExpressionLongToShort90(
                             mlHandle, reinterpret_cast<UNSIGNED8*>(const_cast<char*>(utf8.constData())),
                             buffer.data(), &length));
    text.assign(reinterpret_cast<const char*>(buffer.data()), length);
  } else {
    text = utf8.toStdString();
  }
  exact = adsdata::RemoveTrailingWildcards(text);
  if (musOpenTableType == kAceTypeADT) {
    // The rewrites keep literals byte for byte, so the UTF-8 text's own size (not its length in
    // characters) bounds the result.
    std::vector<UNSIGNED8> buffer(room);
    UNSIGNED16 length = BufferLength(room);
    CheckAceResult(this, ::AdsExpressionShortToLong90(mlHandle, reinterpret_cast<UNSIGNED8*>(text.data()),
                                                      buffer.data(), &length));
    text.assign(reinterpret_cast<const char*>(buffer.data()), length);
  }
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void TAdsDataSet::ActivateFilter() {
  if (Filter().isEmpty()) {
    DeactivateFilter();
    return;
  }
  bool exact = true;
  const QString text = PrepareFilterText(exact);
  CheckAceResult(this, ::AdsSetExact22(mlHandle, exact ? 1 : 0));
  auto* wide = const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16()));
  const TAdsTableOptions& options = *mpoAdsTableOptions;
  if (options.AdsOptimizedFilters())
    CheckAceResult(
        this, ::AdsSetAOF100(mlHandle, wide,
                             adsdata::AofOptionBits(options.AdsAOFType(), options.AdsAOFResolveImmediate())));
  else
    CheckAceResult(this, ::AdsSetFilter100(mlHandle, wide, kFilterTextIsUtf16));
}

void TAdsDataSet::DeactivateFilter() {
  const UNSIGNED32 rc =
      mpoAdsTableOptions->AdsOptimizedFilters() ? ::AdsClearAOF(mlHandle) : ::AdsClearFilter(mlHandle);
  if (rc != kAeNoFilter) CheckAceResult(this, rc);
}

bool TAdsDataSet::RunFilterRecord(TRecordBuffer buffer) {
  bool accept = true;
  const TDataSetState previous = EnterTempState(dsFilter);
  TRecordBuffer previousBuffer = mpFilterBuffer;
  mpFilterBuffer = buffer;
  const auto restore = [&] {
    mpFilterBuffer = previousBuffer;
    LeaveTempState(previous);
  };
  try {
    if (OnFilterRecord()) OnFilterRecord()(this, accept);
  } catch (const std::exception& e) {
    if (!HasApplicationExceptionHandler()) {
      restore();
      throw;
    }
    // Shown by the application's handler; the record gets the verdict the handler had set.
    HandleApplicationException(e);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return accept;
}

bool TAdsDataSet::FilteredScan(bool forward) {
  if (!OnFilterRecord()) RaiseComponentError(QStringLiteral("Expected OnFilterRecord event."));
  const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
  TRecordBuffer buffer = AllocateRecordBuffer();
  bool accepted = false;
  try {
    for (;;) {
      ReadRecordInto(buffer, musRecBufSize, false);
      if (calcFirst) ComputeCalcFields(buffer);
      if (RunFilterRecord(buffer)) {
        accepted = true;
        break;
      }
      UNSIGNED16 atEnd = 0;
      if (forward) {
        CheckAceResult(this, ::AdsSkip(mlActiveHandle, 1));
        CheckAceResult(this, ::AdsAtEOF(mlHandle, &atEnd));
      } else {
        CheckAceResult(this, ::AdsSkip(mlActiveHandle, -1));
        CheckAceResult(this, ::AdsAtBOF(mlHandle, &atEnd));
      }
      if (atEnd != 0) break;
    }
  } catch (...) {
    ReleaseRecordBuffer(buffer);
    throw;
  }
  ReleaseRecordBuffer(buffer);
  return accepted;
}

bool TAdsDataSet::FilteredSeek(const uint8_t* key, uint16_t length, uint16_t dataType) {
  if (!OnFilterRecord()) RaiseComponentError(QStringLiteral("Expected OnFilterRecord event."));
  UNSIGNED16 hit = 0;
  CheckAceResult(this,
                 ::AdsSeek(mlActiveHandle, const_cast<uint8_t*>(key), length, dataType, kSeekHard, &hit));
  if (hit == 0) return false;
  // The records from the hit on are offered to OnFilterRecord while their keys still begin
  // with the sought key.
  const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
  TRecordBuffer buffer = AllocateRecordBuffer();
  std::vector<uint8_t> built;  // sized once, at the first key built
  bool accepted = false;
  try {
    ReadRecordInto(buffer, musRecBufSize, false);
    for (;;) {
      if (calcFirst) ComputeCalcFields(buffer);
      if (RunFilterRecord(buffer)) {
        accepted = true;
        break;
      }
      CheckAceResult(this, ::AdsSkip(mlActiveHandle, 1));
      UNSIGNED16 atEnd = 0;
      CheckAceResult(this, ::AdsAtEOF(mlHandle, &atEnd));
      if (atEnd != 0) break;
      ReadRecordInto(buffer, musRecBufSize, false);
      if (built.empty()) {
        UNSIGNED16 keyLength = 0;
        CheckAceResult(this, ::AdsGetKeyLength(mlActiveHandle, &keyLength));
        built.resize(std::max<size_t>(keyLength, 1));
      }
      UNSIGNED16 builtLength = static_cast<UNSIGNED16>(built.size());
      CheckAceResult(this, ::AdsBuildKeyFromRecord(mlActiveHandle, reinterpret_cast<UNSIGNED8*>(buffer),
                                                   musRecordSize, built.data(), &builtLength));
      if (builtLength < length) RaiseComponentError(QStringLiteral("Invalid key size."));
      if (std::memcmp(built.data(), key, length) != 0) break;
    }
  } catch (...) {
    ReleaseRecordBuffer(buffer);
    throw;
  }
  ReleaseRecordBuffer(buffer);
  return accepted;
}
