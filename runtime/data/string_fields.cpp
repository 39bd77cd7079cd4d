// TStringField and TWideStringField: text values in 8-bit (ANSI) and UTF-16 value forms.
#include <cstring>

#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/field_text.h"
#include "runtime/text.h"

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftString);
  TField::SetSize(20);
}

QString TStringField::AsString() const {
  std::vector<char> buf;
  if (!ReadValue(buf)) return QString();
  return FromAnsi(buf.data(), static_cast<qsizetype>(strnlen(buf.data(), static_cast<size_t>(Size()))));
}

void TStringField::SetAsString(const QString& value) {
  QByteArray bytes = ToAnsi(value);
  if (bytes.size() > Size()) bytes.truncate(Size());
  // The field's data, zero-padded: on the stack for the usual sizes, as a value is stored per
  // text field of every record written.
  const size_t dataSize = static_cast<size_t>(DataSize());
  char small[256];
  std::vector<char> large;
  char* buf = small;
  if (dataSize > sizeof small) {
    large.resize(dataSize);
    buf = large.data();
  }
  std::memset(buf, 0, dataSize);
  std::memcpy(buf, bytes.constData(), static_cast<size_t>(bytes.size()));
  SetData(buf);
}

int TStringField::AsInteger() const {
  qint64 v = 0;
  QString s = AsString();
  if (!fieldtext::ParseInt64(s, v) || v < INT32_MIN || v > INT32_MAX)
    ConvertError(dbmsg::kInvalidIntegerValue, s);
  return static_cast<int>(v);
}

void TStringField::SetAsInteger(int value) { SetAsString(QString::number(value)); }

double TStringField::AsFloat() const {
  double v = 0;
  QString s = AsString();
  if (!fieldtext::ParseDouble(s, v)) ConvertError(dbmsg::kInvalidFloatValue, s);
  return v;
}

void TStringField::SetAsFloat(double value) { SetAsString(fieldtext::FloatText(value, 15)); }

bool TStringField::AsBoolean() const {
  QString s = AsString().trimmed();
  if (s.isEmpty()) return false;
  QChar c = s[0].toUpper();
  return c == QLatin1Char('T') || c == QLatin1Char('Y') || c == QLatin1Char('1');
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? QStringLiteral("T") : QStringLiteral("F"));
}

TDateTime TStringField::AsDateTime() const {
  TDateTime v = 0;
  QString s = AsString();
  if (!dbdates::TryParseDateTime(s, v)) ConvertError(dbmsg::kInvalidDateValue, s);
  return v;
}

void TStringField::SetAsDateTime(TDateTime value) { SetAsString(dbdates::DateTimeText(value)); }

TBcd TStringField::AsBCD() const {
  TBcd v;
  QString s = AsString();
  if (!TryStrToBcd(s, v)) ConvertError(dbmsg::kInvalidBcdValue, s);
  return v;
}

void TStringField::SetAsBCD(const TBcd& value) { SetAsString(BcdToStr(value)); }

QByteArray TStringField::AsBytes() const { return ToAnsi(AsString()); }

void TStringField::SetAsBytes(const QByteArray& value) { SetAsString(FromAnsi(value)); }

QVariant TStringField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsString();
}

TWideStringField::TWideStringField(TComponent* owner) : TStringField(owner) {
  SetDataType(ftWideString);
}

QString TWideStringField::AsString() const {
  std::vector<char> buf;
  if (!ReadValue(buf)) return QString();
  const char16_t* chars = reinterpret_cast<const char16_t*>(buf.data());
  int n = 0;
  while (n < Size() && chars[n] != 0) ++n;
  return QString::fromUtf16(chars, n);
}

void TWideStringField::SetAsString(const QString& value) {
  std::vector<char> buf(static_cast<size_t>(DataSize()), '\0');
  qsizetype n = std::min<qsizetype>(value.size(), Size());
  std::memcpy(buf.data(), value.utf16(), static_cast<size_t>(n) * 2);
  SetData(buf.data());
}
