#include "engine/core/error_texts.h"

#include <map>

namespace engine::core {
namespace {

// One line per code; docs/engine-errors.md carries the same texts with when each is given.
const std::map<ErrorCode, const char*>& Table() {
  static const std::map<ErrorCode, const char*> table = {
      {err::kInsufficientBuffer, "The buffer is too small; the length needed has been returned."},
      {err::kNoSuchIndexOrder, "No index order of that name is open on the table."},
      {err::kNotCustomIndex, "The index is not a custom index."},
      {err::kInvalidRecordNumber, "The record number is not valid."},
      {err::kNoConnectionForHandle, "The handle has no connection."},
      {err::kInvalidConnectionHandle, "The connection handle is not valid."},
      {err::kNoCollation, "The table has no collation."},
      {err::kRecordLocked, "The record or table is locked by another user."},
      {err::kNoFilter, "No filter is set."},
      {err::kNoScope, "No scope is set."},
      {err::kNoCurrentKey, "There is no current key."},
      {err::kPermissionDenied, "The user's rights do not allow this operation."},
      {err::kNoMoreTables, "No more tables."},
      {err::kRecordNotLocked, "The record is not locked."},
      {err::kStaticCursor, "A static cursor cannot be updated."},
      {err::kIndexAlreadyOpen, "The index is already open."},
      {err::kNoCurrentRecord, "There is no current record."},
      {err::kNoUpdatePending, "No update is pending."},
      {err::kTableNotLocked, "The table is not locked."},
      {err::kInvalidStatementHandle, "The statement handle is not valid."},
      {err::kNotRowChangingStatement, "The statement does not change rows."},
      {err::kComponentRefusal, "The operation was refused."},
      {err::kNotInDictionary, "The name is not in the data dictionary."},
      {err::kNoMoreObjects, "No more objects."},
      {err::kPropertyNotSet, "The property has no value."},
      {err::kColumnNotFound, "Column not found."},
      {err::kColumnAmbiguous, "Column name is ambiguous."},
      {err::kColumnTypeMismatch, "Column type does not match the value."},
      {err::kRecordChanged, "The record was changed by another user."},
      {err::kFilterIsSet, "A filter is set."},
      {err::kSqlError, "SQL error."},
      {err::kStatementMustBeRecreated, "The statement must be prepared again."},
      {err::kTableNotFound, "The table file does not exist."},
      {err::kTableInUse, "The table is in use by another user."},
      {err::kNotATableFile, "The file is not a native table."},
      {err::kTableVersion, "The table or memo file has a format version this engine does not read."},
      {err::kTableHeaderDamaged, "The table header is damaged."},
      {err::kTableTruncated, "The table file is truncated."},
      {err::kMemoDamaged, "The memo file is missing or damaged."},
      {err::kInvalidFieldDefinition, "The field definitions are not valid."},
      {err::kFieldNotFound, "The field does not exist."},
      {err::kFieldTypeMismatch, "The operation does not fit the field's type."},
      {err::kValueDoesNotFit, "The value does not fit the field."},
      {err::kTableReadOnly, "The table is open read-only."},
      {err::kExclusiveRequired, "The table must be open exclusively."},
      {err::kTableIoError, "A read or write of a table file failed."},
      {err::kInvalidDateText, "The text is not a date or time in the format in force."},
      {err::kInvalidTableArgument, "An argument of a table call is not valid."},
      {err::kTableExists, "The table cannot be replaced while it is in use."},
      {err::kExprSyntax, "The expression is not valid."},
      {err::kExprUnknownFunction, "The expression calls an unknown function."},
      {err::kExprUnknownField, "The expression names an unknown field."},
      {err::kExprTypeMismatch, "The expression combines values of the wrong types."},
      {err::kExprArgumentCount, "A function of the expression has the wrong number of arguments."},
      {err::kExprNotConstant, "A length in the expression must be a constant."},
      {err::kExprResultType, "The expression does not give the type the call needs."},
      {err::kExprTooComplex, "The expression is nested too deeply or its result is too long."},
      {err::kInvalidHandle, "The handle is not valid."},
      {err::kNullArgument, "A required argument is missing."},
      {err::kInvalidArgument, "An argument has a value the engine does not accept."},
      {err::kServerNotAvailable, "Server not available: only the local server is built into this engine."},
      {err::kConnectStringInvalid, "The connect string is not valid."},
      {err::kDataSourceNotFound, "The data source does not exist."},
      {err::kLoginRefused, "The user name or password is not valid."},
      {err::kNotADictionary, "The file is not a data dictionary."},
      {err::kAlreadyExists, "The object already exists."},
      {err::kNotDictionaryConnection, "The connection is not a data dictionary connection."},
      {err::kInvalidDateFormat, "The date format is not valid."},
      {err::kUnknownProperty, "The property is not known."},
      {err::kDictionaryFailure, "The data dictionary could not be read or written."},
      {err::kPathInvalid, "The path is not valid."},
      {err::kFileFailure, "A file operation failed."},
      {err::kNotAdministrator, "Only the administrator may do this."},
      {err::kDiskFull, "The disk is full; free space on it (or raise the quota) and try again."},
      {err::kAccessDenied, "Access to the file was denied; check its permissions and that its disk is writable."},
      {err::kNotInTransaction, "The connection is not in a transaction."},
      {err::kNoSuchSavepoint, "The transaction has no savepoint of that name."},
      {err::kTransactionFailed, "The rollback could not undo every change."},
      {err::kInTransaction, "This cannot be done during a transaction."},
      {err::kInternalError, "Internal engine error."},
      {err::kOutOfMemory, "Out of memory."},
      {err::kNotYetBuilt, "This entry point is not yet built."},
      {err::kUnknownCollation, "The collation is not known."},
      {err::kIndexFileCorrupt, "The index file is damaged; rebuild the indexes."},
      {err::kIndexVersionUnsupported, "The index file has another format version; rebuild the indexes."},
      {err::kIndexCollationMismatch, "The index was built with another collation."},
      {err::kIndexNeedsRebuild, "An update of the index file was interrupted; rebuild the indexes."},
      {err::kDuplicateKey, "The key is already in the unique index."},
      {err::kIndexKeyTooLong, "The index key is too long for the index page size."},
      {err::kInvalidIndexPageSize, "The index page size is not valid."},
      {err::kIndexIoError, "Reading or writing an index file failed."},
      {err::kRebuildCancelled, "The index rebuild was cancelled."},
      {err::kInvalidTagDefinition, "The index tag definition is not valid."},
      {err::kNoLocate, "There is no locate to continue; call AdsLocate first."},
      {err::kNotAvailableOnHost, "This operation is not available on this host."},
      {err::kEncryptionNotEnabled, "The table or record is encrypted; enable encryption with the table's password."},
      {err::kWrongTablePassword, "The password is not the table's password."},
      {err::kEncryptedDataDamaged, "Encrypted data of the table failed its authentication check."},
      {err::kEncryptedTableUnsupported, "This operation is not available on an encrypted table; decrypt it first."},
  };
  return table;
}

}  // namespace

std::string ErrorText(ErrorCode code, const std::string& detail) {
  return "Error " + std::to_string(code) + ": " + detail;
}

std::string StandardErrorText(ErrorCode code) {
  auto it = Table().find(code);
  return ErrorText(code, it == Table().end() ? "Unknown engine error." : it->second);
}

bool IsKnownErrorCode(ErrorCode code) { return Table().count(code) != 0; }

}  // namespace engine::core
