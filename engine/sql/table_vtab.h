// The SQLite module "engine_table": a virtual table over one native table of a connection.
// Reading walks the table's live records in record-number order; the rowid is the record
// number. An equality constraint on a column that an index tag keys alone (no condition, not
// a unique or custom tag; character, integer and numeric columns) is looked up in that tag
// instead, and only the matching records are read. SQLite still applies every condition to
// the rows it gets, so a lookup that cannot be made (index unavailable, a value of another
// kind) falls back to the walk with the same result.
// Inserts, updates and deletes go through a table cursor of the engine, so record locks,
// rights and autoincrement values hold as for any other caller of the record calls.
//
// A scan's open of the table stays open between statements without any lock (Table::Park) and
// is taken up by the next scan when nothing of it may have changed meanwhile (Table::Resume);
// a changing statement opens the table for itself and closes it when it has run.
//
// Threading: called by SQLite on the thread that runs the statement, under the session lock.
#pragma once

#include <sqlite3.h>

namespace engine::sql {

class Session;

// Registers the module on `db`; its virtual tables belong to `session`.
void RegisterTableModule(sqlite3* db, Session* session);

}  // namespace engine::sql
