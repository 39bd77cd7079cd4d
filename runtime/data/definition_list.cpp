// The definition list shared by field and index definitions, instantiated for both.
#include "runtime/data/definition_list.h"

#include "runtime/data/dataset.h"
#include "runtime/data/field_defs.h"
#include "runtime/data/index_defs.h"
#include "runtime/exception.h"
#include "runtime/text.h"

template <class Def, class List>
int TDefinitionList<Def, List>::IndexOf(const QString& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameTextAZ(items_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

template <class Def, class List>
Def* TDefinitionList<Def, List>::Items(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return items_[index].get();
}

template <class Def, class List>
void TDefinitionList<Def, List>::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
  Changed();
}

template <class Def, class List>
void TDefinitionList<Def, List>::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

template <class Def, class List>
void TDefinitionList<Def, List>::Assign(const List& source) {
  if (&source == this) return;
  BeginInternalUpdate();
  items_.clear();
  for (const auto& def : source.items()) {
    auto copy = std::make_unique<Def>(static_cast<List*>(this));
    copy->Assign(*def);
    items_.push_back(std::move(copy));
  }
  EndInternalUpdate();
  Changed();
}

template <class Def, class List>
Def* TDefinitionList<Def, List>::Append(std::unique_ptr<Def> def) {
  items_.push_back(std::move(def));
  Changed();
  return items_.back().get();
}

template <class Def, class List>
void TDefinitionList<Def, List>::UpdateWith(void (TDataSet::*refresh)()) {
  if (updated_ || dataSet_ == nullptr) return;
  BeginInternalUpdate();
  try {
    (dataSet_->*refresh)();
  } catch (...) {
    EndInternalUpdate();
    throw;
  }
  EndInternalUpdate();
  updated_ = true;
}

template <class Def, class List>
void TDefinitionList<Def, List>::Changed() {
  if (internalUpdates_ == 0 && dataSet_ != nullptr) dataSet_->DefChanged();
}

template class TDefinitionList<TFieldDef, TFieldDefs>;
template class TDefinitionList<TIndexDef, TIndexDefs>;
