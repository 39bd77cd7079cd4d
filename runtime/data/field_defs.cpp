// Field definitions and their list.
#include "runtime/data/field_defs.h"

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

void TFieldDef::SetName(const QString& name) {
  if (name == name_) return;
  if (collection_ != nullptr) {
    int other = collection_->IndexOf(name);
    if (other >= 0 && collection_->Items(other) != this)
      DatabaseErrorFmt(dbmsg::kDuplicateFieldName, name, collection_->DataSet());
  }
  name_ = name;
  changed();
}

void TFieldDef::SetDataType(TFieldType type) {
  dataType_ = type;
  changed();
}

void TFieldDef::SetSize(int size) {
  size_ = size;
  changed();
}

void TFieldDef::SetPrecision(int precision) {
  precision_ = precision;
  changed();
}

void TFieldDef::SetRequired(bool required) {
  attributes_.setFlag(faRequired, required);
  changed();
}

void TFieldDef::SetAttributes(TFieldAttributes attributes) {
  attributes_ = attributes;
  changed();
}

int TFieldDef::FieldNo() const {
  if (collection_ == nullptr) return 0;
  for (int i = 0; i < collection_->Count(); ++i)
    if (collection_->Items(i) == this) return i + 1;
  return 0;
}

void TFieldDef::Assign(const TFieldDef& source) {
  name_ = source.name_;
  dataType_ = source.dataType_;
  size_ = source.size_;
  precision_ = source.precision_;
  attributes_ = source.attributes_;
  changed();
}

void TFieldDef::changed() {
  if (collection_ != nullptr) collection_->Changed();
}

TFieldDef* TFieldDefs::Add(const QString& name, TFieldType type, int size, bool required) {
  if (name.isEmpty()) DatabaseError(dbmsg::kFieldNameMissing, DataSet());
  if (IndexOf(name) >= 0) DatabaseErrorFmt(dbmsg::kDuplicateFieldName, name, DataSet());
  auto def = std::make_unique<TFieldDef>(this);
  BeginInternalUpdate();  // one notification for the whole addition
  def->SetName(name);
  def->SetDataType(type);
  def->SetSize(size);
  def->SetRequired(required);
  EndInternalUpdate();
  return Append(std::move(def));
}

TFieldDef* TFieldDefs::AddFieldDef() { return Append(std::make_unique<TFieldDef>(this)); }

TFieldDef* TFieldDefs::Find(const QString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(dbmsg::kFieldNotFound, name, DataSet());
  return Items(i);
}

void TFieldDefs::Update() { UpdateWith(&TDataSet::RefreshFieldDefs); }
