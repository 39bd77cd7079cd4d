// Statements the engine runs itself rather than SQLite: EXECUTE PROCEDURE of the system
// procedures, and CREATE/DROP of tables and indexes (ddl.h). Every other CREATE, DROP and
// ALTER is refused with NATIVEERROR 2140: SQLite could only make such objects inside the
// connection's scratch database, where they would vanish unseen.
//
// Threading: called with the session lock held.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/sql/sql_text.h"

namespace engine::sql {

class Session;

// What an engine statement needs from the statement running it.
struct EngineStatementContext {
  Session& session;
  uint32_t statementHandle;
  // Evaluates expressions (SQL text, markers "?N" allowed) into one row of values: the
  // arguments of a procedure.
  std::function<std::vector<std::string>(const std::vector<std::string>& expressions)> evaluate;
  // Makes a static cursor from a SELECT text whose markers are bound (procedure results).
  std::function<uint32_t(const std::string& select)> cursorFrom;
  // Character type (1 ANSI, 2 OEM) and collation of tables the statement creates.
  uint16_t charType = 1;
  std::string collation;
};

struct EngineStatementResult {
  uint32_t cursor = 0;                  // result cursor handle, 0 for none
  std::optional<uint32_t> rowsAffected;  // nullopt: not a row-changing statement
};

// Runs `statement` when it is one the engine handles; nullopt when SQLite should run it.
std::optional<EngineStatementResult> RunEngineStatement(EngineStatementContext& context,
                                                        const StatementText& statement);

}  // namespace engine::sql
