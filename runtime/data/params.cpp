// SQL statement parameters and their list.
#include "runtime/data/params.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <cstring>

#include "runtime/data/db_errors.h"
#include "runtime/data/field.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/field_text.h"
#include "runtime/data/sql_param_parser.h"
#include "runtime/text.h"

namespace {

TFieldType typeOfVariant(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
      return ftString;
    case QMetaType::Bool:
      return ftBoolean;
    case QMetaType::Short:
    case QMetaType::UShort:
      return ftSmallint;
    case QMetaType::Int:
      return ftInteger;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
      return ftLargeint;
    case QMetaType::Double:
    case QMetaType::Float:
      return ftFloat;
    case QMetaType::QByteArray:
      return ftBlob;
    case QMetaType::QDate:
      return ftDate;
    case QMetaType::QTime:
      return ftTime;
    case QMetaType::QDateTime:
      return ftDateTime;
    default:
      break;
  }
  if (value.metaType() == QMetaType::fromType<TBcd>()) return ftFMTBcd;
  return ftUnknown;
}

TDateTime dateTimeOfVariant(const QVariant& value, bool& ok) {
  ok = true;
  switch (value.typeId()) {
    case QMetaType::QDate:
      return static_cast<double>(QDate(1899, 12, 30).daysTo(value.toDate()));
    case QMetaType::QTime:
      return value.toTime().msecsSinceStartOfDay() / dbdates::kMSecsPerDay;
    case QMetaType::QDateTime: {
      QDateTime dt = value.toDateTime();
      double days = static_cast<double>(QDate(1899, 12, 30).daysTo(dt.date()));
      double time = dt.time().msecsSinceStartOfDay() / dbdates::kMSecsPerDay;
      return days >= 0 ? days + time : days - time;
    }
    case QMetaType::QString: {
      TDateTime v = 0;
      ok = dbdates::TryParseDateTime(value.toString(), v) || dbdates::TryParseTime(value.toString(), v);
      return v;
    }
    default:
      return value.toDouble(&ok);
  }
}

[[noreturn]] void convertError(const TParam& p, const QString& kind) {
  throw EConvertError(QStringLiteral("Could not convert the value of parameter '%1' to %2").arg(p.Name(), kind));
}


}  // namespace

void TParam::setTyped(TFieldType type, const QVariant& value) {
  if (dataType_ == ftUnknown) dataType_ = type;
  value_ = value;
  bound_ = true;
}

void TParam::SetDataType(TFieldType type) {
  if (type == dataType_) return;
  dataType_ = type;
  if (IsNull()) return;
  // Keep the value when it reads as the new type, else drop it.
  try {
    switch (type) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
      case ftFixedWideChar:
      case ftMemo:
      case ftWideMemo:
      case ftFmtMemo:
        value_ = AsString();
        break;
      case ftSmallint:
      case ftInteger:
      case ftWord:
      case ftAutoInc:
        value_ = AsInteger();
        break;
      case ftLargeint:
        value_ = AsLargeInt();
        break;
      case ftFloat:
      case ftCurrency:
        value_ = AsFloat();
        break;
      case ftBCD:
      case ftFMTBcd:
        value_ = QVariant::fromValue(AsBCD());
        break;
      case ftBoolean:
        value_ = AsBoolean();
        break;
      case ftDate:
      case ftTime:
      case ftDateTime:
      case ftTimeStamp:
        value_ = AsDateTime();
        break;
      default:
        break;
    }
  } catch (const EConvertError&) {
    value_ = QVariant();  // a value that cannot be of the new type is gone with the old type
  }
}

void TParam::Clear() { value_ = QVariant(); }

void TParam::SetValue(const QVariant& value) {
  if (dataType_ == ftUnknown) dataType_ = typeOfVariant(value);
  if (value.metaType() == QMetaType::fromType<QDate>() || value.metaType() == QMetaType::fromType<QDateTime>() ||
      value.metaType() == QMetaType::fromType<QTime>()) {
    bool ok = false;
    value_ = dateTimeOfVariant(value, ok);
  } else {
    value_ = value;
  }
  bound_ = true;
}

