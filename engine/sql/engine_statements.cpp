#include "engine/sql/engine_statements.h"

#include "engine/core/codepage.h"
#include "engine/sql/ddl.h"
#include "engine/sql/procedures.h"
#include "engine/sql/sql_error.h"

namespace engine::sql {

std::optional<EngineStatementResult> RunEngineStatement(EngineStatementContext& context,
                                                        const StatementText& statement) {
  std::vector<Token> tokens = Tokenize(statement.text);
  if (tokens.empty()) return std::nullopt;
  std::string first = tokens[0].quoted || tokens[0].literal ? "" : Upper(tokens[0].text);
  if (first == "EXECUTE" || first == "EXEC") return RunProcedure(context, statement.text, tokens);
  if (IsDdl(tokens)) return RunDdl(context, statement.text, tokens);
  if (first == "CREATE" || first == "DROP" || first == "ALTER") {
    FailSql(native::kUnsupported, "The statement \"" + statement.text.substr(0, 60) +
                                      "\" is not supported: SQL creates and drops tables and indexes only.");
  }
  return std::nullopt;
}

}  // namespace engine::sql
