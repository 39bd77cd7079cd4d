// Entry points on whole records: images, appending, writing, cancelling, deleting,
// checksums and autoincrement values.
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/sql/api/statement_params.h"
#include "engine/table/api/table_handles.h"
#include "engine/core/checksum.h"
#include "engine/table/record_writer.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using table::CursorOf;
using table::TableOf;

UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
  table::CursorRef c = CursorOf(hTable);
  const uint8_t* image = c->Current();
  return core::BytesOut(image, c->schema().recordLength(), pucRec, pulLen);
}

namespace {

void EmptyImageInto(ADSHANDLE hTable, void* pvRecord, UNSIGNED32 ulLen) {
  table::CursorRef c = CursorOf(hTable);
  core::Require(pvRecord, "pvRecord");
  const table::Schema& s = c->schema();
  if (ulLen < s.recordLength()) {
    Fail(err::kInsufficientBuffer, "The record buffer needs " + std::to_string(s.recordLength()) + " bytes.");
  }
  table::WriteEmptyRecord(s, static_cast<uint8_t*>(pvRecord));
}

}  // namespace

UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, void* pvRecord, UNSIGNED32 ulLen) {
  EmptyImageInto(hTable, pvRecord, ulLen);
  return 0;
}

UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, void* pvRecord, UNSIGNED32 ulLen) {
  EmptyImageInto(hTable, pvRecord, ulLen);
  return 0;
}

UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable) {
  table::CursorRef c = CursorOf(hTable);
  c->AppendRecord();
  table::RecordView v = c->CurrentView();
  for (size_t i = 0; i < v.fieldCount(); ++i) {
    if (v.field(i).type == table::FieldType::kAutoInc) c->lastAppendedAutoinc = static_cast<uint32_t>(v.integer(i));
  }
  return 0;
}

UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable) {
  CursorOf(hTable)->WriteRecord();
  return 0;
}

UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable) {
  table::CursorRef c = CursorOf(hTable);
  if (c->recordNumber() == 0 && !c->pending()) Fail(err::kNoCurrentRecord, "There is no current record.");
  c->CancelUpdate();
  return 0;
}

UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable) {
  CursorOf(hTable)->RefreshRecord();
  return 0;
}

UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable) {
  CursorOf(hTable)->DeleteRecord();
  return 0;
}

UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable) {
  CursorOf(hTable)->RecallRecord();
  return 0;
}

UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted) {
  table::CursorRef c = CursorOf(hTable);
  core::Out(pbDeleted, c->Current()[0] == table::kDeletedFlag ? 1 : 0, "pbDeleted");
  return 0;
}

UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted) {
  core::Out(pbShowDeleted, table::ShowDeleted() ? 1 : 0, "pbShowDeleted");
  return 0;
}

UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions) {
  table::CursorRef c = CursorOf(hTable);
  core::Require(pulCRC, "pulCRC");
  const table::Schema& s = c->schema();
  std::vector<uint8_t> image(c->Current(), c->Current() + s.recordLength());
  // Option 1 sums the record as this handle holds it; otherwise the record as stored now,
  // which is what optimistic locking compares.
  if (!(ulOptions & 1) && !c->pending()) c->table().ReadRecord(c->recordNumber(), image.data());
  *pulCRC = Crc32(image.data(), image.size());
  return 0;
}

UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal) {
  if (sql::IsStatementHandle(hObj)) return sql::StatementLastAutoinc(hObj, pulAutoIncVal);
  table::CursorRef c = CursorOf(hObj);
  uint32_t value = c->lastAppendedAutoinc;
  if (value == 0) {
    c->table().Refresh();
    value = c->table().lastAutoinc();
  }
  core::Out(pulAutoIncVal, value, "pulAutoIncVal");
  return 0;
}

}  // namespace engine::api
