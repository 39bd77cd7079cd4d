// A thin RAII layer over the SQLite C API for the dictionary: an open database (its files go
// through the engine's storage, engine/storage/sqlite_vfs.h) and prepared statements with bound
// values, stepping and column access. Every SQLite failure becomes an
// EngineError with code 5913 and SQLite's message, except where the caller inspects codes, and
// except a full disk and a refused access, which have the engine's codes for them (FailureCode).
//
// The database keeps the statements it prepared, by their text, once they are done with (reset,
// their values unbound, so they hold no lock): every SQL statement on a dictionary connection
// looks its tables and rights up, and preparing the same few texts again each time cost more
// than running them. SQLite prepares a kept statement again by itself when the schema changed.
//
// Thread safety: none; the Dictionary serialises access with its own mutex.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace engine::dict {

class SqliteDb {
 public:
  // Opens `host_path` with the given sqlite3_open_v2 flags. On failure returns nullptr and
  // stores SQLite's result code, its message and the host's errno behind it (0 when none).
  static std::unique_ptr<SqliteDb> Open(const std::string& host_path, int flags, int* code, std::string* message,
                                        int* hostError);
  // Takes ownership of an open handle.
  explicit SqliteDb(sqlite3* db) : db_(db) {}
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* raw() const { return db_; }
  // Runs one or more statements without results; fails with 5913.
  void Exec(const std::string& sql);
  std::string ErrorMessage() const;

  // A prepared statement of `sql`: a kept one when there is one, else a new one (nullptr with
  // SQLite's code in *code when it cannot be prepared). Keep gives it back once it is reset.
  sqlite3_stmt* Take(const char* sql, int* code);
  void Keep(sqlite3_stmt* stmt);

 private:
  static constexpr size_t kKeptStatements = 64;

  sqlite3* db_;
  std::unordered_multimap<std::string, sqlite3_stmt*> kept_;
};

// The engine code for the SQLite failure `rc` whose host errno was `hostError`: a full disk
// (SQLITE_FULL) and the host failures storage::HostErrorCode singles out have their own codes
// whatever the file; anything else is `code`.
uint32_t FailureCode(int rc, int hostError, uint32_t code);

class SqliteStmt {
 public:
  // Prepares `sql`; fails with 5913.
  SqliteStmt(SqliteDb& db, const char* sql);
  ~SqliteStmt();
  SqliteStmt(const SqliteStmt&) = delete;
  SqliteStmt& operator=(const SqliteStmt&) = delete;

  SqliteStmt& Bind(int index, const std::string& text);
  SqliteStmt& BindBlob(int index, const std::string& bytes);
  SqliteStmt& Bind(int index, int64_t value);
  SqliteStmt& BindNull(int index);

  // Steps once: true for a row, false when done; fails with 5913 (or 5909 for a constraint
  // violation, with `what` naming the object).
  bool Step(const std::string& what = std::string());
  // Steps to the end, for statements without rows.
  void Run(const std::string& what = std::string()) { while (Step(what)) {} }
  int LastCode() const { return last_code_; }

  std::string Text(int column) const;
  std::optional<std::string> OptionalText(int column) const;
  int64_t Int(int column) const;

 private:
  SqliteDb& db_;
  sqlite3_stmt* stmt_ = nullptr;
  int last_code_ = SQLITE_OK;
};

}  // namespace engine::dict
