// Entry points of expression filters, optimised filters and the exact setting on table and
// cursor handles (an index handle stands for its table's cursor).
#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/filter/cursor_filters.h"
#include "engine/filter/optimized_filter.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using filter::CursorFilters;
using filter::OptimizedFilter;

namespace {

// Filter text in the encoding the options name: UTF-16 with 8192, else ANSI.
expr::ExprText FilterText(void* p, UNSIGNED32 options) {
  core::Require(p, "pvFilter");
  if (options & filter::kTextIsUtf16) return expr::ExprText::FromUtf16(core::InWide(static_cast<const char16_t*>(p)));
  return expr::ExprText(core::InText(static_cast<const uint8_t*>(p)));
}

CursorFilters& FiltersOf(ADSHANDLE h) { return CursorFilters::Of(*table::CursorOf(h).cursor); }

OptimizedFilter& AofOf(CursorFilters& f) {
  if (!f.aof()) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  return *f.aof();
}

}  // namespace

UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact) {
  FiltersOf(hObj).SetExact(bExact != 0);
  return 0;
}

UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact) {
  auto cursor = table::CursorOf(hObj).cursor;
  const CursorFilters* f = CursorFilters::Find(*cursor);
  core::Out(pbExact, f && f->exact() ? 1 : 0, "pbExact");
  return 0;
}

UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, void* pvFilter, UNSIGNED32 ulOptions) {
  if (ulOptions & ~filter::kTextIsUtf16) {
    Fail(err::kInvalidArgument, "AdsSetFilter100: option " + std::to_string(ulOptions) + " is unknown.");
  }
  auto cursor = table::CursorOf(hTable).cursor;
  expr::ExprText text = FilterText(pvFilter, ulOptions);
  cursor->FlushPending();
  CursorFilters::Of(*cursor).SetFilter(text);
  return 0;
}

UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  const CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->hasFilter()) Fail(err::kNoFilter, "No filter is set on the table.");
  return core::TextOut(f->filterText(), pucFilter, pusLen);
}

UNSIGNED32 AdsClearFilter(ADSHANDLE hTable) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->hasFilter()) Fail(err::kNoFilter, "No filter is set on the table.");
  cursor->FlushPending();
  f->ClearFilter();
  return 0;
}

UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, void* pvFilter, UNSIGNED32 ulOptions) {
  constexpr UNSIGNED32 kKnown = filter::kAofResolveImmediate | filter::kAofResolveLater | filter::kAofKeySet |
                                filter::kAofFixed | filter::kTextIsUtf16;
  bool bothResolves = (ulOptions & filter::kAofResolveImmediate) && (ulOptions & filter::kAofResolveLater);
  bool bothKinds = (ulOptions & filter::kAofKeySet) && (ulOptions & filter::kAofFixed);
  if ((ulOptions & ~kKnown) || bothResolves || bothKinds) {
    Fail(err::kInvalidArgument, "AdsSetAOF100: options " + std::to_string(ulOptions) + " are not valid.");
  }
  auto cursor = table::CursorOf(hTable).cursor;
  expr::ExprText text = FilterText(pvFilter, ulOptions);
  cursor->FlushPending();
  CursorFilters& f = CursorFilters::Of(*cursor);
  // The old filter stays until the new one is built: a malformed text changes nothing.
  auto aof = std::make_unique<OptimizedFilter>(*cursor, f.expr(), text, ulOptions, f.exact());
  f.SetAof(std::move(aof));
  return 0;
}

UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->aof()) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  return core::TextOut(f->aof()->text(), pucFilter, pusLen);
}

UNSIGNED32 AdsGetAOF100(ADSHANDLE hTable, UNSIGNED32 ulOptions, void* pvFilter, UNSIGNED32* pulLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->aof()) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  if (ulOptions & filter::kTextIsUtf16) {
    return core::WideOut(f->aof()->Utf16Text(), static_cast<char16_t*>(pvFilter), pulLen);
  }
  return core::TextOut(f->aof()->text(), static_cast<uint8_t*>(pvFilter), pulLen);
}

UNSIGNED32 AdsGetAOFOptLevel(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, WCHAR* pwcNonOpt, UNSIGNED16* pusLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->aof()) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  core::Out(pusOptLevel, static_cast<uint16_t>(f->aof()->level()), "pusOptLevel");
  if (!pusLen) return 0;  // the level alone was asked for
  return core::WideOut(core::AnsiToUtf16(f->aof()->nonOptimized()), pwcNonOpt, pusLen);
}

UNSIGNED32 AdsEvalAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusOptLevel) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = core::InText(core::Require(pucFilter, "pucFilter"));
  core::Require(pusOptLevel, "pusOptLevel");
  const CursorFilters* f = CursorFilters::Find(*cursor);
  *pusOptLevel = static_cast<uint16_t>(filter::EvaluateOptLevel(*cursor, expr::ExprText(text), f && f->exact()));
  return 0;
}

UNSIGNED32 AdsClearAOF(ADSHANDLE hTable) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f || !f->aof()) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  cursor->FlushPending();
  f->ClearAof();
  return 0;
}

UNSIGNED32 AdsRefreshAOF(ADSHANDLE hTable) {
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  cursor->FlushPending();
  AofOf(*f).Refresh();
  return 0;
}

UNSIGNED32 AdsCustomizeAOF(ADSHANDLE hTable, UNSIGNED32 ulNumRecords, UNSIGNED32* pulRecords, UNSIGNED16 usOption) {
  if (usOption < 1 || usOption > 3) {
    Fail(err::kInvalidArgument, "AdsCustomizeAOF: option " + std::to_string(usOption) + " is unknown.");
  }
  if (ulNumRecords > 0) core::Require(pulRecords, "pulRecords");
  auto cursor = table::CursorOf(hTable).cursor;
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  cursor->FlushPending();
  AofOf(*f).CustomizeRecords(pulRecords, ulNumRecords, static_cast<OptimizedFilter::Customize>(usOption));
  return 0;
}

UNSIGNED32 AdsIsRecordInAOF(ADSHANDLE hTable, UNSIGNED32 ulRecordNum, UNSIGNED16* pbIsInAOF) {
  auto cursor = table::CursorOf(hTable).cursor;
  core::Require(pbIsInAOF, "pbIsInAOF");
  CursorFilters* f = CursorFilters::Find(*cursor);
  if (!f) Fail(err::kNoFilter, "No optimised filter is set on the table.");
  OptimizedFilter& aof = AofOf(*f);
  if (ulRecordNum == 0) {
    if (cursor->recordNumber() == 0) Fail(err::kNoCurrentRecord, "There is no current record.");
    *pbIsInAOF = aof.Accepts(cursor->CurrentView()) ? 1 : 0;
    return 0;
  }
  *pbIsInAOF = aof.IsRecordIn(ulRecordNum) ? 1 : 0;
  return 0;
}

}  // namespace engine::api
