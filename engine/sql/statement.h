// An SQL statement of a connection: its options, its text, its positional parameters and what
// its last execution left (rows affected, the last autoincrement value).
//
// Execution runs the statements of the text in order (";" separates them); EXECUTE PROCEDURE
// of the system procedures and CREATE/DROP of tables and indexes are run by the engine itself
// (engine_statements.h). The last statement that produces rows gives the cursor: a static cursor
// (see result_cursor.h), or a live cursor over the table itself when the statement asked for
// one (read-only option 2) and is a plain selection of every field of one table.
//
// Timeouts and the process's abort callback stop a running statement: SQLite's progress
// handler asks both every few thousand steps.
//
// REQUIRES: external synchronization (one thread at a time per statement); execution also
// holds the session's lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/sql/session.h"

namespace engine::sql {

// A parameter value as SQLite takes it.
struct ParamValue {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // UTF-8 text or the blob's bytes
};

struct StatementOptions {
  uint16_t tableType = 3;
  uint16_t charType = 1;
  uint16_t lockType = 1;
  uint16_t checkRights = 1;  // 1 check, 2 do not
  uint16_t readOnly = 1;     // 1 static cursor, 2 a live cursor when the statement allows one
  uint16_t constrain = 2;
  uint16_t readAllColumns = 2;
  std::string collation;
  std::map<std::string, std::string> tablePasswords;  // upper-cased table name -> password
  std::optional<std::string> encryptionPassword;
};

class Statement {
 public:
  Statement(uint32_t connection, std::shared_ptr<Session> session);

  uint32_t connection() const { return connection_; }
  Session& session() { return *session_; }
  StatementOptions options;
  uint32_t timeoutSeconds = 0;  // 0: the connection's

  // Keeps `sql` (UTF-8) for Execute after checking it: every statement of it must parse and
  // name known tables and columns (7200, 5147, 5148 otherwise). Parameters are kept.
  void Prepare(const std::string& sql);
  // Checks `sql` as Prepare does without keeping it.
  void Verify(const std::string& sql);
  bool prepared() const { return prepared_.has_value(); }

  // Runs the prepared text (7200 when none) or `sql`. Returns the cursor handle (0 when the
  // statement produces no rows), registered with `self` (this statement's handle) as owner.
  uint32_t Execute(uint32_t self);
  uint32_t ExecuteDirect(uint32_t self, const std::string& sql);

  // Parameter `number` (1-based); 7200 (NATIVEERROR 2110) when the prepared text has fewer.
  void SetParam(uint32_t number, ParamValue value);
  // Adds a piece of a binary parameter set in parts; the value is complete when the pieces
  // reach `total` bytes.
  void SetBinaryPart(uint32_t number, uint32_t total, uint32_t offset, std::string_view bytes);
  size_t ParameterCount() const;

  // Rows the last execution changed; nullopt when it was not a row-changing statement.
  std::optional<uint32_t> rowsAffected() const { return rowsAffected_; }
  uint32_t lastAutoinc() const { return lastAutoinc_; }

 private:
  friend class StatementRun;  // one execution of the text, in statement.cpp

  uint32_t Run(uint32_t self, const std::string& sql, bool checkShape);
  void CheckParameterNumber(uint32_t number) const;

  uint32_t connection_;
  std::shared_ptr<Session> session_;
  std::optional<std::string> prepared_;
  std::vector<std::string> preparedColumns_;  // result columns of the prepared text's last statement
  std::map<uint32_t, ParamValue> params_;
  std::map<uint32_t, std::string> binaryParts_;
  std::optional<uint32_t> rowsAffected_;
  uint32_t lastAutoinc_ = 0;
};

// Registers whether cursor `handle` is live (AdsSqlPeekStatement).
void NoteCursor(uint32_t handle, bool live);
// Whether a cursor handle is live; false for static cursors and for tables.
bool IsLiveCursor(uint32_t handle);

}  // namespace engine::sql
