// Entry points of transactions and savepoints on a connection (see engine/table/transaction.h).
#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/transaction.h"
#include "engine_api/entry_points.h"

namespace engine::api {
namespace {

// Rolled-back records may have changed under any cursor of the connection: each reads its
// records again.
void RefreshCursorsOf(ADSHANDLE hConnect) {
  for (core::Kind kind : {core::Kind::kTable, core::Kind::kCursor}) {
    for (ADSHANDLE h : core::Handles::OwnedBy(hConnect, kind)) {
      std::shared_ptr<table::TableCursor> c = table::TableOf(h);
      c->InvalidateCache();
      if (c->recordNumber() == 0 || c->pending()) continue;
      // A record the transaction appended is gone when it was the last: its cursor is then
      // past the end, as after the last record, instead of on a record that does not exist.
      if (c->recordNumber() > c->table().RecordCount()) {
        c->GotoEOF();
        continue;
      }
      c->RefreshRecord();
    }
  }
}

}  // namespace

UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect) {
  core::Connections::Get(hConnect);
  table::BeginTransaction(hConnect);
  return 0;
}

UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect) {
  core::Connections::Get(hConnect);
  table::CommitTransaction(hConnect, table::OpenForUndo);
  return 0;
}

UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect) {
  core::Connections::Get(hConnect);
  try {
    table::RollbackTransaction(hConnect, table::OpenForUndo);
  } catch (...) {
    RefreshCursorsOf(hConnect);
    throw;
  }
  RefreshCursorsOf(hConnect);
  return 0;
}

UNSIGNED32 AdsRollbackTransaction80(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint, UNSIGNED32 ulOptions) {
  (void)ulOptions;
  core::Connections::Get(hConnect);
  std::string name = core::InText(pucSavepoint);
  if (name.empty()) return AdsRollbackTransaction(hConnect);
  table::RollbackToSavepoint(hConnect, name, table::OpenForUndo);
  RefreshCursorsOf(hConnect);
  return 0;
}

UNSIGNED32 AdsCreateSavepoint(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint, UNSIGNED32 ulOptions) {
  (void)ulOptions;
  core::Connections::Get(hConnect);
  table::CreateSavepoint(hConnect, core::InText(pucSavepoint));
  return 0;
}

UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans) {
  core::Connections::Get(hConnect);
  core::Out(pbInTrans, table::InTransaction(hConnect) ? 1 : 0, "pbInTrans");
  return 0;
}

UNSIGNED32 AdsGetTransactionCount(ADSHANDLE hConnect, UNSIGNED32* pulTransactionCount) {
  core::Connections::Get(hConnect);
  core::Out(pulTransactionCount, table::TransactionCount(hConnect), "pulTransactionCount");
  return 0;
}

}  // namespace engine::api
