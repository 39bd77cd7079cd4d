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
  if (collection_ != nullptr) collection_->changed();
}

TFieldDef* TFieldDefs::Add(const QString& name, TFieldType type, int size, bool required) {
  if (name.isEmpty()) DatabaseError(dbmsg::kFieldNameMissing, dataSet_);
  if (IndexOf(name) >= 0) DatabaseErrorFmt(dbmsg::kDuplicateFieldName, name, dataSet_);
  auto def = std::make_unique<TFieldDef>(this);
  TFieldDef* raw = def.get();
  ++internalUpdates_;  // one notification for the whole addition
  raw->SetName(name);
  raw->SetDataType(type);
  raw->SetSize(size);
  raw->SetRequired(required);
  --internalUpdates_;
  items_.push_back(std::move(def));
  changed();
  return raw;
}

TFieldDef* TFieldDefs::AddFieldDef() {
  items_.push_back(std::make_unique<TFieldDef>(this));
  changed();
  return items_.back().get();
}

TFieldDef* TFieldDefs::Find(const QString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(dbmsg::kFieldNotFound, name, dataSet_);
  return items_[i].get();
}

int TFieldDefs::IndexOf(const QString& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameTextAZ(items_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

TFieldDef* TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return items_[index].get();
}

void TFieldDefs::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
  changed();
}

void TFieldDefs::Clear() {
  if (items_.empty()) return;
  items_.clear();
  changed();
}

void TFieldDefs::Assign(const TFieldDefs& source) {
  if (&source == this) return;
  ++internalUpdates_;
  items_.clear();
  for (const auto& def : source.items_) {
    auto copy = std::make_unique<TFieldDef>(this);
    copy->Assign(*def);
    items_.push_back(std::move(copy));
  }
  --internalUpdates_;
  changed();
}

void TFieldDefs::Update() {
  if (updated_ || dataSet_ == nullptr) return;
  BeginInternalUpdate();
  try {
    dataSet_->RefreshFieldDefs();
  } catch (...) {
    EndInternalUpdate();
    throw;
  }
  EndInternalUpdate();
  updated_ = true;
}

void TFieldDefs::changed() {
  if (internalUpdates_ == 0 && dataSet_ != nullptr) dataSet_->DefChanged();
}
