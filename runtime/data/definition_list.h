// The list behind TFieldDefs and TIndexDefs: an ordered list of definitions it owns, found by
// name ignoring the case of a to z, belonging to one dataset. Changes made by callers tell the
// dataset through its definition-change notification (DefChanged); changes made while the
// dataset refills the list (between BeginInternalUpdate and EndInternalUpdate) do not. Updated
// says whether the list describes the dataset as it is; Update-style refreshes set it.
//
// Def is the definition class (constructed with a List*); List is the concrete list deriving
// from this one. Member bodies live in definition_list.cpp, instantiated there for both lists.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class TDataSet;

template <class Def, class List>
class TDefinitionList {
 public:
  TDefinitionList(const TDefinitionList&) = delete;
  TDefinitionList& operator=(const TDefinitionList&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  // Position of the definition of that name, or -1.
  int IndexOf(const QString& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  // ERangeError "List index out of bounds (<index>)" outside 0 .. Count() - 1.
  Def* Items(int index) const;
  Def* operator[](int index) const { return Items(index); }
  void Delete(int index);
  void Clear();
  // Copies every definition of source (the list becomes a copy of it), with one notification.
  void Assign(const List& source);

  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }

  // Brackets the dataset's own refill of the list: no change notifications inside.
  void BeginInternalUpdate() { ++internalUpdates_; }
  void EndInternalUpdate() { --internalUpdates_; }

 protected:
  explicit TDefinitionList(TDataSet* dataSet) : dataSet_(dataSet) {}
  ~TDefinitionList() = default;

  // Appends a definition and notifies once; returns it.
  Def* Append(std::unique_ptr<Def> def);
  // When not Updated and owned by a dataset: runs the dataset's refresh with notifications
  // off, then marks the list Updated. A refresh that raises leaves the list not Updated.
  void UpdateWith(void (TDataSet::*refresh)());
  // A definition or the list changed: tell the dataset unless it is refilling the list.
  void Changed();

  const std::vector<std::unique_ptr<Def>>& items() const { return items_; }

 private:
  TDataSet* dataSet_;
  std::vector<std::unique_ptr<Def>> items_;
  bool updated_ = false;
  int internalUpdates_ = 0;
};
