// AdsReindex61: rebuilds every index tag of an open native table from the tag definitions its
// header holds, reporting progress through the process's progress callback.
#include "engine/core/error.h"
#include "engine/index/table_reindex.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

UNSIGNED32 AdsReindex61(ADSHANDLE hObject, UNSIGNED32 ulPageSize) {
  auto cursor = table::CursorOf(hObject).cursor;
  RebuildOptions options;
  options.progress = [](unsigned percent) {
    return table::ReportProgress(static_cast<uint16_t>(percent));
  };
  ReindexTable(cursor->table(), ulPageSize, options);
  return 0;
}

}  // namespace engine::api
