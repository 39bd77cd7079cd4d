// Entry points that move through a table in record order (table and cursor handles) or in an
// index order (index handles), and bookmarks, which are record numbers.
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/sql/api/statement_params.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using table::CursorOf;

constexpr uint32_t kBookmarkLength = 4;

UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
  table::CursorRef c = CursorOf(hObj);
  c->GotoTop(c.order());
  return 0;
}

UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
  table::CursorRef c = CursorOf(hObj);
  c->GotoBottom(c.order());
  return 0;
}

UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj) {
  CursorOf(hObj)->GotoBOF();
  return 0;
}

UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj) {
  CursorOf(hObj)->GotoEOF();
  return 0;
}

UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs) {
  table::CursorRef c = CursorOf(hObj);
  c->Skip(lRecs, c.order());
  return 0;
}

UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec) {
  CursorOf(hObj)->GotoRecord(ulRec);
  return 0;
}

UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof) {
  core::Out(pbBof, CursorOf(hObj)->atBOF() ? 1 : 0, "pbBof");
  return 0;
}

UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof) {
  core::Out(pbEof, CursorOf(hObj)->atEOF() ? 1 : 0, "pbEof");
  return 0;
}

UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec) {
  (void)usFilterOption;  // the record number is the same with and without filters
  core::Out(pulRec, CursorOf(hObj)->recordNumber(), "pulRec");
  return 0;
}

UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount) {
  if (sql::IsStatementHandle(hObj)) return sql::StatementRowsAffected(hObj, pulCount);
  core::Require(pulCount, "pulCount");
  table::CursorRef c = CursorOf(hObj);
  uint16_t base = usFilterOption > 4 ? usFilterOption - 4 : usFilterOption;
  if (base < 1 || base > 3) {
    Fail(err::kInvalidArgument, "AdsGetRecordCount: option " + std::to_string(usFilterOption) + " is unknown.");
  }
  *pulCount = c->CountRecords(usFilterOption, base == 3 ? c.order() : (base == 1 ? c.order() : nullptr));
  return 0;
}

UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible) {
  core::Out(pbVisible, CursorOf(hObj)->IsVisible() ? 1 : 0, "pbVisible");
  return 0;
}

UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
  table::CursorRef c = CursorOf(hObj);
  if (c->recordNumber() == 0) Fail(err::kNoCurrentRecord, "There is no current record to mark.");
  core::Out(phBookmark, c->recordNumber(), "phBookmark");
  return 0;
}

UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
  table::CursorRef c = CursorOf(hObj);
  if (c->recordNumber() == 0) Fail(err::kNoCurrentRecord, "There is no current record to mark.");
  uint32_t n = c->recordNumber();
  uint8_t bytes[kBookmarkLength];
  std::memcpy(bytes, &n, sizeof n);
  return core::BytesOut(bytes, sizeof bytes, pucBookmark, pulLength);
}

UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength) {
  CursorOf(hObj);
  core::Out(pulLength, kBookmarkLength, "pulLength");
  return 0;
}

UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark) {
  CursorOf(hObj)->GotoRecord(hBookmark);
  return 0;
}

UNSIGNED32 AdsCompareBookmarks(UNSIGNED8* pucBookmark1, UNSIGNED8* pucBookmark2, SIGNED32* plResult) {
  core::Require(pucBookmark1, "pucBookmark1");
  core::Require(pucBookmark2, "pucBookmark2");
  uint32_t a, b;
  std::memcpy(&a, pucBookmark1, sizeof a);
  std::memcpy(&b, pucBookmark2, sizeof b);
  core::Out(plResult, a < b ? -1 : (a > b ? 1 : 0), "plResult");
  return 0;
}

}  // namespace engine::api
