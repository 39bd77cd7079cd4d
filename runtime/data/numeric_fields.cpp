// Integer and floating-point fields: 16- and 32-bit integers and 64-bit doubles.
#include <cmath>
#include <cstring>

#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/field_text.h"

TIntegerField::TIntegerField(TComponent* owner) : TIntegerField(owner, ftInteger, INT32_MIN, INT32_MAX) {}

TIntegerField::TIntegerField(TComponent* owner, TFieldType type, int typeMin, int typeMax)
    : TField(owner), typeMin_(typeMin), typeMax_(typeMax) {
  SetDataType(type);
}

void TIntegerField::checkRange(qint64 value) const {
  qint64 lo = typeMin_;
  qint64 hi = typeMax_;
  if (minValue_ != 0 || maxValue_ != 0) {
    lo = std::max<qint64>(lo, minValue_);
    hi = std::min<qint64>(hi, maxValue_);
  }
  if (value < lo || value > hi)
    throw ERangeError(FormatMessage(dbmsg::kFieldRangeError, {QString::number(value), DisplayName(),
                                                              QString::number(lo), QString::number(hi)}));
}

QString TIntegerField::AsString() const {
  if (IsNull()) return QString();
  return QString::number(AsInteger());
}

void TIntegerField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  qint64 v = 0;
  if (!fieldtext::ParseInt64(value, v)) ConvertError(dbmsg::kInvalidIntegerValue, value);
  checkRange(v);
  SetAsInteger(static_cast<int>(v));
}

int TIntegerField::AsInteger() const {
  int32_t v = 0;
  if (!GetData(&v)) return 0;
  return v;
}

void TIntegerField::SetAsInteger(int value) {
  checkRange(value);
  int32_t v = value;
  SetData(&v);
}

void TIntegerField::SetAsFloat(double value) {
  if (!std::isfinite(value) || value < -9.2e18 || value > 9.2e18)
    ConvertError(dbmsg::kInvalidIntegerValue, QString::number(value));
  qint64 v = std::llround(value);
  checkRange(v);
  SetAsInteger(static_cast<int>(v));
}

void TIntegerField::SetAsBCD(const TBcd& value) {
  qint64 v = BcdToInt64(value);
  checkRange(v);
  SetAsInteger(static_cast<int>(v));
}

QVariant TIntegerField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsInteger();  // the value form's width is the descendant's
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint, -32768, 32767) {}

int TSmallintField::AsInteger() const {
  int16_t v = 0;
  if (!GetData(&v)) return 0;
  return v;
}

void TSmallintField::SetAsInteger(int value) {
  checkRange(value);
  int16_t v = static_cast<int16_t>(value);
  SetData(&v);
}

TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc, INT32_MIN, INT32_MAX) {}

TFloatField::TFloatField(TComponent* owner) : TFloatField(owner, ftFloat) {}

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }

QString TFloatField::AsString() const {
  double v = 0;
  if (!GetData(&v)) return QString();
  return fieldtext::FloatText(v, precision_);
}

void TFloatField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  double v = 0;
  if (!fieldtext::ParseDouble(value, v)) ConvertError(dbmsg::kInvalidFloatValue, value);
  SetAsFloat(v);
}

int TFloatField::AsInteger() const {
  double v = AsFloat();
  if (!std::isfinite(v) || v < INT32_MIN - 0.5 || v > INT32_MAX + 0.5)
    ConvertError(dbmsg::kInvalidIntegerValue, QString::number(v));
  return static_cast<int>(std::lround(v));
}

qint64 TFloatField::AsLargeInt() const {
  double v = AsFloat();
  if (!std::isfinite(v) || std::fabs(v) > 9.2e18) ConvertError(dbmsg::kInvalidIntegerValue, QString::number(v));
  return std::llround(v);
}

double TFloatField::AsFloat() const {
  double v = 0;
  if (!GetData(&v)) return 0;
  return v;
}

void TFloatField::SetAsFloat(double value) {
  if ((minValue_ != 0 || maxValue_ != 0) && (value < minValue_ || value > maxValue_))
    throw ERangeError(FormatMessage(dbmsg::kFieldRangeError,
                                    {fieldtext::FloatText(value, 15), DisplayName(),
                                     fieldtext::FloatText(minValue_, 15), fieldtext::FloatText(maxValue_, 15)}));
  SetData(&value);
}

QVariant TFloatField::AsVariant() const {
  double v = 0;
  if (!GetData(&v)) return QVariant();
  return v;
}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner, ftCurrency) { SetCurrency(true); }
