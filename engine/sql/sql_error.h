// The errors of SQL statements. A failure of the SQL layer is code 7200 with a text of the form
//   "Error 7200: SQL error. NATIVEERROR = <n>; <what went wrong>"
// where <n> tells the kind (the numbers are listed in docs/engine-errors.md). A failure about
// one column is 5147 (unknown), 5148 (ambiguous) or 5149 (wrong type for the value) and names
// the column as column "NAME". An engine error raised while SQLite runs (a locked record, a
// missing right, a damaged file) reaches the caller with its own code and text.
//
// Threading: pure functions; they throw engine::EngineError.
#pragma once

#include <sqlite3.h>

#include <string>

namespace engine::sql {

// The kinds of SQL errors, reported as NATIVEERROR.
namespace native {
constexpr int kSyntax = 2100;            // the text is not a statement SQLite or the engine knows
constexpr int kUnknownTable = 2101;      // no table of that name on the connection
constexpr int kUnknownIndex = 2102;      // no index of that name on the table
constexpr int kUnknownFunction = 2103;   // no function of that name or argument count
constexpr int kMisuse = 2104;            // an operation the statement may not do (aggregate misuse, ...)
constexpr int kConstraint = 2105;        // a unique or not-null rule refused a change
constexpr int kTypeMismatch = 2106;      // a value of the wrong type
constexpr int kParameter = 2110;         // a parameter out of range or without a value
constexpr int kTimeout = 2120;           // the statement ran past its timeout
constexpr int kAborted = 2121;           // the abort callback stopped the statement
constexpr int kUnsupported = 2140;       // a statement or procedure the engine does not provide
constexpr int kProcedureArguments = 2141;  // wrong arguments to a system procedure
constexpr int kExists = 2142;            // CREATE of a table or index whose name is taken
constexpr int kOther = 2199;             // any other failure SQLite reports
}  // namespace native

// Throws 7200 with the native number and text.
[[noreturn]] void FailSql(int nativeError, const std::string& detail);

// Throws the error SQLite reported on `db` for result code `rc`, translated: column errors to
// 5147/5148, the rest to 7200 with the fitting native number.
[[noreturn]] void FailFromSqlite(sqlite3* db, int rc);

// Throws a column error naming `column`.
[[noreturn]] void FailColumn(unsigned code, const std::string& column, const std::string& detail);

}  // namespace engine::sql
