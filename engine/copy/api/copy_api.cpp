// AdsCopyTable, AdsCopyTableContents and AdsCopyTableStructure on table, cursor and index
// handles (see engine/copy/table_copy.h for which records are copied).
#include "engine/copy/table_copy.h"
#include "engine/core/text_out.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED8* pucFile) {
  table::CursorRef c = table::CursorOf(hObj);
  std::string name = core::InText(core::Require(pucFile, "pucFile"));
  std::string windows;
  std::string host = table::TableHostPath(c->info().connection, name, &windows, c.cursor->table().type());
  copy::CopyTable(*c.cursor, c.order(), usFilterOption, host, true);
  return 0;
}

UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo, UNSIGNED16 usFilterOption) {
  table::CursorRef from = table::CursorOf(hObjFrom);
  auto to = table::TableOf(hTableTo);
  copy::CopyContents(*from.cursor, from.order(), usFilterOption, *to);
  return 0;
}

UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, UNSIGNED8* pucFile) {
  auto cursor = table::TableOf(hTable);
  std::string name = core::InText(core::Require(pucFile, "pucFile"));
  std::string windows;
  std::string host = table::TableHostPath(cursor->info().connection, name, &windows, cursor->table().type());
  copy::CopyTable(*cursor, nullptr, 2, host, false);
  return 0;
}

}  // namespace engine::api

namespace engine::api {

// A conversion is a copy into a new table of the type asked for (native 3, NTX 1, CDX 2, FoxPro 4).
UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED8* pucFile, UNSIGNED16 usTableType) {
  table::CursorRef c = table::CursorOf(hObj);
  std::string name = core::InText(core::Require(pucFile, "pucFile"));
  std::optional<table::TableType> type = table::TableTypeOf(usTableType);
  if (!type) Fail(err::kInvalidArgument, "AdsConvertTable: table type " + std::to_string(usTableType) + " is unknown.");
  std::string windows;
  std::string host = table::TableHostPath(c->info().connection, name, &windows, *type);
  copy::CopyTable(*c.cursor, c.order(), usFilterOption, host, true, type);
  return 0;
}

}  // namespace engine::api
