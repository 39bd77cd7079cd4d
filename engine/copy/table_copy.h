// Copies of tables: a new table with the fields of an open one, with or without its records,
// of the same table type or converted to another (native <-> DBF), and the records of one open
// table appended to another.
//
// A conversion gives every field the same name, type, length and decimals in the new table's
// format (a field the target type cannot hold is refused before anything is written, naming it)
// and copies each value as a value: texts, numbers, dates, logicals and blobs, empty values as
// the target's empty value.
//
// Which records a copy takes follows the counting option of the record-count calls:
//   1  the records the handle shows: deleted records by the deleted-record setting, the
//      expression and optimised filters, and, through an index handle, the order's scope;
//   2  every record, deleted ones included (copied as deleted);
//   3  through an index handle the records within its scope, filters aside, deleted records by
//      the setting; through a table handle as 2 without the deleted records hidden by the setting.
// Adding 4 (a fresh count) changes nothing here. Through an index handle the records are copied
// in the order's sequence, else in record order. Blobs are copied with their records.
//
// A new table is written under a staging name beside its destination and put in place only when
// complete (table_files.h), so a failed copy leaves an existing destination as it was; a
// destination open elsewhere is not replaced (kTableInUse). Records appended to an open table
// are committed together at the end, or taken back together when the copy fails. The copy has
// the fields, memo block size, character type, collation and index page size of the source,
// and no index tags: its indexes are made on it afterwards.
//
// REQUIRES: the cursors are used by the calling thread only for the duration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/table/table_cursor.h"

namespace engine::copy {

// Writes a new table at hostPath with the fields of `source` and, when withRecords, the
// records the option selects (see above). `order` may be null.
// `type` is the new table's type (unset: the source's).
void CopyTable(table::TableCursor& source, table::RecordOrder* order, uint16_t option,
               const std::string& hostPath, bool withRecords, std::optional<table::TableType> type = std::nullopt);

// Appends the selected records of `source` to `destination`, which must have the same fields
// (names, types and lengths, in order): kInvalidTableArgument otherwise. Appended records get
// the destination's next autoincrement values and row versions.
void CopyContents(table::TableCursor& source, table::RecordOrder* order, uint16_t option,
                  table::TableCursor& destination);

}  // namespace engine::copy
