// The dataset framework's database errors: one raising helper and the message texts the
// framework uses. A message raised for a component is that component's name, ": " and the text
// (the text alone for a nameless component or none).
//
// Threading: the helpers are reentrant.
#pragma once

#include <QString>

#include "runtime/exception.h"

class TComponent;

// The silent failure a handler uses to abandon an operation without reporting it (daAbort).
class EAbort : public Exception {
 public:
  EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// Raises EDatabaseError with message, prefixed with the component's name when it has one.
[[noreturn]] void DatabaseError(const QString& message, const TComponent* component = nullptr);
// The same with "%s" in the format replaced by arg (format texts below).
[[noreturn]] void DatabaseErrorFmt(const QString& format, const QString& arg,
                                   const TComponent* component = nullptr);
// "%s" replaced by each argument in turn, for messages that take several.
QString FormatMessage(const QString& format, const QStringList& args);

namespace dbmsg {
inline const QString kDataSetOpen = QStringLiteral("Cannot perform this operation on an open dataset");
inline const QString kDataSetClosed = QStringLiteral("Cannot perform this operation on a closed dataset");
inline const QString kDataSetEmpty = QStringLiteral("Cannot perform this operation on an empty dataset");
inline const QString kDataSetReadOnly = QStringLiteral("Cannot modify a read-only dataset");
inline const QString kNotEditing = QStringLiteral("Dataset not in edit mode");
inline const QString kRecordNotFound = QStringLiteral("Record not found");
inline const QString kFieldNotFound = QStringLiteral("Field '%s' not found");
inline const QString kFieldReadOnly = QStringLiteral("Field '%s' cannot be modified");
inline const QString kNotIndexField = QStringLiteral("Field '%s' is not indexed and cannot be modified");
inline const QString kFieldRequired = QStringLiteral("Field '%s' must have a value");
inline const QString kFieldAccessError = QStringLiteral("Cannot access field '%s' as type %s");
inline const QString kFieldTypeMismatch = QStringLiteral("Type mismatch for field '%s', expecting: %s actual: %s");
inline const QString kDataSetMissing = QStringLiteral("Field '%s' has no dataset");
inline const QString kFieldNameMissing = QStringLiteral("Field name missing");
inline const QString kDuplicateFieldName = QStringLiteral("Duplicate field name '%s'");
inline const QString kLookupInfoError = QStringLiteral("Lookup information for field '%s' is incomplete");
inline const QString kInvalidBoolValue = QStringLiteral("'%s' is not a valid boolean value for field '%s'");
inline const QString kInvalidIntegerValue = QStringLiteral("'%s' is not a valid integer value for field '%s'");
inline const QString kInvalidFloatValue = QStringLiteral("'%s' is not a valid floating point value for field '%s'");
inline const QString kInvalidBcdValue = QStringLiteral("'%s' is not a valid BCD value for field '%s'");
inline const QString kInvalidDateValue = QStringLiteral("'%s' is not a valid date and time for field '%s'");
inline const QString kFieldRangeError = QStringLiteral("%s is not a valid value for field '%s'. The allowed range is %s to %s");
inline const QString kIndexNotFound = QStringLiteral("Index '%s' not found");
inline const QString kNoIndexForFields = QStringLiteral("No index for fields '%s'");
inline const QString kDuplicateIndexName = QStringLiteral("Duplicate index name '%s'");
inline const QString kParameterNotFound = QStringLiteral("Parameter '%s' not found");
inline const QString kCircularDataLink = QStringLiteral("Circular datalinks are not allowed");
inline const QString kTableMismatch = QStringLiteral("Tables are not the same");
inline const QString kBookmarkNotFound = QStringLiteral("Bookmark not found");
}  // namespace dbmsg

namespace dbmsg {
inline const QString kUnknownFieldType = QStringLiteral("Field '%s' is of an unknown type");
inline const QString kKeyValueCount = QStringLiteral("Wrong number of key values for the fields '%s'");
inline const QString kFieldSizeMismatch = QStringLiteral("Size mismatch for field '%s', expecting: %s actual: %s");
inline const QString kBlobWriteFailed = QStringLiteral("The value of field '%s' could not be written completely");
}  // namespace dbmsg
