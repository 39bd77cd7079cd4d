// Live cursors: the result of a plain selection of one table, asked for with the statement's
// read-only option 2, is the table itself. Its rows are the table's records as they are now,
// and changes through the cursor write the table, with the locks, rights and index upkeep of
// any table handle. An ORDER BY is allowed when the table has a tag whose key is the ORDER BY's
// fields: the cursor handle then walks that tag.
//
// Threading: called with the session lock held; the cursor is then used like a table handle.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/sql/session.h"
#include "engine/sql/statement.h"
#include "engine/table/table_cursor.h"

namespace engine::sql {

// The ORDER BY of a live request: field names (possibly qualified) of one direction.
struct LiveOrder {
  std::vector<std::string> fields;
  bool descending = false;
};

// Opens `table` shared for reading and writing (read-only when the user may not change it).
// With an ORDER BY, the cursor's own order (CursorInfo::ownOrder) is the table's tag whose key
// is those fields in that direction and that holds every record; null when it has none.
std::shared_ptr<table::TableCursor> OpenLiveCursor(Session& session, const ResolvedTable& table,
                                                   const StatementOptions& options, const LiveOrder& order);

}  // namespace engine::sql
