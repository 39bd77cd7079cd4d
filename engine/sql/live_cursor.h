// Live cursors: the result of a plain selection of one table, asked for with the statement's
// read-only option 2, is the table itself. Its rows are the table's records as they are now,
// and changes through the cursor write the table, with the locks, rights and index upkeep of
// any table handle.
//
// Threading: called with the session lock held; the cursor is then used like a table handle.
#pragma once

#include <memory>

#include "engine/sql/session.h"
#include "engine/sql/statement.h"
#include "engine/table/table_cursor.h"

namespace engine::sql {

// Opens `table` shared for reading and writing (read-only when the user may not change it).
std::shared_ptr<table::TableCursor> OpenLiveCursor(Session& session, const ResolvedTable& table,
                                                   const StatementOptions& options);

}  // namespace engine::sql
