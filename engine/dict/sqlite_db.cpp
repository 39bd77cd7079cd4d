#include "engine/dict/sqlite_db.h"

#include "engine/core/error.h"
#include "engine/storage/sqlite_vfs.h"
#include "engine/storage/storage.h"

namespace engine::dict {

uint32_t FailureCode(int rc, int hostError, uint32_t code) {
  if ((rc & 0xff) == SQLITE_FULL) return err::kDiskFull;
  return storage::HostErrorCode(hostError, code);
}

std::unique_ptr<SqliteDb> SqliteDb::Open(const std::string& host_path, int flags, int* code, std::string* message,
                                         int* hostError) {
  sqlite3* db = nullptr;
  // Through the engine's storage, like every other file of the engine.
  int rc = sqlite3_open_v2(host_path.c_str(), &db, flags, storage::SqliteVfsName());
  if (rc != SQLITE_OK) {
    *code = rc;
    *message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    *hostError = db ? sqlite3_system_errno(db) : 0;
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 10000);
  sqlite3_extended_result_codes(db, 0);
  *code = SQLITE_OK;
  *hostError = 0;
  return std::make_unique<SqliteDb>(db);
}

SqliteDb::~SqliteDb() {
  for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

sqlite3_stmt* SqliteDb::Take(const char* sql, int* code) {
  *code = SQLITE_OK;
  auto it = kept_.find(sql);
  if (it != kept_.end()) {
    sqlite3_stmt* stmt = it->second;
    kept_.erase(it);
    return stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  *code = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (*code != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  return stmt;
}

void SqliteDb::Keep(sqlite3_stmt* stmt) {
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  const char* sql = sqlite3_sql(stmt);
  if (!sql || kept_.size() >= kKeptStatements) {
    sqlite3_finalize(stmt);
    return;
  }
  kept_.emplace(sql, stmt);
}

std::string SqliteDb::ErrorMessage() const { return sqlite3_errmsg(db_); }

void SqliteDb::Exec(const std::string& sql) {
  char* error = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string text = error ? error : ErrorMessage();
    sqlite3_free(error);
    Fail(FailureCode(rc, sqlite3_system_errno(db_), err::kDictionaryFailure),
         "The data dictionary could not be updated: " + text);
  }
}

SqliteStmt::SqliteStmt(SqliteDb& db, const char* sql) : db_(db) {
  int code = SQLITE_OK;
  stmt_ = db.Take(sql, &code);
  if (!stmt_) {
    Fail(FailureCode(code, sqlite3_system_errno(db.raw()), err::kDictionaryFailure),
         "The data dictionary could not be read: " + db.ErrorMessage());
  }
}

SqliteStmt::~SqliteStmt() { db_.Keep(stmt_); }

SqliteStmt& SqliteStmt::Bind(int index, const std::string& text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStmt& SqliteStmt::BindBlob(int index, const std::string& bytes) {
  sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStmt& SqliteStmt::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

SqliteStmt& SqliteStmt::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

bool SqliteStmt::Step(const std::string& what) {
  last_code_ = sqlite3_step(stmt_);
  if (last_code_ == SQLITE_ROW) return true;
  if (last_code_ == SQLITE_DONE) return false;
  if (last_code_ == SQLITE_CONSTRAINT) {
    Fail(err::kAlreadyExists, (what.empty() ? std::string("The object") : what) + " already exists in the data dictionary.");
  }
  Fail(FailureCode(last_code_, sqlite3_system_errno(db_.raw()), err::kDictionaryFailure),
       "The data dictionary could not be read or written: " + db_.ErrorMessage());
}

std::string SqliteStmt::Text(int column) const {
  const unsigned char* p = sqlite3_column_text(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

std::optional<std::string> SqliteStmt::OptionalText(int column) const {
  if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
  const void* p = sqlite3_column_blob(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string(static_cast<const char*>(p), n) : std::string();
}

int64_t SqliteStmt::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

}  // namespace engine::dict
