// Entry points of SQL statements: creating and closing them, their options, preparing,
// verifying and executing SQL text, timeouts and the abort callback, and telling live cursors
// from static ones.
#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/connection.h"
#include "engine/core/handles.h"
#include "engine/core/text_out.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_abort.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement.h"
#include "engine/table/table_cursor.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using sql::Statement;
using sql::StatementOptions;

namespace {

std::shared_ptr<Statement> StatementOf(ADSHANDLE h) { return core::Handles::Get<Statement>(h, core::Kind::kStatement); }

UNSIGNED32 HandOut(ADSHANDLE cursor, ADSHANDLE* phCursor) {
  if (phCursor) {
    *phCursor = cursor;
  } else if (cursor) {
    core::Handles::Remove(cursor, core::Kind::kCursor);  // nobody asked for the rows
  }
  return 0;
}

// Sets one numeric statement option that takes the values low to high; any other value is an
// argument error naming the call.
UNSIGNED32 SetChoice(ADSHANDLE hStatement, uint16_t StatementOptions::*option, UNSIGNED16 value, UNSIGNED16 low,
                     UNSIGNED16 high, const char* call) {
  auto s = StatementOf(hStatement);
  if (value < low || value > high) {
    Fail(err::kInvalidArgument, std::string(call) + ": the value " + std::to_string(value) + " is not one of " +
                                    std::to_string(low) + " to " + std::to_string(high) + ".");
  }
  s->options.*option = value;
  return 0;
}

}  // namespace

UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement) {
  core::Require(phStatement, "phStatement");
  std::shared_ptr<sql::Session> session = sql::Session::For(hConnect);
  auto statement = std::make_shared<Statement>(hConnect, std::move(session));
  *phStatement = core::Handles::Add(core::Kind::kStatement, statement, hConnect);
  return 0;
}

UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement) {
  StatementOf(hStatement);
  for (ADSHANDLE c : core::Handles::OwnedBy(hStatement, core::Kind::kCursor)) sql::NoteCursor(c, false);
  core::Handles::Remove(hStatement, core::Kind::kStatement);
  return 0;
}

UNSIGNED32 AdsPrepareSQLW(ADSHANDLE hStatement, WCHAR* pwcSQL) {
  core::Require(pwcSQL, "pwcSQL");
  StatementOf(hStatement)->Prepare(core::Utf16ToUtf8(core::InWide(pwcSQL)));
  return 0;
}

UNSIGNED32 AdsVerifySQLW(ADSHANDLE hStatement, WCHAR* pwcSQL) {
  core::Require(pwcSQL, "pwcSQL");
  StatementOf(hStatement)->Verify(core::Utf16ToUtf8(core::InWide(pwcSQL)));
  return 0;
}

UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor) {
  return HandOut(StatementOf(hStatement)->Execute(hStatement), phCursor);
}

UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, UNSIGNED8* pucSQL, ADSHANDLE* phCursor) {
  core::Require(pucSQL, "pucSQL");
  return HandOut(StatementOf(hStatement)->ExecuteDirect(hStatement, core::AnsiToUtf8(core::InText(pucSQL))), phCursor);
}

UNSIGNED32 AdsExecuteSQLDirectW(ADSHANDLE hStatement, WCHAR* pwcSQL, ADSHANDLE* phCursor) {
  core::Require(pwcSQL, "pwcSQL");
  return HandOut(StatementOf(hStatement)->ExecuteDirect(hStatement, core::Utf16ToUtf8(core::InWide(pwcSQL))),
                 phCursor);
}

UNSIGNED32 AdsGetSQLStmtParams(ADSHANDLE hStatement, UNSIGNED8* pucSQL, UNSIGNED32* pulLen) {
  // The caller's text is taken as it stands: parameters are positional, ":name" and "?"
  // markers alike, so nothing needs rewriting. The length reports the text's length. The text
  // needs no statement: components ask before they have created one (handle 0 or -1); any
  // other handle must be a statement.
  if (hStatement != 0 && hStatement != 0xFFFFFFFFu) StatementOf(hStatement);
  core::Require(pucSQL, "pucSQL");
  core::Require(pulLen, "pulLen");
  size_t n = 0;
  while (n < *pulLen && pucSQL[n] != 0) ++n;
  std::string text(reinterpret_cast<const char*>(pucSQL), n);
  return core::TextOut(text, pucSQL, pulLen);
}

UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType) {
  return SetChoice(hStatement, &StatementOptions::tableType, usTableType, 0, 4, "AdsStmtSetTableType");
}

UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType) {
  auto s = StatementOf(hStatement);
  if (usCharType == 0 || usCharType > 118) {
    Fail(err::kInvalidArgument, "AdsStmtSetTableCharType: character type " + std::to_string(usCharType) + " is unknown.");
  }
  s->options.charType = usCharType;
  return 0;
}

UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType) {
  return SetChoice(hStatement, &StatementOptions::lockType, usLockType, 0, 1, "AdsStmtSetTableLockType");
}

UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights) {
  return SetChoice(hStatement, &StatementOptions::checkRights, usCheckRights, 1, 2, "AdsStmtSetTableRights");
}

UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly) {
  return SetChoice(hStatement, &StatementOptions::readOnly, usReadOnly, 1, 2, "AdsStmtSetTableReadOnly");
}

UNSIGNED32 AdsStmtSetTableCollation(ADSHANDLE hStatement, UNSIGNED8* pucCollation) {
  StatementOf(hStatement)->options.collation = core::InText(pucCollation);
  return 0;
}

UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, UNSIGNED8* pucTableName, UNSIGNED8* pucPassword) {
  auto s = StatementOf(hStatement);
  std::string name = core::InText(core::Require(pucTableName, "pucTableName"));
  s->options.tablePasswords[core::AsciiUpper(name)] = core::InText(pucPassword);
  return 0;
}

UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement) {
  StatementOf(hStatement)->options.tablePasswords.clear();
  return 0;
}

UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, UNSIGNED8* pucPassword) {
  auto s = StatementOf(hStatement);
  s->options.encryptionPassword = core::InText(core::Require(pucPassword, "pucPassword"));
  return 0;
}

UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement) {
  StatementOf(hStatement)->options.encryptionPassword.reset();
  return 0;
}

UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain) {
  return SetChoice(hStatement, &StatementOptions::constrain, usConstrain, 1, 2, "AdsStmtConstrainUpdates");
}

UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadColumns) {
  return SetChoice(hStatement, &StatementOptions::readAllColumns, usReadColumns, 1, 2, "AdsStmtReadAllColumns");
}

UNSIGNED32 AdsSetSQLTimeout(ADSHANDLE hObj, UNSIGNED32 ulTimeout) {
  core::Kind kind = core::Handles::KindOf(hObj);
  if (kind == core::Kind::kStatement) {
    StatementOf(hObj)->timeoutSeconds = ulTimeout;
    return 0;
  }
  if (kind == core::Kind::kConnection) {
    std::shared_ptr<core::Connection> c = core::Connections::Get(hObj);
    std::lock_guard<std::mutex> lock(c->mutex);
    c->sql_timeout = ulTimeout;
    return 0;
  }
  Fail(err::kInvalidStatementHandle, "AdsSetSQLTimeout needs a statement or connection handle.");
}

UNSIGNED32 AdsRegisterSQLAbortFunc(ADS_SQL_ABORT_FUNC pfn) {
  sql::SetAbortFunction(pfn);
  return 0;
}

UNSIGNED32 AdsClearSQLAbortFunc() {
  sql::SetAbortFunction(nullptr);
  return 0;
}

UNSIGNED32 AdsSqlPeekStatement(ADSHANDLE hCursor, UNSIGNED16* pbIsLive) {
  core::Kind kind = core::Handles::KindOf(hCursor);
  if (kind != core::Kind::kCursor && kind != core::Kind::kTable) {
    Fail(err::kInvalidHandle, "AdsSqlPeekStatement needs a cursor handle.");
  }
  // A table is not the result of a statement: nothing about it is live in this sense.
  core::Out(pbIsLive, kind == core::Kind::kCursor && sql::IsLiveCursor(hCursor) ? 1 : 0, "pbIsLive");
  return 0;
}

}  // namespace engine::api
