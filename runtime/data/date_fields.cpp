// Boolean, date, time and date-time fields.
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/field_text.h"

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) { SetDataType(ftBoolean); }

QString TBooleanField::AsString() const {
  if (IsNull()) return QString();
  return AsBoolean() ? QStringLiteral("True") : QStringLiteral("False");
}

void TBooleanField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  bool v = false;
  if (!fieldtext::ParseBool(value, v)) ConvertError(dbmsg::kInvalidBoolValue, value);
  SetAsBoolean(v);
}

bool TBooleanField::AsBoolean() const {
  int16_t v = 0;
  if (!GetData(&v)) return false;
  return v != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  int16_t v = value ? -1 : 0;
  SetData(&v);
}

QVariant TBooleanField::AsVariant() const {
  int16_t v = 0;
  if (!GetData(&v)) return QVariant();
  return v != 0;
}

TDateTimeField::TDateTimeField(TComponent* owner) : TDateTimeField(owner, ftDateTime) {}

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }

QString TDateTimeField::AsString() const {
  if (IsNull()) return QString();
  return dbdates::DateTimeText(AsDateTime());
}

void TDateTimeField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  TDateTime v = 0;
  if (!dbdates::TryParseDateTime(value, v)) ConvertError(dbmsg::kInvalidDateValue, value);
  SetAsDateTime(v);
}

TDateTime TDateTimeField::AsDateTime() const {
  double msecs = 0;
  if (!GetData(&msecs)) return 0;
  return dbdates::TimeStampMSecsToDateTime(msecs);
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  double msecs = dbdates::DateTimeToTimeStampMSecs(value);
  SetData(&msecs);
}

QVariant TDateTimeField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsDateTime();
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}

QString TDateField::AsString() const {
  if (IsNull()) return QString();
  return dbdates::DateText(AsDateTime());
}

TDateTime TDateField::AsDateTime() const {
  int32_t day = 0;
  if (!GetData(&day)) return 0;
  return dbdates::DayNumberToDateTime(day);
}

void TDateField::SetAsDateTime(TDateTime value) {
  int32_t day = dbdates::DateTimeToDayNumber(value);
  SetData(&day);
}

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}

QString TTimeField::AsString() const {
  if (IsNull()) return QString();
  return dbdates::TimeText(AsDateTime());
}

void TTimeField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  TDateTime v = 0;
  if (!dbdates::TryParseTime(value, v)) ConvertError(dbmsg::kInvalidDateValue, value);
  SetAsDateTime(v);
}

TDateTime TTimeField::AsDateTime() const {
  int32_t msecs = 0;
  if (!GetData(&msecs)) return 0;
  return dbdates::MSecsOfDayToDateTime(msecs);
}

void TTimeField::SetAsDateTime(TDateTime value) {
  int32_t msecs = dbdates::DateTimeToMSecsOfDay(value);
  SetData(&msecs);
}
