#include "engine/sql/sql_error.h"

#include "engine/core/error.h"

namespace engine::sql {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string After(const std::string& s, const char* prefix) { return s.substr(std::string(prefix).size()); }

}  // namespace

void FailSql(int nativeError, const std::string& detail) {
  Fail(err::kSqlError, "Error 7200: SQL error. NATIVEERROR = " + std::to_string(nativeError) + "; " + detail);
}

void FailColumn(unsigned code, const std::string& column, const std::string& detail) {
  Fail(code, detail + ": column \"" + column + "\".");
}

void FailFromSqlite(sqlite3* db, int rc) {
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int primary = rc & 0xFF;
  if (StartsWith(msg, "no such column: ")) {
    FailColumn(err::kColumnNotFound, After(msg, "no such column: "), "Column not found");
  }
  if (StartsWith(msg, "ambiguous column name: ")) {
    FailColumn(err::kColumnAmbiguous, After(msg, "ambiguous column name: "), "Column name is ambiguous");
  }
  if (StartsWith(msg, "no such table: ")) {
    std::string name = After(msg, "no such table: ");
    if (StartsWith(name, "main.")) name = After(name, "main.");
    FailSql(native::kUnknownTable, "Table not found: \"" + name + "\".");
  }
  if (primary == SQLITE_INTERRUPT) FailSql(native::kAborted, "The statement was stopped before it finished.");
  if (primary == SQLITE_CONSTRAINT) FailSql(native::kConstraint, msg + ".");
  if (primary == SQLITE_MISMATCH) FailSql(native::kTypeMismatch, msg + ".");
  if (primary == SQLITE_RANGE) FailSql(native::kParameter, "A parameter number is out of range.");
  if (StartsWith(msg, "no such function: ") || StartsWith(msg, "wrong number of arguments to function ")) {
    FailSql(native::kUnknownFunction, msg + ".");
  }
  if (msg.find("syntax error") != std::string::npos || StartsWith(msg, "incomplete input") ||
      StartsWith(msg, "unrecognized token")) {
    FailSql(native::kSyntax, "Syntax error: " + msg + ".");
  }
  if (StartsWith(msg, "not authorized")) {
    FailSql(native::kUnsupported, "The statement is not supported: the engine does not let SQL create, attach or "
                                  "change objects outside its tables.");
  }
  if (StartsWith(msg, "misuse of ") || msg.find("not allowed") != std::string::npos) {
    FailSql(native::kMisuse, msg + ".");
  }
  FailSql(native::kOther, msg + ".");
}

}  // namespace engine::sql