QString TParam::AsString() const {
  if (IsNull()) return QString();
  if (value_.metaType() == QMetaType::fromType<TBcd>()) return BcdToStr(value_.value<TBcd>());
  switch (value_.typeId()) {
    case QMetaType::Bool:
      return value_.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
      if (dataType_ == ftDate) return dbdates::DateText(value_.toDouble());
      if (dataType_ == ftTime) return dbdates::TimeText(value_.toDouble());
      if (dataType_ == ftDateTime || dataType_ == ftTimeStamp) return dbdates::DateTimeText(value_.toDouble());
      return fieldtext::FloatText(value_.toDouble(), 15);
    case QMetaType::QByteArray:
      return FromAnsi(value_.toByteArray());
    default:
      return value_.toString();
  }
}

void TParam::SetAsString(const QString& value) { setTyped(ftString, value); }
void TParam::SetAsWideString(const QString& value) { setTyped(ftWideString, value); }
void TParam::SetAsMemo(const QString& value) { setTyped(ftMemo, value); }

qint64 TParam::AsLargeInt() const {
  if (IsNull()) return 0;
  if (value_.metaType() == QMetaType::fromType<TBcd>()) return BcdToInt64(value_.value<TBcd>());
  switch (value_.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
      double d = value_.toDouble();
      if (!std::isfinite(d) || std::fabs(d) > 9.2e18) convertError(*this, QStringLiteral("an integer"));
      return std::llround(d);
    }
    case QMetaType::Bool:
      return value_.toBool() ? 1 : 0;
    case QMetaType::QString: {
      qint64 v = 0;
      if (!fieldtext::ParseInt64(value_.toString(), v)) convertError(*this, QStringLiteral("an integer"));
      return v;
    }
    default: {
      bool ok = false;
      qint64 v = value_.toLongLong(&ok);
      if (!ok) convertError(*this, QStringLiteral("an integer"));
      return v;
    }
  }
}

int TParam::AsInteger() const {
  qint64 v = AsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX) convertError(*this, QStringLiteral("a 32-bit integer"));
  return static_cast<int>(v);
}

void TParam::SetAsInteger(int value) { setTyped(ftInteger, value); }
void TParam::SetAsSmallInt(int value) { setTyped(ftSmallint, value); }
void TParam::SetAsWord(int value) { setTyped(ftWord, value); }
void TParam::SetAsLargeInt(qint64 value) { setTyped(ftLargeint, value); }

double TParam::AsFloat() const {
  if (IsNull()) return 0;
  if (value_.metaType() == QMetaType::fromType<TBcd>()) return BcdToDouble(value_.value<TBcd>());
  if (value_.typeId() == QMetaType::QString) {
    double v = 0;
    if (!fieldtext::ParseDouble(value_.toString(), v)) convertError(*this, QStringLiteral("a number"));
    return v;
  }
  bool ok = false;
  double v = value_.toDouble(&ok);
  if (!ok) convertError(*this, QStringLiteral("a number"));
  return v;
}

void TParam::SetAsFloat(double value) { setTyped(ftFloat, value); }
void TParam::SetAsCurrency(double value) { setTyped(ftCurrency, value); }

TBcd TParam::AsBCD() const {
  if (IsNull()) return TBcd();
  if (value_.metaType() == QMetaType::fromType<TBcd>()) return value_.value<TBcd>();
  if (value_.typeId() == QMetaType::QString) {
    TBcd v;
    if (!TryStrToBcd(value_.toString().trimmed(), v)) convertError(*this, QStringLiteral("BCD"));
    return v;
  }
  if (value_.typeId() == QMetaType::Int || value_.typeId() == QMetaType::LongLong) return Int64ToBcd(AsLargeInt());
  TBcd v;
  if (!TryDoubleToBcd(AsFloat(), v)) convertError(*this, QStringLiteral("BCD"));
  return v;
}

