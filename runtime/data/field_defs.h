// Field definitions: TFieldDef describes one column of a dataset (name, type, size, precision,
// required flag); TFieldDefs is the ordered list a dataset describes its record with. A
// definition's FieldNo is its 1-based position in the list. Names are unique in a list, compared
// ignoring the case of a to z.
//
// A list belongs to a dataset. Update() asks the dataset to describe itself (RefreshFieldDefs)
// when the list is not marked up to date. Changes made by callers tell the dataset through its
// definition-change notification; changes made while the dataset refreshes the list do not.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "runtime/data/db_types.h"
#include "runtime/data/definition_list.h"

class TDataSet;
class TFieldDefs;

class TFieldDef {
 public:
  explicit TFieldDef(TFieldDefs* collection) : collection_(collection) {}

  QString Name() const { return name_; }
  void SetName(const QString& name);
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType type);
  // Characters for strings, bytes for byte fields, decimals for BCD fields, 0 for most others.
  int Size() const { return size_; }
  void SetSize(int size);
  // Total digits of BCD fields; 0 when not meaningful.
  int Precision() const { return precision_; }
  void SetPrecision(int precision);
  bool Required() const { return attributes_.testFlag(faRequired); }
  void SetRequired(bool required);
  TFieldAttributes Attributes() const { return attributes_; }
  void SetAttributes(TFieldAttributes attributes);
  // 1-based position in the owning list.
  int FieldNo() const;
  TFieldDefs* Collection() const { return collection_; }

  void Assign(const TFieldDef& source);

 private:
  void changed();

  TFieldDefs* collection_;
  QString name_;
  TFieldType dataType_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  TFieldAttributes attributes_;
};

class TFieldDefs : public TDefinitionList<TFieldDef, TFieldDefs> {
 public:
  explicit TFieldDefs(TDataSet* dataSet) : TDefinitionList(dataSet) {}

  // Appends a definition. EDatabaseError "Duplicate field name '<name>'" when the name is taken,
  // "Field name missing" when it is empty.
  TFieldDef* Add(const QString& name, TFieldType type, int size = 0, bool required = false);
  // Appends a definition without a name yet (the caller names it).
  TFieldDef* AddFieldDef();
  // The definition of that name; EDatabaseError "Field '<name>' not found" when none.
  TFieldDef* Find(const QString& name) const;

  // When not Updated: the dataset's RefreshFieldDefs fills the list, which is then Updated.
  void Update();

 private:
  friend class TFieldDef;
};
