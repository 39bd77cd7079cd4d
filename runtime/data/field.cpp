// The field base class: attachment to a dataset, value-form access and the default accessors.
#include "runtime/data/field.h"

#include <QDateTime>
#include <cstring>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  if (dataSet_ != nullptr) dataSet_->Fields().Remove(this);
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_ != nullptr && dataSet_->Active()) DatabaseError(dbmsg::kDataSetOpen, dataSet_);
  if (dataSet != nullptr && dataSet->Active()) DatabaseError(dbmsg::kDataSetOpen, dataSet);
  if (dataSet != nullptr && !fieldName_.isEmpty() && dataSet->FindField(fieldName_) != nullptr)
    DatabaseErrorFmt(dbmsg::kDuplicateFieldName, fieldName_, dataSet);
  if (dataSet_ != nullptr) dataSet_->Fields().Remove(this);
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->Fields().Add(this);
}

void TField::SetFieldName(const QString& name) {
  if (dataSet_ != nullptr) {
    TField* other = dataSet_->FindField(name);
    if (other != nullptr && other != this) DatabaseErrorFmt(dbmsg::kDuplicateFieldName, name, dataSet_);
  }
  fieldName_ = name;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (dataSet_ != nullptr && dataSet_->Active()) DatabaseError(dbmsg::kDataSetOpen, dataSet_);
  fieldKind_ = kind;
}

void TField::SetSize(int size) {
  if (dataSet_ != nullptr && dataSet_->Active()) DatabaseError(dbmsg::kDataSetOpen, dataSet_);
  size_ = size;
}

int TField::Index() const { return dataSet_ != nullptr ? dataSet_->Fields().IndexOf(this) : -1; }

void TField::SetLookupDataSet(TDataSet* dataSet) {
  if (lookupDataSet_ != nullptr) RemoveFreeNotification(lookupDataSet_);
  lookupDataSet_ = dataSet;
  if (dataSet != nullptr) FreeNotification(dataSet);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  const void* savedBuffer = validating_;
  bool saved = isValidating_;
  validating_ = buffer;
  isValidating_ = true;
  try {
    OnValidate(this);
  } catch (...) {
    validating_ = savedBuffer;
    isValidating_ = saved;
    throw;
  }
  validating_ = savedBuffer;
  isValidating_ = saved;
}

void TField::SetFieldType(TFieldType) {}

void TField::FreeBuffers() {}

bool TField::GetData(void* buffer) const {
  if (isValidating_) {
    if (validating_ == nullptr) return false;
    if (buffer != nullptr) std::memcpy(buffer, validating_, static_cast<size_t>(DataSize()));
    return true;
  }
  if (dataSet_ == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  return dataSet_->GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
  if (dataSet_ == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  dataSet_->StoreFieldData(this, buffer);
}

bool TField::IsNull() const { return !GetData(nullptr); }

bool TField::ReadValue(std::vector<char>& buffer) const {
  buffer.assign(static_cast<size_t>(DataSize()) + 2, '\0');
  return GetData(buffer.data());
}

void TField::AccessError(const QString& typeName) const {
  DatabaseError(FormatMessage(dbmsg::kFieldAccessError, {DisplayName(), typeName}));
}

void TField::ConvertError(const QString& format, const QString& text) const {
  throw EConvertError(FormatMessage(format, {text, DisplayName()}));
}

QString TField::AsString() const { AccessError(QStringLiteral("String")); }
void TField::SetAsString(const QString&) { AccessError(QStringLiteral("String")); }
int TField::AsInteger() const { AccessError(QStringLiteral("Integer")); }
void TField::SetAsInteger(int) { AccessError(QStringLiteral("Integer")); }
qint64 TField::AsLargeInt() const { return AsInteger(); }
void TField::SetAsLargeInt(qint64 value) {
  if (value < INT32_MIN || value > INT32_MAX)
    ConvertError(dbmsg::kInvalidIntegerValue, QString::number(value));
  SetAsInteger(static_cast<int>(value));
}
double TField::AsFloat() const { AccessError(QStringLiteral("Float")); }
void TField::SetAsFloat(double) { AccessError(QStringLiteral("Float")); }
bool TField::AsBoolean() const { AccessError(QStringLiteral("Boolean")); }
void TField::SetAsBoolean(bool) { AccessError(QStringLiteral("Boolean")); }
TDateTime TField::AsDateTime() const { AccessError(QStringLiteral("DateTime")); }
void TField::SetAsDateTime(TDateTime) { AccessError(QStringLiteral("DateTime")); }
TBcd TField::AsBCD() const { AccessError(QStringLiteral("BCD")); }
void TField::SetAsBCD(const TBcd&) { AccessError(QStringLiteral("BCD")); }
QByteArray TField::AsBytes() const { AccessError(QStringLiteral("Bytes")); }
void TField::SetAsBytes(const QByteArray&) { AccessError(QStringLiteral("Bytes")); }

void TField::SetAsVariant(const QVariant& value) {
  if (!value.isValid() || value.isNull()) {
    Clear();
    return;
  }
  switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
      SetAsString(value.toString());
      return;
    case QMetaType::Bool:
      SetAsBoolean(value.toBool());
      return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      SetAsInteger(value.toInt());
      return;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
      SetAsLargeInt(value.toLongLong());
      return;
    case QMetaType::Double:
    case QMetaType::Float:
      SetAsFloat(value.toDouble());
      return;
    case QMetaType::QByteArray:
      SetAsBytes(value.toByteArray());
      return;
    case QMetaType::QDate:
      SetAsDateTime(static_cast<double>(QDate(1899, 12, 30).daysTo(value.toDate())));
      return;
    case QMetaType::QDateTime: {
      QDateTime dt = value.toDateTime();
      double days = static_cast<double>(QDate(1899, 12, 30).daysTo(dt.date()));
      double time = dt.time().msecsSinceStartOfDay() / dbdates::kMSecsPerDay;
      SetAsDateTime(days >= 0 ? days + time : days - time);
      return;
    }
    default:
      break;
  }
  if (value.metaType() == QMetaType::fromType<TBcd>()) {
    SetAsBCD(value.value<TBcd>());
    return;
  }
  SetAsString(value.toString());
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == lookupDataSet_) lookupDataSet_ = nullptr;
}
