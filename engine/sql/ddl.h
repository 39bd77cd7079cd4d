// Data definition through SQL, run by the engine on its own files before SQLite sees the text:
//
//   CREATE TABLE name ( column type [(length[, decimals])] [PRIMARY KEY | UNIQUE] , ...
//                       [, [CONSTRAINT c] PRIMARY KEY (columns)] [, [CONSTRAINT c] UNIQUE (columns)] )
//   DROP TABLE name
//   CREATE [UNIQUE] INDEX name ON table ( expression-or-column [ASC|DESC] , ... )
//   DROP INDEX table.name | DROP INDEX name
//
// Type words are those of the field-definition string (Char, CIChar, VarChar, Integer,
// ShortInt, AutoInc, Numeric, Double, CurDouble, Money, Date, Time, TimeStamp, Logical, Memo,
// Binary/Blob, Image, Raw, NChar, NVarChar, NMemo, RowVersion, ModTime, ...) and the usual SQL
// names for them (INT, SMALLINT, DECIMAL, FLOAT, REAL, BOOLEAN, TEXT, CLOB, DATETIME, DOUBLE
// PRECISION). NUMERIC(p, s) is a numeric field of length p with s decimals.
//
// An index key is the columns or xBase expressions in the parentheses, one key segment each;
// UNIQUE refuses a second record with a key already present (also while the index is built),
// a PRIMARY KEY or UNIQUE constraint makes such an index on its columns, and on a dictionary
// the primary key's index becomes the table's primary key. Tags live in the table header and
// are built into the structural index file at once, so the record calls see them as soon as
// the statement returns.
//
// On a dictionary connection the tables are the dictionary's: CREATE TABLE adds the new table
// (its file beside the dictionary), DROP TABLE removes it and its files, and every statement
// here needs the administrator. On a folder connection they are the folder's table files.
// A table that another open holds cannot be dropped or given indexes (5402); a table name
// already in use is refused, never overwritten. A failure leaves files and dictionary as they
// were.
//
// Threading: called with the session lock held.
#pragma once

#include <optional>
#include <vector>

#include "engine/sql/engine_statements.h"
#include "engine/sql/sql_text.h"

namespace engine::sql {

// Whether `tokens` start a statement of this module.
bool IsDdl(const std::vector<Token>& tokens);

// Parses the statement and reports its syntax errors without touching anything.
void CheckDdl(const std::string& text, const std::vector<Token>& tokens);

// Runs the statement; nullopt when it is not one of this module's.
std::optional<EngineStatementResult> RunDdl(EngineStatementContext& context, const std::string& text,
                                            const std::vector<Token>& tokens);

}  // namespace engine::sql
