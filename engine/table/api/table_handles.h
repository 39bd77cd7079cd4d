// What the table entry points share: finding the cursor (and the order) behind a table,
// cursor or index handle, resolving field arguments, table paths and the date format, and the
// process's progress callback.
//
// Thread safety: the functions are safe from any thread; the cursors they return are used by
// one thread at a time (the handle's caller).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/handles.h"
#include "engine/table/table_cursor.h"

namespace engine::table {

struct CursorRef {
  std::shared_ptr<TableCursor> cursor;
  std::shared_ptr<OrderHandle> orderHandle;  // set for an index handle
  // The order navigation follows: the index handle's, else the cursor's own (record order
  // when it has none).
  RecordOrder* order() const { return orderHandle ? &orderHandle->order() : cursor->defaultOrder(); }
  TableCursor* operator->() const { return cursor.get(); }
};

// The cursor of a table or cursor handle, or of an index order handle with its order.
CursorRef CursorOf(uint32_t handle);
// The same, or an empty reference (no cursor) for any other handle, without failing.
CursorRef FindCursor(uint32_t handle);
// The cursor of a table or cursor handle only (calls that take hTable).
std::shared_ptr<TableCursor> TableOf(uint32_t handle);

// The 0-based field a field argument names: a 1-based number cast to a pointer (below 65536)
// or a NUL-terminated name. Fails with kFieldNotFound.
size_t FieldIndex(TableCursor& cursor, const uint8_t* field);

// The host path of a table named `name` on connection `connection` (0: none): relative names
// are taken in the connection's folder, ".adt" is added when the name has no extension.
// *windowsPath receives the Windows form.
// A name without extension gets the extension of `type`'s table files (".adt" or ".dbf").
std::string TableHostPath(uint32_t connection, const std::string& name, std::string* windowsPath,
                          TableType type = TableType::kAdt);
// The Windows form alone (no look-up on the disk).
std::string TableWindowsPath(uint32_t connection, const std::string& name, TableType type = TableType::kAdt);

// Returns the name of a file given by its Windows path as the file-name calls do: option 1
// the base name without extension, 2 with it, 3 the whole path; `call` names the entry point
// in the error for another option.
uint32_t FileNameOut(const std::string& windowsPath, uint16_t option, uint8_t* buf, uint16_t* len, const char* call);

// The date format in force for a cursor's or connection's calls (connection 0: the process's).
std::string DateFormatText(uint32_t connection);

// Calls the registered progress callback; answers false when it asks to stop.
bool ReportProgress(uint16_t percent);

// Opens the table file at a host path shared, with its indexes kept right: how a rollback
// reaches a table that no open of its connection holds any more.
std::unique_ptr<Table> OpenForUndo(const std::string& host);

}  // namespace engine::table
