#include "engine/sql/engine_statements.h"

#include "engine/core/codepage.h"
#include "engine/sql/procedures.h"
#include "engine/sql/sql_error.h"

namespace engine::sql {

std::optional<EngineStatementResult> RunEngineStatement(EngineStatementContext& context,
                                                        const StatementText& statement) {
  std::vector<Token> tokens = Tokenize(statement.text);
  if (tokens.empty()) return std::nullopt;
  std::string first = tokens[0].quoted || tokens[0].literal ? "" : Upper(tokens[0].text);
  if (first == "EXECUTE" || first == "EXEC") return RunProcedure(context, statement.text, tokens);
  if (first == "CREATE" || first == "DROP" || first == "ALTER") {
    // Tables and indexes live in the engine's own files and are made through the table and
    // index calls; SQLite could only make objects inside the connection's scratch database,
    // where they would vanish unseen. So DDL is refused rather than pretended.
    FailSql(native::kUnsupported, "The statement \"" + statement.text.substr(0, 60) +
                                      "\" is not supported: create and drop tables and indexes through the table and "
                                      "index calls (or aceadmin).");
  }
  return std::nullopt;
}

}  // namespace engine::sql
