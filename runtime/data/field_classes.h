// The field classes of the dataset framework, one per value form (see field.h for the forms),
// and the default class for each field type.
//
// Text conversions: numbers are written and read with "." as the decimal separator; dates and
// times in the texts of db_dates.h; booleans as "True" / "False" (reading also accepts T, Y,
// Yes, 1 and F, N, No, 0 in any case). An empty text clears a non-string field. A text that
// does not convert raises EConvertError naming the field.
//
// Threading: as TField.
#pragma once

#include "runtime/data/field.h"
#include "runtime/data/stream.h"

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner);
  int DataSize() const override { return Size() + 1; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  int AsInteger() const override;
  void SetAsInteger(int value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  QByteArray AsBytes() const override;
  void SetAsBytes(const QByteArray& value) override;
  QVariant AsVariant() const override;
};

class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(TComponent* owner);
  int DataSize() const override { return (Size() + 1) * 2; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
};

class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner);
  int DataSize() const override { return 4; }
  // 0 and 0 mean no limit beyond the type's own range.
  int MinValue() const { return minValue_; }
  void SetMinValue(int value) { minValue_ = value; }
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int value) { maxValue_ = value; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  int AsInteger() const override;
  void SetAsInteger(int value) override;
  qint64 AsLargeInt() const override { return AsInteger(); }
  double AsFloat() const override { return AsInteger(); }
  void SetAsFloat(double value) override;
  bool AsBoolean() const override { return AsInteger() != 0; }
  void SetAsBoolean(bool value) override { SetAsInteger(value ? 1 : 0); }
  TBcd AsBCD() const override { return IntegerToBcd(AsInteger()); }
  void SetAsBCD(const TBcd& value) override;
  QVariant AsVariant() const override;

 protected:
  TIntegerField(TComponent* owner, TFieldType type, int typeMin, int typeMax);
  void checkRange(qint64 value) const;

 private:
  int typeMin_;
  int typeMax_;
  int minValue_ = 0;
  int maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner);
  int DataSize() const override { return 2; }
  int AsInteger() const override;
  void SetAsInteger(int value) override;
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner);
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner);
  int DataSize() const override { return 8; }
  // Significant digits of the text form (15 by default).
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  bool Currency() const { return currency_; }
  void SetCurrency(bool currency) { currency_ = currency; }
  // Both 0: no limit.
  double MinValue() const { return minValue_; }
  void SetMinValue(double value) { minValue_ = value; }
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double value) { maxValue_ = value; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  int AsInteger() const override;
  void SetAsInteger(int value) override { SetAsFloat(value); }
  qint64 AsLargeInt() const override;
  void SetAsLargeInt(qint64 value) override { SetAsFloat(static_cast<double>(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  TBcd AsBCD() const override { return DoubleToBcd(AsFloat()); }
  void SetAsBCD(const TBcd& value) override { SetAsFloat(BcdToDouble(value)); }
  QVariant AsVariant() const override;

 protected:
  TFloatField(TComponent* owner, TFieldType type);

 private:
  int precision_ = 15;
  bool currency_ = false;
  double minValue_ = 0;
  double maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner);
};

// What TBCDField and TFMTBCDField share: a TBcd value with Precision digits, Size of them
// decimals. A value that does not fit raises EConvertError; surplus decimals are rounded.
class TBcdValueField : public TField {
 public:
  int DataSize() const override { return static_cast<int>(sizeof(TBcd)); }
  // Total digits; 0 means up to the largest a TBcd holds.
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  bool Currency() const { return currency_; }
  void SetCurrency(bool currency) { currency_ = currency; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  int AsInteger() const override;
  void SetAsInteger(int value) override { SetAsBCD(IntegerToBcd(value)); }
  qint64 AsLargeInt() const override;
  void SetAsLargeInt(qint64 value) override { SetAsBCD(Int64ToBcd(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;

 protected:
  TBcdValueField(TComponent* owner, TFieldType type, int defaultSize);

 private:
  int precision_ = 0;
  bool currency_ = false;
};

// BCD values handled as currency-sized numbers: AsVariant gives a double.
class TBCDField : public TBcdValueField {
 public:
  explicit TBCDField(TComponent* owner);
  QVariant AsVariant() const override;
};

// Full-precision BCD values: AsVariant gives the TBcd itself.
class TFMTBCDField : public TBcdValueField {
 public:
  explicit TFMTBCDField(TComponent* owner);
  QVariant AsVariant() const override;
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  int DataSize() const override { return 2; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  int AsInteger() const override { return AsBoolean() ? 1 : 0; }
  void SetAsInteger(int value) override { SetAsBoolean(value != 0); }
  QVariant AsVariant() const override;
};

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner);
  int DataSize() const override { return 8; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  QVariant AsVariant() const override;

 protected:
  TDateTimeField(TComponent* owner, TFieldType type);
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner);
  int DataSize() const override { return 4; }
  QString AsString() const override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner);
  int DataSize() const override { return 4; }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
};

class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner);
  int DataSize() const override { return Size(); }
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  QByteArray AsBytes() const override;
  void SetAsBytes(const QByteArray& value) override;
  QVariant AsVariant() const override;

 protected:
  TBytesField(TComponent* owner, TFieldType type);
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner);
  int DataSize() const override { return Size() + 2; }
  QByteArray AsBytes() const override;
  void SetAsBytes(const QByteArray& value) override;
};

// Blob fields read and write their value through the dataset's blob streams.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner);
  int DataSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType type) { SetFieldType(type); }
  // Accepts the blob types only.
  void SetFieldType(TFieldType type) override;
  // Set by a blob stream that changed the value.
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  int64_t BlobSize() const;
  // Replaces the value with the whole content of stream (read from its start).
  void LoadFromStream(TStream* stream);
  // Writes the value into stream at its position.
  void SaveToStream(TStream* stream) const;
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  QByteArray AsBytes() const override;
  void SetAsBytes(const QByteArray& value) override;
  QVariant AsVariant() const override;
  void FreeBuffers() override { modified_ = false; }

 protected:
  TBlobField(TComponent* owner, TFieldType type);

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner);
  QVariant AsVariant() const override;
};

// Memo text held as UTF-16 bytes.
class TWideMemoField : public TBlobField {
 public:
  explicit TWideMemoField(TComponent* owner);
  QString AsString() const override;
  void SetAsString(const QString& value) override;
  QVariant AsVariant() const override;
};

// The framework's field class for a type, or null when it has none.
TFieldClass DefaultFieldClass(TFieldType type);
