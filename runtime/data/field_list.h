// TFields: the ordered list of the field objects attached to a dataset. The list does not own
// the fields (a field belongs to its owner component); a field leaves the list when it is
// destroyed or attached elsewhere. Names are found ignoring the case of a to z.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <QString>
#include <vector>

class TDataSet;
class TField;

class TFields {
 public:
  explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(fields_.size()); }
  // ERangeError "List index out of bounds (<index>)" outside.
  TField* Fields(int index) const;
  TField* operator[](int index) const { return Fields(index); }
  int IndexOf(const TField* field) const;
  TField* FindField(const QString& name) const;
  // EDatabaseError "Field '<name>' not found" (with the dataset's name) when none.
  TField* FieldByName(const QString& name) const;
  // The field whose FieldNo is fieldNo, or null.
  TField* FieldByNumber(int fieldNo) const;

  void Add(TField* field);
  void Remove(TField* field);
  // Forgets every field (they are not destroyed).
  void Clear() { fields_.clear(); }

  std::vector<TField*>::const_iterator begin() const { return fields_.begin(); }
  std::vector<TField*>::const_iterator end() const { return fields_.end(); }

 private:
  TDataSet* dataSet_;
  std::vector<TField*> fields_;
};
