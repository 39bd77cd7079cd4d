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
  if (collection_ != nullptr) collection_->Changed();
}

TIndexDef* TIndexDefs::Add(const QString& name, const QString& fields, TIndexOptions options) {
  if (!name.isEmpty() && IndexOf(name) >= 0)
    DatabaseErrorFmt(dbmsg::kDuplicateIndexName, name, DataSet());
  auto def = std::make_unique<TIndexDef>(this);
  BeginInternalUpdate();  // one notification for the whole addition
  def->SetName(name);
  if (options.testFlag(ixExpression))
    def->SetExpression(fields);
  else
    def->SetFields(fields);
  def->SetOptions(options);
  EndInternalUpdate();
  return Append(std::move(def));
}

TIndexDef* TIndexDefs::AddIndexDef() { return Append(std::make_unique<TIndexDef>(this)); }

TIndexDef* TIndexDefs::Find(const QString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(dbmsg::kIndexNotFound, name, DataSet());
  return Items(i);
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
    for (const auto& def : items()) {
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
  if (def == nullptr) DatabaseErrorFmt(dbmsg::kNoIndexForFields, fields, DataSet());
  return def;
}

void TIndexDefs::Update() { UpdateWith(&TDataSet::RefreshIndexDefs); }
