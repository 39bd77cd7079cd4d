// Entry points for record and table locks held by one table handle against every other.
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using table::TableOf;

UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  if (!c->LockRecord(ulRec)) {
    Fail(err::kRecordLocked, "Record " + std::to_string(ulRec ? ulRec : c->recordNumber()) +
                                 " is locked by another user.");
  }
  return 0;
}

UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  if (!c->UnlockRecord(ulRec)) Fail(err::kRecordNotLocked, "The record is not locked by this handle.");
  return 0;
}

UNSIGNED32 AdsLockTable(ADSHANDLE hTable) {
  if (!TableOf(hTable)->LockTable()) {
    Fail(err::kRecordLocked, "The table is locked by another user, or another user holds a record lock.");
  }
  return 0;
}

UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable) {
  if (!TableOf(hTable)->UnlockTable()) Fail(err::kTableNotLocked, "The table is not locked by this handle.");
  return 0;
}

UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  uint32_t n = ulRec ? ulRec : c->recordNumber();
  core::Out(pbLocked, c->table().IsRecordLocked(n) || c->table().IsTableLocked() ? 1 : 0, "pbLocked");
  return 0;
}

UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked) {
  core::Out(pbLocked, TableOf(hTable)->table().IsTableLocked() ? 1 : 0, "pbLocked");
  return 0;
}

UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  size_t n = TableOf(hTable)->table().RecordLocks().size();
  core::Out(pusNum, n > 0xFFFF ? 0xFFFF : n, "pusNum");
  return 0;
}

UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen) {
  core::Require(pusArrayLen, "pusArrayLen");
  std::vector<uint32_t> locks = TableOf(hTable)->table().RecordLocks();
  size_t capacity = aulLocks ? *pusArrayLen : 0;
  size_t filled = std::min(capacity, locks.size());
  for (size_t i = 0; i < filled; ++i) aulLocks[i] = locks[i];
  if (filled < locks.size()) {
    *pusArrayLen = static_cast<uint16_t>(std::min<size_t>(locks.size(), 0xFFFF));
    Fail(err::kInsufficientBuffer, "The lock array needs " + std::to_string(locks.size()) + " entries.");
  }
  *pusArrayLen = static_cast<uint16_t>(filled);
  return 0;
}

}  // namespace engine::api
