// The list of a dataset's field objects.
#include "runtime/data/field_list.h"

#include <algorithm>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/field.h"
#include "runtime/text.h"

TField* TFields::Fields(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return fields_[index];
}

int TFields::IndexOf(const TField* field) const {
  auto it = std::find(fields_.begin(), fields_.end(), field);
  return it == fields_.end() ? -1 : static_cast<int>(it - fields_.begin());
}

TField* TFields::FindField(const QString& name) const {
  for (TField* f : fields_)
    if (SameTextAZ(f->FieldName(), name)) return f;
  return nullptr;
}

TField* TFields::FieldByName(const QString& name) const {
  TField* f = FindField(name);
  if (f == nullptr) DatabaseErrorFmt(dbmsg::kFieldNotFound, name, dataSet_);
  return f;
}

TField* TFields::FieldByNumber(int fieldNo) const {
  for (TField* f : fields_)
    if (f->FieldNo() == fieldNo) return f;
  return nullptr;
}

void TFields::Add(TField* field) {
  if (IndexOf(field) < 0) fields_.push_back(field);
}

void TFields::Remove(TField* field) {
  auto it = std::find(fields_.begin(), fields_.end(), field);
  if (it != fields_.end()) fields_.erase(it);
}