void TParam::SetAsBCD(const TBcd& value) { setTyped(ftBCD, QVariant::fromValue(value)); }
void TParam::SetAsFMTBCD(const TBcd& value) { setTyped(ftFMTBcd, QVariant::fromValue(value)); }

bool TParam::AsBoolean() const {
  if (IsNull()) return false;
  if (value_.typeId() == QMetaType::QString) {
    bool v = false;
    if (!fieldtext::ParseBool(value_.toString(), v)) convertError(*this, QStringLiteral("a boolean"));
    return v;
  }
  if (value_.typeId() == QMetaType::Bool) return value_.toBool();
  return AsFloat() != 0;
}

void TParam::SetAsBoolean(bool value) { setTyped(ftBoolean, value); }

TDateTime TParam::AsDateTime() const {
  if (IsNull()) return 0;
  bool ok = false;
  TDateTime v = dateTimeOfVariant(value_, ok);
  if (!ok) convertError(*this, QStringLiteral("a date and time"));
  return v;
}

void TParam::SetAsDateTime(TDateTime value) { setTyped(ftDateTime, value); }
void TParam::SetAsDate(TDateTime value) { setTyped(ftDate, value); }
void TParam::SetAsTime(TDateTime value) { setTyped(ftTime, value); }

QByteArray TParam::AsBytes() const {
  if (IsNull()) return QByteArray();
  if (value_.typeId() == QMetaType::QByteArray) return value_.toByteArray();
  if (dataType_ == ftWideString || dataType_ == ftWideMemo) {
    QString s = AsString();
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
  }
  return ToAnsi(AsString());
}

void TParam::SetAsBytes(const QByteArray& value) { setTyped(ftBytes, value); }
void TParam::SetAsBlob(const QByteArray& value) { setTyped(ftBlob, value); }

int TParam::GetDataSize() const {
  if (IsNull()) return 0;
  switch (dataType_) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftFmtMemo:
      return static_cast<int>(ToAnsi(AsString()).size()) + 1;
    case ftWideString:
    case ftFixedWideChar:
    case ftWideMemo:
      return static_cast<int>(AsString().size() + 1) * 2;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftTimeStamp:
    case ftLargeint:
      return 8;
    case ftBCD:
    case ftFMTBcd:
      return static_cast<int>(sizeof(TBcd));
    default:
      return static_cast<int>(AsBytes().size());
  }
}

void TParam::GetData(void* buffer) const {
  if (IsNull() || buffer == nullptr) return;
  auto put = [buffer](const void* data, size_t n) { std::memcpy(buffer, data, n); };
  switch (dataType_) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftFmtMemo: {
      QByteArray bytes = ToAnsi(AsString());
      put(bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
      return;
    }
    case ftWideString:
    case ftFixedWideChar:
    case ftWideMemo: {
      QString s = AsString();
      put(s.utf16(), static_cast<size_t>(s.size() + 1) * 2);
      return;
    }
    case ftSmallint:
    case ftWord: {
      int16_t v = static_cast<int16_t>(AsInteger());
      put(&v, 2);
      return;
    }
    case ftBoolean: {
      int16_t v = AsBoolean() ? -1 : 0;
      put(&v, 2);
      return;
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t v = AsInteger();
      put(&v, 4);
      return;
    }
    case ftLargeint: {
      int64_t v = AsLargeInt();
      put(&v, 8);
      return;
    }
    case ftFloat:
    case ftCurrency: {
      double v = AsFloat();
      put(&v, 8);
      return;
    }
    case ftDate: {
      int32_t v = dbdates::DateTimeToDayNumber(AsDateTime());
      put(&v, 4);
      return;
    }
    case ftTime: {
      int32_t v = dbdates::DateTimeToMSecsOfDay(AsDateTime());
      put(&v, 4);
      return;
    }
    case ftDateTime:
    case ftTimeStamp: {
      double v = dbdates::DateTimeToTimeStampMSecs(AsDateTime());
      put(&v, 8);
      return;
    }
    case ftBCD:
    case ftFMTBcd: {
      TBcd v = AsBCD();
      put(&v, sizeof(TBcd));
      return;
    }
    default: {
      QByteArray bytes = AsBytes();
      put(bytes.constData(), static_cast<size_t>(bytes.size()));
      return;
    }
  }
}

