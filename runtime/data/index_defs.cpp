// Index definitions and their list.
#include "runtime/data/index_defs.h"

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

QStringList SplitFieldNames(const QString& fields) {
  QStringList out;
  for (const QString& part : fields.split(QLatin1Char(';'))) {
    QString name = part.trimmed();
    if (!name.isEmpty()) out << name;
  }
  return out;
}

void TIndexDef::SetName(const QString& name) {
  if (name == name_) return;
  if (collection_ != nullptr && !name.isEmpty()) {
    int other = collection_->IndexOf(name);
    if (other >= 0 && collection_->Items(other) != this)
      DatabaseErrorFmt(dbmsg::kDuplicateIndexName, name, collection_->DataSet());
  }
  name_ = name;
  changed();
}

void TIndexDef::SetFields(const QString& fields) {
  fields_ = fields;
  changed();
}

void TIndexDef::SetExpression(const QString& expression) {
  expression_ = expression;
  changed();
}

void TIndexDef::SetOptions(TIndexOptions options) {
  options_ = options;
  changed();
}

void TIndexDef::SetDescFields(const QString& fields) {
  descFields_ = fields;
  changed();
}

void TIndexDef::SetCaseInsFields(const QString& fields) {
  caseInsFields_ = fields;
  changed();
}

void TIndexDef::SetSource(const QString& source) {
  source_ = source;
  changed();
}

void TIndexDef::Assign(const TIndexDef& source) {
  name_ = source.name_;
  fields_ = source.fields_;
  expression_ = source.expression_;
  descFields_ = source.descFields_;
  caseInsFields_ = source.caseInsFields_;
  source_ = source.source_;
  options_ = source.options_;
  changed();
}

void TIndexDef::changed() {
  if (collection_ != nullptr) collection_->changed();
}

TIndexDef* TIndexDefs::Add(const QString& name, const QString& fields, TIndexOptions options) {
  if (!name.isEmpty() && IndexOf(name) >= 0)
    DatabaseErrorFmt(dbmsg::kDuplicateIndexName, name, dataSet_);
  auto def = std::make_unique<TIndexDef>(this);
  ++internalUpdates_;
  def->SetName(name);
  if (options.testFlag(ixExpression))
    def->SetExpression(fields);
  else
    def->SetFields(fields);
  def->SetOptions(options);
  --internalUpdates_;
  items_.push_back(std::move(def));
  changed();
  return items_.back().get();
}

TIndexDef* TIndexDefs::AddIndexDef() {
  items_.push_back(std::make_unique<TIndexDef>(this));
  changed();
  return items_.back().get();
}

TIndexDef* TIndexDefs::Find(const QString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(dbmsg::kIndexNotFound, name, dataSet_);
  return items_[i].get();
}

int TIndexDefs::IndexOf(const QString& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameTextAZ(items_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

namespace {

bool sameNames(const QStringList& a, const QStringList& b, int count) {
  for (int i = 0; i < count; ++i)
    if (!SameTextAZ(a[i], b[i])) return false;
  return true;
}

}  // namespace

TIndexDef* TIndexDefs::GetIndexForFields(const QString& fields, bool caseInsensitive) const {
  const QStringList wanted = SplitFieldNames(fields);
  if (wanted.isEmpty()) return nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    const bool exact = pass == 0;
    for (const auto& def : items_) {
      if (def->Options() & (ixDescending | ixExpression)) continue;
      if (caseInsensitive && !def->Options().testFlag(ixCaseInsensitive)) continue;
      const QStringList have = SplitFieldNames(def->Fields());
      if (exact ? have.size() != wanted.size() : have.size() < wanted.size()) continue;
      if (sameNames(have, wanted, static_cast<int>(wanted.size()))) return def.get();
    }
  }
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const QString& fields) const {
  TIndexDef* def = GetIndexForFields(fields, false);
  if (def == nullptr) DatabaseErrorFmt(dbmsg::kNoIndexForFields, fields, dataSet_);
  return def;
}

TIndexDef* TIndexDefs::Items(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return items_[index].get();
}

void TIndexDefs::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
  changed();
}

void TIndexDefs::Clear() {
  if (items_.empty()) return;
  items_.clear();
  changed();
}

void TIndexDefs::Assign(const TIndexDefs& source) {
  if (&source == this) return;
  ++internalUpdates_;
  items_.clear();
  for (const auto& def : source.items_) {
    auto copy = std::make_unique<TIndexDef>(this);
    copy->Assign(*def);
    items_.push_back(std::move(copy));
  }
  --internalUpdates_;
  changed();
}

void TIndexDefs::Update() {
  if (updated_ || dataSet_ == nullptr) return;
  BeginInternalUpdate();
  try {
    dataSet_->RefreshIndexDefs();
  } catch (...) {
    EndInternalUpdate();
    throw;
  }
  EndInternalUpdate();
  updated_ = true;
}

void TIndexDefs::changed() {
  if (internalUpdates_ == 0 && dataSet_ != nullptr) dataSet_->DefChanged();
}
