// Parameters of SQL statements: TParam holds one named value with its data type, direction and
// bound flag; TParams is the ordered list of a statement's parameters and owns them. ParseSQL
// finds the parameters of an SQL text (see sql_param_parser.h). Names are compared ignoring the
// case of a to z; a list may hold several parameters of the same name (one per occurrence in
// the text), and lookups find the first.
//
// Values are QVariants; a null QVariant is the null value. Assigning a value through one of the
// typed setters sets the data type when it is still ftUnknown, and marks the parameter bound.
//
// Threading: used by the thread that uses the owning statement.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

#include "runtime/data/bcd.h"
#include "runtime/data/db_dates.h"
#include "runtime/data/db_types.h"

class TField;
class TParams;

class TParam {
 public:
  explicit TParam(TParams* collection = nullptr, TParamType paramType = ptUnknown)
      : collection_(collection), paramType_(paramType) {}

  QString Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  TFieldType DataType() const { return dataType_; }
  // Changing the type keeps the value when it converts, else clears it.
  void SetDataType(TFieldType type);
  TParamType ParamType() const { return paramType_; }
  void SetParamType(TParamType type) { paramType_ = type; }
  bool Bound() const { return bound_; }
  void SetBound(bool bound) { bound_ = bound; }
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  int NumericScale() const { return numericScale_; }
  void SetNumericScale(int scale) { numericScale_ = scale; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

  bool IsNull() const { return value_.isNull() || !value_.isValid(); }
  void Clear();
  QVariant Value() const { return value_; }
  // Stores the value; an ftUnknown parameter takes the type the value suggests.
  void SetValue(const QVariant& value);

  QString AsString() const;
  void SetAsString(const QString& value);
  QString AsWideString() const { return AsString(); }
  void SetAsWideString(const QString& value);
  QString AsMemo() const { return AsString(); }
  void SetAsMemo(const QString& value);
  int AsInteger() const;
  void SetAsInteger(int value);
  void SetAsSmallInt(int value);
  void SetAsWord(int value);
  qint64 AsLargeInt() const;
  void SetAsLargeInt(qint64 value);
  double AsFloat() const;
  void SetAsFloat(double value);
  double AsCurrency() const { return AsFloat(); }
  void SetAsCurrency(double value);
  TBcd AsBCD() const;
  void SetAsBCD(const TBcd& value);
  TBcd AsFMTBCD() const { return AsBCD(); }
  void SetAsFMTBCD(const TBcd& value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  // Dates and times as TDateTime.
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);
  TDateTime AsDate() const { return AsDateTime(); }
  void SetAsDate(TDateTime value);
  TDateTime AsTime() const { return AsDateTime(); }
  void SetAsTime(TDateTime value);
  QByteArray AsBytes() const;
  void SetAsBytes(const QByteArray& value);
  QByteArray AsBlob() const { return AsBytes(); }
  void SetAsBlob(const QByteArray& value);

  // Size in bytes of the value in its data type's value form (0 for a null value). Byte and
  // blob types count their raw bytes.
  int GetDataSize() const;
  // Writes the value form into buffer (GetDataSize bytes); byte and blob types write their raw
  // bytes, without a length prefix.
  void GetData(void* buffer) const;

  // Takes the field's type, size, precision, name and value (null when the field has none).
  void AssignField(const TField* field);
  // Takes the field's type, size and precision, and the given value.
  void AssignFieldValue(const TField* field, const QVariant& value);
  void Assign(const TParam& source);

  TParams* Collection() const { return collection_; }

 private:
  friend class TParams;
  void setTyped(TFieldType type, const QVariant& value);

  TParams* collection_;
  QString name_;
  TFieldType dataType_ = ftUnknown;
  TParamType paramType_;
  QVariant value_;
  bool bound_ = false;
  int precision_ = 0;
  int numericScale_ = 0;
  int size_ = 0;
};

class TParams {
 public:
  TParams() = default;
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  TParam* CreateParam(TFieldType type, const QString& name, TParamType paramType);
  TParam* AddParam();
  // The first parameter of that name, or null.
  TParam* FindParam(const QString& name) const;
  // The first parameter of that name; EDatabaseError "Parameter '<name>' not found" when none.
  TParam* ParamByName(const QString& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  TParam* Items(int index) const;
  TParam* operator[](int index) const { return Items(index); }
  void Delete(int index);
  void Clear();
  // Makes this list a copy of source.
  void Assign(const TParams& source);
  // For each parameter of source, the first parameter here of the same name takes its type and
  // value; parameters are neither added nor removed.
  void AssignValues(const TParams& source);
  // Same names, types and values in the same order.
  bool IsEqual(const TParams& other) const;

  // Finds the parameters of sql (sql_param_parser.h); when doCreate, appends one parameter per
  // occurrence (type ftUnknown, direction ptUnknown). Returns the text with every parameter
  // replaced by "?".
  QString ParseSQL(const QString& sql, bool doCreate);

 private:
  std::vector<std::unique_ptr<TParam>> items_;
};