void TParam::AssignFieldValue(const TField* field, const QVariant& value) {
  if (field == nullptr) return;
  dataType_ = field->DataType() == ftAutoInc ? ftInteger : field->DataType();
  size_ = field->Size();
  if (auto* bcd = dynamic_cast<const TBcdValueField*>(field)) {
    precision_ = bcd->Precision();
    numericScale_ = bcd->Size();
  }
  if (value.isNull() || !value.isValid()) {
    Clear();
  } else if (value.metaType() == QMetaType::fromType<QDate>() ||
             value.metaType() == QMetaType::fromType<QDateTime>()) {
    bool ok = false;
    value_ = dateTimeOfVariant(value, ok);
  } else {
    value_ = value;
  }
  bound_ = true;
}

void TParam::AssignField(const TField* field) {
  if (field == nullptr) return;
  AssignFieldValue(field, field->AsVariant());
  name_ = field->FieldName();
}

void TParam::Assign(const TParam& source) {
  if (&source == this) return;
  name_ = source.name_;
  dataType_ = source.dataType_;
  paramType_ = source.paramType_;
  value_ = source.value_;
  bound_ = source.bound_;
  precision_ = source.precision_;
  numericScale_ = source.numericScale_;
  size_ = source.size_;
}

TParam* TParams::CreateParam(TFieldType type, const QString& name, TParamType paramType) {
  items_.push_back(std::make_unique<TParam>(this, paramType));
  TParam* p = items_.back().get();
  p->SetName(name);
  p->dataType_ = type;
  return p;
}

TParam* TParams::AddParam() {
  items_.push_back(std::make_unique<TParam>(this));
  return items_.back().get();
}

TParam* TParams::FindParam(const QString& name) const {
  for (const auto& p : items_)
    if (SameTextAZ(p->Name(), name)) return p.get();
  return nullptr;
}

TParam* TParams::ParamByName(const QString& name) const {
  TParam* p = FindParam(name);
  if (p == nullptr) DatabaseErrorFmt(dbmsg::kParameterNotFound, name);
  return p;
}

TParam* TParams::Items(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return items_[index].get();
}

void TParams::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
}

void TParams::Clear() { items_.clear(); }

void TParams::Assign(const TParams& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TParam>> copy;
  for (const auto& p : source.items_) {
    auto q = std::make_unique<TParam>(this);
    q->Assign(*p);
    copy.push_back(std::move(q));
  }
  items_ = std::move(copy);
}

void TParams::AssignValues(const TParams& source) {
  for (const auto& p : source.items_) {
    for (const auto& mine : items_) {
      if (!SameTextAZ(mine->Name(), p->Name())) continue;
      mine->dataType_ = p->dataType_;
      mine->value_ = p->value_;
      mine->bound_ = p->bound_;
      mine->precision_ = p->precision_;
      mine->numericScale_ = p->numericScale_;
      mine->size_ = p->size_;
      break;
    }
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (other.Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* a = items_[i].get();
    const TParam* b = other.items_[i].get();
    if (a->Name() != b->Name() || a->DataType() != b->DataType() || a->IsNull() != b->IsNull()) return false;
    if (!a->IsNull() && a->AsString() != b->AsString()) return false;
  }
  return true;
}

QString TParams::ParseSQL(const QString& sql, bool doCreate) {
  SqlParamScan scan = ScanSqlParams(sql);
  if (doCreate)
    for (const QString& name : scan.names) CreateParam(ftUnknown, name, ptUnknown);
  return scan.text;
}
