// Field values as the value entry points give and take them: the text form of every type
// (dates in the date format in force, times as HH:MM:SS, numbers with their decimals), and
// the reverse conversion of text into a field.
//
// Thread safety: stateless; the cursor is used by the caller's thread only.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/table_cursor.h"

namespace engine::table {

// The text of field i of the current record (8-bit); blobs give their content (NMemo converted).
std::string FieldText(TableCursor& cursor, size_t i);
// The same into *out, reusing its room: a caller reading every field of every record keeps one
// string for them all.
void FieldTextInto(TableCursor& cursor, size_t i, std::string* out);
// The same as UTF-16 (national types without conversion).
std::u16string FieldWideText(TableCursor& cursor, size_t i);
// Applies a trim option (0 none, 1 left, 2 right, 3 both) to text.
std::string Trimmed(std::string text, uint16_t option);
std::string_view Trimmed(std::string_view text, uint16_t option);
std::u16string Trimmed(std::u16string text, uint16_t option);

// A copy of a record image of `length` bytes in a buffer that every setter of this thread reuses:
// a value is computed on it so that a refused value leaves the record as it was, and a setter is
// called for every field of every record written, so the copy costs no allocation. Valid until
// the thread's next call.
uint8_t* ScratchCopy(const uint8_t* image, size_t length);

// Stores text into field i of the current record (beginning a change), or, with `into`, into
// that record image of the cursor's schema (blob fields refused).
void SetFieldText(TableCursor& cursor, size_t i, std::string_view text, uint8_t* into = nullptr);
void SetFieldWideText(TableCursor& cursor, size_t i, std::u16string_view text, uint8_t* into = nullptr);

// Fails unless the field may be written by the caller: AutoInc, RowVersion and ModTime belong
// to the engine (5410), and a column with rights of its own needs the insert right in a record
// being appended, else the update right (5054).
void CheckAssignable(TableCursor& cursor, size_t i);
// The same for a record being inserted in one call (TableCursor::InsertRecord).
void CheckInsertable(TableCursor& cursor, size_t i);
// The columnOptions of a cursor over `schema` for the rights of the columns that have their own
// (dictionary rights bits by column name, matched without regard to the case of a-z).
std::vector<uint32_t> ColumnOptionsOf(const Schema& schema, const std::map<std::string, uint32_t>& columnRights);
// The kOpt*Granted bits that apply to field i of the cursor: the column's own, or the table's.
uint32_t ColumnOptions(const TableCursor& cursor, size_t i);

}  // namespace engine::table
