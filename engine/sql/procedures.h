// EXECUTE PROCEDURE of the system procedures the engine provides:
//   sp_setapplicationid(id), sp_getapplicationid()          the connection's application id
//   sp_ModifyTableProperty(table, property, value, ...)    TABLE_PRIMARY_KEY, TABLE_DEFAULT_INDEX
//   sp_CreateUser(user, password, comment), sp_DropUser(user),
//   sp_ModifyUserProperty(user, 'USER_PASSWORD', value),
//   sp_CreateGroup(group, comment), sp_DropGroup(group),
//   sp_AddUserToGroup(user, group), sp_RemoveUserFromGroup(user, group)
// Names compare without regard to case. Arguments are SQL expressions (parameters allowed).
// Changing the dictionary needs the administrator; the text names the procedure.
//
// Threading: called with the session lock held.
#pragma once

#include <string>
#include <vector>

#include "engine/sql/engine_statements.h"

namespace engine::sql {

EngineStatementResult RunProcedure(EngineStatementContext& context, const std::string& text,
                                   const std::vector<Token>& tokens);

}  // namespace engine::sql
