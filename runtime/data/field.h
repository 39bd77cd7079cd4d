// TField: one column of a dataset as its callers see it. A field reads and writes its value
// through its dataset (GetFieldData / StoreFieldData) in the value form of its data type, and
// converts that form to and from the typed accessors (AsString, AsInteger, ...). The value
// forms, one buffer of DataSize bytes per call:
//   ftString          8-bit characters (ANSI code page), NUL-terminated, at most Size of them
//   ftWideString      UTF-16 characters, NUL-terminated, at most Size of them
//   ftSmallint        16-bit signed integer          ftInteger, ftAutoInc  32-bit signed integer
//   ftFloat, ftCurrency  64-bit IEEE double          ftBCD, ftFMTBcd       TBcd (34 bytes)
//   ftBoolean         16-bit: 0 false, -1 true       ftDate   32-bit day number (0001-01-01 = 1)
//   ftTime            32-bit milliseconds since midnight
//   ftDateTime        64-bit double: day number x 86,400,000 + milliseconds of the day
//   ftBytes           Size raw bytes                 ftVarBytes  16-bit length, then the bytes
//   ftBlob, ftMemo, ftWideMemo  no value buffer; read and written through blob streams
//
// The dataset binds its fields when it opens: data fields get FieldNo = their 1-based position
// in FieldDefs, calculated and lookup fields FieldNo -1 and Offset = their place in the
// calculated-field area, blob fields Offset = their blob index.
//
// A field is a component. A field the dataset created from its definitions (a default field)
// is owned by the dataset and freed when the dataset closes; other fields belong to their owner
// and stay attached to the dataset until they or the dataset go.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

#include "runtime/component.h"
#include "runtime/data/bcd.h"
#include "runtime/data/db_dates.h"
#include "runtime/data/db_types.h"

class TDataSet;

class TField : public TComponent {
 public:
  using TFieldNotifyEvent = std::function<void(TField* sender)>;

  explicit TField(TComponent* owner);
  ~TField() override;

  TDataSet* DataSet() const { return dataSet_; }
  // Attaches the field to a dataset (detaching it from the previous one). Both datasets must be
  // closed: EDatabaseError "Cannot perform this operation on an open dataset".
  void SetDataSet(TDataSet* dataSet);

  QString FieldName() const { return fieldName_; }
  void SetFieldName(const QString& name);
  QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(const QString& label) { displayLabel_ = label; }
  // The label when one is set, else the field name (used in messages).
  QString DisplayName() const { return DisplayLabel(); }

  TFieldType DataType() const { return dataType_; }
  TFieldKind FieldKind() const { return fieldKind_; }
  // EDatabaseError "Cannot perform this operation on an open dataset" while attached to an
  // open dataset.
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return fieldKind_ == fkCalculated; }
  bool Lookup() const { return fieldKind_ == fkLookup; }
  int FieldNo() const { return fieldNo_; }
  int Offset() const { return offset_; }
  int Size() const { return size_; }
  virtual void SetSize(int size);
  // Bytes of the value form (0 for blobs).
  virtual int DataSize() const = 0;
  virtual bool IsBlob() const { return false; }
  int Index() const;

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  QString DefaultExpression() const { return defaultExpression_; }
  void SetDefaultExpression(const QString& expression) { defaultExpression_ = expression; }

  // Lookup fields: KeyFields of this dataset are looked up as LookupKeyFields in
  // LookupDataSet, whose LookupResultField gives the value.
  TDataSet* LookupDataSet() const { return lookupDataSet_; }
  void SetLookupDataSet(TDataSet* dataSet);
  QString KeyFields() const { return keyFields_; }
  void SetKeyFields(const QString& names) { keyFields_ = names; }
  QString LookupKeyFields() const { return lookupKeyFields_; }
  void SetLookupKeyFields(const QString& names) { lookupKeyFields_ = names; }
  QString LookupResultField() const { return lookupResultField_; }
  void SetLookupResultField(const QString& name) { lookupResultField_ = name; }

  // Runs OnValidate for a new value held in buffer (null for no value); while it runs the
  // field's accessors read that value.
  void Validate(const void* buffer);
  // Turns a blob field into another blob sub-type; other fields ignore it.
  virtual void SetFieldType(TFieldType type);
  // Frees what the field keeps between calls; the dataset calls it when it closes.
  virtual void FreeBuffers();

  // The value form of the current value into buffer (DataSize bytes); false when the field
  // has no value. A null buffer only asks whether it has one.
  bool GetData(void* buffer) const;
  // Stores a value form (null clears the value).
  void SetData(const void* buffer);
  bool IsNull() const;
  void Clear() { SetData(nullptr); }

  virtual QString AsString() const;
  virtual void SetAsString(const QString& value);
  virtual int AsInteger() const;
  virtual void SetAsInteger(int value);
  virtual qint64 AsLargeInt() const;
  virtual void SetAsLargeInt(qint64 value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual double AsCurrency() const { return AsFloat(); }
  virtual void SetAsCurrency(double value) { SetAsFloat(value); }
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  virtual TBcd AsBCD() const;
  virtual void SetAsBCD(const TBcd& value);
  virtual QByteArray AsBytes() const;
  virtual void SetAsBytes(const QByteArray& value);
  // Null QVariant for no value.
  virtual QVariant AsVariant() const = 0;
  // A null QVariant clears; other values go through the typed setter the variant suggests.
  virtual void SetAsVariant(const QVariant& value);
  QVariant Value() const { return AsVariant(); }
  void SetValue(const QVariant& value) { SetAsVariant(value); }
  // The text shown for the value (AsString unless a descendant formats it).
  virtual QString DisplayText() const { return AsString(); }

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void SetDataType(TFieldType type) { dataType_ = type; }
  // Raises EDatabaseError "Cannot access field '<name>' as type <type>".
  [[noreturn]] void AccessError(const QString& typeName) const;
  // Raises EConvertError with one of the invalid-value formats.
  [[noreturn]] void ConvertError(const QString& format, const QString& text) const;
  // Reads the value form into a buffer of DataSize bytes; false when there is no value.
  bool ReadValue(std::vector<char>& buffer) const;

 private:
  friend class TDataSet;
  void setBinding(int fieldNo, int offset) {
    fieldNo_ = fieldNo;
    offset_ = offset;
  }

  TDataSet* dataSet_ = nullptr;
  QString fieldName_;
  QString displayLabel_;
  TFieldType dataType_ = ftUnknown;
  TFieldKind fieldKind_ = fkData;
  int fieldNo_ = 0;
  int offset_ = 0;
  int size_ = 0;
  bool readOnly_ = false;
  bool required_ = false;
  bool visible_ = true;
  QString defaultExpression_;
  TDataSet* lookupDataSet_ = nullptr;
  QString keyFields_;
  QString lookupKeyFields_;
  QString lookupResultField_;
  const void* validating_ = nullptr;
  bool isValidating_ = false;
};

// The factory of a field class: creates a field of that class with the given owner.
using TFieldClass = TField* (*)(TComponent* owner);

template <class T>
TField* CreateFieldOfClass(TComponent* owner) {
  return new T(owner);
}
