// Static cursors: the rows of an executed SELECT, materialised into a temporary native table
// that the engine's table calls read like any other table (fields, navigation, bookmarks,
// record counts). The cursor is read-only; later changes of the source tables do not reach
// it. Its files are memory files (engine/storage/memory_storage.h), removed when the cursor is
// released.
//
// Result fields carry the engine type of the column they select (AutoInc becomes Integer and
// ModTime TimeStamp, since the cursor's own table would otherwise stamp them anew); computed
// columns get the natural type of their values: Integer, Double, Char of the longest value
// (Memo beyond 8000 characters), Binary for bytes.
//
// Threading: called with the session lock held.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string_view>

#include "engine/table/table_cursor.h"

namespace engine::sql {

class Session;

// Steps `stmt` once: true for a row, false at the end; throws the statement's error.
using StepFn = std::function<bool()>;

// Runs `stmt` to its end through `step` and returns the static cursor of its rows. `statement`
// is its text: an ORDER BY at its end gives the cursor its own order (result_order.h).
std::shared_ptr<table::TableCursor> MaterialiseResult(Session& session, sqlite3_stmt* stmt, const StepFn& step,
                                                      std::string_view statement);

}  // namespace engine::sql
