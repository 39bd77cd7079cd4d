// The SQL side of one engine connection: its own SQLite connection (an in-memory database) in
// which the connection's tables appear as virtual tables over the engine's files, and the
// attached schema "system" holds the catalogue (system.tables and its siblings).
//
// A table's virtual table is made the first time a statement names it and kept for later
// statements, since making one changes SQLite's schema and costs more than a small query.
// No lock is held between statements (the reindex run opens tables exclusively while its
// query is open): EndStatement closes what the virtual tables opened for changes and parks
// what they opened for reading (Table::Park), so the next statement takes that up again
// instead of opening the table anew. Each statement checks
// a kept virtual table against the table as it is then (its file, its fields, the user's
// rights) the first time it reads or changes it; a table whose fields changed is marked
// stale, and the statement forgets it and runs again with a new one (statement.cpp). The
// engine's own statements (CREATE/DROP TABLE and INDEX, procedures) forget every kept table.
// Statements are prepared and stepped under the session's mutex.
//
// Sessions live as long as a statement of the connection holds one; one session exists per
// connection at a time (Session::For).
//
// Thread safety: For is safe from any thread. The rest REQUIRES the session's mutex, which
// Lock() gives.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/table/table_schema.h"

namespace engine::table {
class Table;
}

namespace engine::sql {

// Where a table name leads on a connection.
struct ResolvedTable {
  std::string name;         // as the dictionary knows it (or as given, for a free table)
  std::string hostPath;
  std::string windowsPath;
  uint32_t rights = 0xFFFFFFFFu;  // the user's rights (dict::rights bits)
  bool checkRights = false;       // a dictionary user other than the administrator
  // The user's rights on the columns that have rights of their own, by column name.
  std::map<std::string, uint32_t> columnRights;
  bool inDictionary = false;
  bool outsideDictionary = false;  // named by a path on a dictionary connection, not one of its tables
};

// Fails with 5054 when `table` lies outside the connection's dictionary and the user may not
// reach such tables (only the administrator and the members of the administrators' group may).
void RequireReachable(const ResolvedTable& table);

class Session {
 public:
  // The session of `connection` (which must be a live connection handle), made on first use.
  static std::shared_ptr<Session> For(uint32_t connection);

  explicit Session(uint32_t connection);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

  sqlite3* db() const { return db_; }
  uint32_t connection() const { return connection_; }
  // The connection object; fails with 5024 when the connection has been closed.
  std::shared_ptr<core::Connection> Connection() const;

  // The table `name` of the connection, or nullopt when it has none of that name. Dictionary
  // connections know their tables by name; free connections take "name.adt" in the folder. A
  // path names a file: on a dictionary connection, the file of one of its tables is that table;
  // any other file lies outside the dictionary (see RequireReachable).
  // `opened`, when given, is a host path of a table file this statement has just opened: when
  // the name leads to it by its names as written, it is taken without looking at the disk.
  std::optional<ResolvedTable> Resolve(const std::string& name, const std::string* opened = nullptr) const;

  // Makes the virtual table of the table `name` in the schema "main"; answers false when the
  // connection has no such table. Fails with the table's open errors (5401, 5402, ...).
  bool AttachTable(const std::string& name);
  // Where `name` leads: what AttachTable found while it makes that virtual table, else Resolve.
  std::optional<ResolvedTable> ResolveForAttach(const std::string& name) const;
  // Drops every virtual table AttachTable made, or the one of that name.
  void ForgetTables();
  void ForgetTable(const std::string& name);

  // Runs when a statement has run, however it ended: the virtual tables write what they hold
  // and close their files. Hooks are registered by each virtual table for its lifetime.
  void EndStatement();
  // `isStale` answers whether the kept virtual table `name` no longer matches its table.
  void AddTableHooks(const void* owner, const std::string& name, std::function<void()> endStatement,
                     std::function<bool()> isStale);
  void RemoveTableHooks(const void* owner);
  // Forgets every kept virtual table that no longer matches its table; answers whether there
  // was one. A statement that SQLite refused may have been judged by one of them.
  bool ForgetChangedTables();

  // A kept virtual table that no longer matches its table; the running statement fails and
  // is run again after the table was forgotten.
  void MarkStale(const std::string& name) { stale_ = name; }
  std::optional<std::string> TakeStale();

  // The engine declarations of a virtual table's columns ("main" or "system", table name
  // without regard to case); null when unknown.
  const std::vector<table::FieldSpec>* ColumnsOf(const std::string& database, const std::string& table) const;
  void SetColumns(const std::string& database, const std::string& table, std::vector<table::FieldSpec> columns);

  // An engine error raised inside a virtual table callback (SQLite sees only a failure code);
  // the statement raises it in place of SQLite's message once SQLite returns.
  void SetPendingError(const EngineError& error) { pending_ = error; }
  std::optional<EngineError> TakePendingError();

  // The table passwords of the statement that runs now (AdsStmtSetTablePassword, upper-cased
  // names) and its general password (AdsStmtEnableEncryption); set for the duration of a run.
  std::map<std::string, std::string> tablePasswords;
  std::optional<std::string> encryptionPassword;
  // Enables encryption on `file`, just opened for `table`, when it is encrypted and the running
  // statement has a password for it (its table password first, else its general password). A
  // wrong password fails with 5504; without one, encrypted records give 5503 when read.
  void ApplyPassword(table::Table& file, const ResolvedTable& table) const;

  // Autoincrement value of the last record an INSERT of this session appended.
  uint32_t lastAutoinc = 0;
  // Records written through the virtual tables since the session began.
  uint64_t writes = 0;

 private:
  uint32_t connection_;
  sqlite3* db_ = nullptr;
  std::recursive_mutex mutex_;
  std::vector<std::string> attached_;
  std::optional<std::pair<std::string, ResolvedTable>> attaching_;
  struct TableHooks {
    std::string name;
    std::function<void()> endStatement;
    std::function<bool()> isStale;
  };
  std::map<const void*, TableHooks> hooks_;
  std::optional<std::string> stale_;
  std::map<std::string, std::vector<table::FieldSpec>> columns_;
  std::optional<EngineError> pending_;
  bool internal_ = false;  // the session itself is making or dropping virtual tables
};

}  // namespace engine::sql
