// SQLite's side of the rebuild benchmarks: the generated rows in a table t(i, s30, s20, d) with
// the same three indexes the engine's table has (on i, on upper(s30), on (s20, d)).
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

#include "rebuild_rows.h"

namespace bench {

// Runs one statement; a failure ends the benchmark, since its figures would mean nothing.
inline void SqliteExec(sqlite3* db, const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
    std::fprintf(stderr, "SQLite: %s: %s\n", sql, msg ? msg : "?");
    std::exit(1);
  }
}

// Creates t with rows 1..n and its three indexes in one transaction of an open database.
inline void FillSqliteTable(sqlite3* db, uint32_t n) {
  SqliteExec(db, "CREATE TABLE t(i INTEGER, s30 TEXT, s20 TEXT, d INTEGER)");
  SqliteExec(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &ins, nullptr);
  Row r;
  for (uint32_t recno = 1; recno <= n; ++recno) {
    MakeRow(recno, r);
    sqlite3_bind_int(ins, 1, r.i);
    sqlite3_bind_text(ins, 2, r.s30, 30, SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, r.s20, 20, SQLITE_STATIC);
    sqlite3_bind_int(ins, 4, r.d);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  SqliteExec(db, "CREATE INDEX ti ON t(i)");
  SqliteExec(db, "CREATE INDEX tu ON t(upper(s30))");
  SqliteExec(db, "CREATE INDEX tc ON t(s20, d)");
  SqliteExec(db, "COMMIT");
}

}  // namespace bench
