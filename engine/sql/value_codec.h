// How engine field values look inside SQLite, and back.
//
//   Char, CIChar, VarChar, Memo, NChar, NVarChar, NMemo   TEXT (UTF-8; Char kinds without
//                                                         their padding blanks)
//   Integer, ShortInt, AutoInc, RowVersion                INTEGER
//   Logical                                               INTEGER 1 or 0
//   Numeric                                               INTEGER without decimals, else REAL
//   Double, CurDouble, Money                              REAL
//   Date                                                  TEXT 'YYYY-MM-DD'
//   Time                                                  TEXT 'HH:MM:SS' (or 'HH:MM:SS.mmm')
//   TimeStamp, ModTime                                    TEXT 'YYYY-MM-DD HH:MM:SS[.mmm]'
//   Raw, VarBinary, Binary, Image                         BLOB
// A null field is NULL. The text forms compare in date order, so conditions on dates and
// times work on the text; they are also the forms SQL literals use.
//
// Threading: pure functions over caller-owned data.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/table/record_access.h"

namespace engine::sql {

// The SQLite declared type of a field type ("TEXT", "INTEGER", "REAL", "BLOB").
const char* DeclaredType(table::FieldType type);

// Text forms of dates and times.
std::string DateText(int32_t julian);
std::string TimeText(int32_t milliseconds);
// Parses 'YYYY-MM-DD' (also 'YYYY/MM/DD'); nullopt when the text is not a valid date.
std::optional<int32_t> ParseDate(std::string_view text);
// Parses 'HH:MM[:SS[.fff]]'.
std::optional<int32_t> ParseTime(std::string_view text);
// Parses a date optionally followed by ' ' or 'T' and a time.
bool ParseTimeStamp(std::string_view text, int32_t* julian, int32_t* milliseconds);

// The value of a field that SQLite sees as a number (or NULL): every field type but the text,
// date, time and binary ones.
struct SqlNumber {
  enum class Kind { kNull, kInteger, kReal } kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
};
// Field i of `record` as SQLite sees it, into *out, when that is a number or NULL; false for
// a text, date, time or binary field.
bool NumberField(const table::RecordView& record, size_t i, SqlNumber* out);
// Gives SQLite `value`.
void ResultNumber(sqlite3_context* ctx, const SqlNumber& value);

// Gives SQLite the value of field i of `record`. `readBlob` reads a blob's content.
void ResultField(sqlite3_context* ctx, const table::RecordView& record, size_t i,
                 const std::function<std::string(table::BlobRef)>& readBlob);

// Writes `value` into field i of `image`. Blob content goes to `setBlob` (the caller stores
// it and the reference). Fails with 5149 naming the field when the value does not fit the
// field's type (text that is no date for a date field, a number for a binary field, ...), and
// with the table layer's errors for a value out of range or, unless `truncate`, too long.
void StoreValue(const table::Schema& schema, uint8_t* image, size_t i, sqlite3_value* value, bool truncate,
                const std::function<void(std::string_view content)>& setBlob);

}  // namespace engine::sql
