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
  std::string host = table::TableHostPath(c->info().connection, name, &windows);
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
  std::string host = table::TableHostPath(cursor->info().connection, name, &windows);
  copy::CopyTable(*cursor, nullptr, 2, host, false);
  return 0;
}

}  // namespace engine::api

namespace engine::api {

// Only native tables (type 3) are built in this engine: a conversion to them is a copy; the
// other table types come with their record formats.
UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED8* pucFile, UNSIGNED16 usTableType) {
  table::CursorRef c = table::CursorOf(hObj);
  std::string name = core::InText(core::Require(pucFile, "pucFile"));
  if (usTableType != 3) {
    if (usTableType == 1 || usTableType == 2 || usTableType == 4) {
      Fail(err::kNotYetBuilt, "AdsConvertTable to table type " + std::to_string(usTableType) +
                                  " is not yet built in this engine: only native tables (type 3) are.");
    }
    Fail(err::kInvalidArgument, "AdsConvertTable: table type " + std::to_string(usTableType) + " is unknown.");
  }
  std::string windows;
  std::string host = table::TableHostPath(c->info().connection, name, &windows);
  copy::CopyTable(*c.cursor, c.order(), usFilterOption, host, true);
  return 0;
}

}  // namespace engine::api
