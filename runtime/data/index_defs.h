// Index definitions: TIndexDef names one index order of a dataset (its name, the ";"-separated
// list of its fields or its expression, and its options); TIndexDefs is the dataset's list of
// them, refreshed on demand through the dataset's RefreshIndexDefs. Names are compared ignoring
// the case of a to z.
//
// GetIndexForFields answers "the definition for a field list": the first definition whose
// fields are exactly the given list, else the first whose leading fields are the given list;
// descending and expression indexes never qualify, and with caseInsensitive only
// ixCaseInsensitive definitions do.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "runtime/data/db_types.h"
#include "runtime/data/definition_list.h"

class TDataSet;
class TIndexDefs;

class TIndexDef {
 public:
  explicit TIndexDef(TIndexDefs* collection) : collection_(collection) {}

  QString Name() const { return name_; }
  void SetName(const QString& name);
  // Field names separated by ";".
  QString Fields() const { return fields_; }
  void SetFields(const QString& fields);
  // Key expression of an ixExpression index.
  QString Expression() const { return expression_; }
  void SetExpression(const QString& expression);
  TIndexOptions Options() const { return options_; }
  void SetOptions(TIndexOptions options);
  // Fields kept in descending / case-insensitive order when not all of them are.
  QString DescFields() const { return descFields_; }
  void SetDescFields(const QString& fields);
  QString CaseInsFields() const { return caseInsFields_; }
  void SetCaseInsFields(const QString& fields);
  // The index file the order lives in, when the dataset reports it.
  QString Source() const { return source_; }
  void SetSource(const QString& source);

  void Assign(const TIndexDef& source);
  TIndexDefs* Collection() const { return collection_; }

 private:
  void changed();

  TIndexDefs* collection_;
  QString name_;
  QString fields_;
  QString expression_;
  QString descFields_;
  QString caseInsFields_;
  QString source_;
  TIndexOptions options_;
};

class TIndexDefs : public TDefinitionList<TIndexDef, TIndexDefs> {
 public:
  explicit TIndexDefs(TDataSet* dataSet) : TDefinitionList(dataSet) {}

  // Appends a definition; EDatabaseError "Duplicate index name '<name>'" for a taken non-empty
  // name. With ixExpression the text is the expression, else the field list.
  TIndexDef* Add(const QString& name, const QString& fields, TIndexOptions options);
  TIndexDef* AddIndexDef();
  // EDatabaseError "Index '<name>' not found" when none.
  TIndexDef* Find(const QString& name) const;
  // The definition for a field list (see the file comment), or null.
  TIndexDef* GetIndexForFields(const QString& fields, bool caseInsensitive) const;
  // The same; EDatabaseError "No index for fields '<fields>'" when none.
  TIndexDef* FindIndexForFields(const QString& fields) const;

  // When not Updated: the dataset's RefreshIndexDefs fills the list, which is then Updated.
  void Update();

 private:
  friend class TIndexDef;
};

// Splits a ";"-separated field list into trimmed names, dropping empty entries.
QStringList SplitFieldNames(const QString& fields);
