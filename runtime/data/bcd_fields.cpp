// BCD fields: values in the TBcd value form.
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"

TBcdValueField::TBcdValueField(TComponent* owner, TFieldType type, int defaultSize) : TField(owner) {
  SetDataType(type);
  TField::SetSize(defaultSize);
}

TBcd TBcdValueField::AsBCD() const {
  TBcd v;
  if (!GetData(&v)) return TBcd();
  return v;
}

void TBcdValueField::SetAsBCD(const TBcd& value) {
  TBcd stored = value;
  const int precision = precision_ > 0 ? precision_ : kMaxBcdDigits;
  const int places = std::min(std::max(Size(), 0), precision);
  if (!NormalizeBcd(value, stored, precision, places))
    throw ERangeError(FormatMessage(dbmsg::kFieldRangeError,
                                    {BcdToStr(value), DisplayName(), QStringLiteral("-") + QString(precision - places, QLatin1Char('9')),
                                     QString(precision - places, QLatin1Char('9'))}));
  SetData(&stored);
}

QString TBcdValueField::AsString() const {
  TBcd v;
  if (!GetData(&v)) return QString();
  return BcdToStr(v);
}

void TBcdValueField::SetAsString(const QString& value) {
  if (value.trimmed().isEmpty()) {
    Clear();
    return;
  }
  TBcd v;
  if (!TryStrToBcd(value, v)) ConvertError(dbmsg::kInvalidBcdValue, value);
  SetAsBCD(v);
}

int TBcdValueField::AsInteger() const { return IsNull() ? 0 : BcdToInteger(AsBCD()); }

qint64 TBcdValueField::AsLargeInt() const { return IsNull() ? 0 : BcdToInt64(AsBCD()); }

double TBcdValueField::AsFloat() const { return IsNull() ? 0 : BcdToDouble(AsBCD()); }

void TBcdValueField::SetAsFloat(double value) {
  TBcd v;
  if (!TryDoubleToBcd(value, v)) ConvertError(dbmsg::kInvalidBcdValue, QString::number(value));
  SetAsBCD(v);
}

TBCDField::TBCDField(TComponent* owner) : TBcdValueField(owner, ftBCD, 4) {}

QVariant TBCDField::AsVariant() const {
  TBcd v;
  if (!GetData(&v)) return QVariant();
  return BcdToDouble(v);
}

TFMTBCDField::TFMTBCDField(TComponent* owner) : TBcdValueField(owner, ftFMTBcd, 8) {}

QVariant TFMTBCDField::AsVariant() const {
  TBcd v;
  if (!GetData(&v)) return QVariant();
  return QVariant::fromValue(v);
}
