// TDataSet: field objects, their binding to the record buffers, calculated and lookup fields,
// and the generic Locate and Lookup.
#include <algorithm>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/text.h"

TFieldClass TDataSet::FieldClassForType(TFieldType type) const { return DefaultFieldClass(type); }

void TDataSet::RefreshFieldDefs() {
  if (HasEngineCursor()) DescribeFields();
}

void TDataSet::CreateDefaultFields() {
  if (FFields.Count() > 0) return;
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TFieldDef* def = FFieldDefs[i];
    if (def->Attributes().testFlag(faHiddenCol)) continue;
    TFieldClass create = FieldClassForType(def->DataType());
    if (create == nullptr) DatabaseErrorFmt(dbmsg::kUnknownFieldType, def->Name(), this);
    TField* field = create(this);
    try {
      field->SetFieldName(def->Name());
      field->SetSize(def->Size());
      field->SetRequired(def->Required());
      field->SetReadOnly(def->Attributes().testFlag(faReadonly));
      if (auto* bcd = dynamic_cast<TBcdValueField*>(field)) bcd->SetPrecision(def->Precision());
      if (auto* blob = dynamic_cast<TBlobField*>(field)) blob->SetFieldType(def->DataType());
      field->SetDataSet(this);
    } catch (...) {
      delete field;
      throw;
    }
    FDefaultFieldList.push_back(field);
  }
}

void TDataSet::InitFieldDefsFromFields() {
  FFieldDefs.Clear();
  for (int i = 0; i < FFields.Count(); ++i) {
    const TField* field = FFields[i];
    if (field->FieldKind() != fkData) continue;
    TFieldDef* def = FFieldDefs.Add(field->FieldName(), field->DataType(), field->Size(), field->Required());
    if (auto* bcd = dynamic_cast<const TBcdValueField*>(field)) def->SetPrecision(bcd->Precision());
  }
}

void TDataSet::DestroyDefaultFields() {
  std::vector<TField*> fields;
  fields.swap(FDefaultFieldList);
  for (TField* field : fields) delete field;
}

void TDataSet::BindFieldBuffers(bool binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  FFieldsBound = false;
  for (TField* field : FFields) {
    if (!binding) {
      field->setBinding(0, 0);
      continue;
    }
    switch (field->FieldKind()) {
      case fkLookup:
        if (field->LookupDataSet() == nullptr || field->KeyFields().isEmpty() ||
            field->LookupKeyFields().isEmpty() || field->LookupResultField().isEmpty())
          DatabaseErrorFmt(dbmsg::kLookupInfoError, field->DisplayName(), this);
        [[fallthrough]];
      case fkCalculated:
        field->setBinding(-1, FCalcFieldsSize);
        FCalcFieldsSize += field->DataSize() + 1;
        break;
      case fkAggregate:
        field->setBinding(-1, 0);
        break;
      case fkData:
      case fkInternalCalc: {
        const int index = FFieldDefs.IndexOf(field->FieldName());
        if (index < 0) {
          if (field->FieldKind() == fkInternalCalc) {
            field->setBinding(-1, FCalcFieldsSize);
            FCalcFieldsSize += field->DataSize() + 1;
            break;
          }
          DatabaseErrorFmt(dbmsg::kFieldNotFound, field->FieldName(), this);
        }
        const TFieldType defType = FFieldDefs[index]->DataType();
        const bool compatible = defType == field->DataType() ||
                                (IsBlobFieldType(defType) && field->IsBlob()) ||
                                (defType == ftFixedChar && field->DataType() == ftString) ||
                                (defType == ftFixedWideChar && field->DataType() == ftWideString);
        if (!compatible)
          DatabaseError(FormatMessage(dbmsg::kFieldTypeMismatch,
                                      {field->DisplayName(), FieldTypeName(field->DataType()), FieldTypeName(defType)}),
                        this);
        // The value buffers of these types are as long as the field's Size says: a field
        // object smaller than its definition would receive values longer than its buffer.
        const TFieldType fieldType = field->DataType();
        const bool sized = fieldType == ftString || fieldType == ftFixedChar || fieldType == ftWideString ||
                           fieldType == ftFixedWideChar || fieldType == ftBytes || fieldType == ftVarBytes;
        if (sized && field->Size() != FFieldDefs[index]->Size())
          DatabaseError(FormatMessage(dbmsg::kFieldSizeMismatch,
                                      {field->DisplayName(), QString::number(FFieldDefs[index]->Size()),
                                       QString::number(field->Size())}),
                        this);
        field->setBinding(index + 1, field->IsBlob() ? FBlobFieldCount++ : 0);
        break;
      }
    }
  }
  if (!binding) return;
  // Fields cannot be added or change their kind while bound (the dataset is open), so the
  // answer holds until the next binding.
  FHasCalculatedFields = scanCalculatedFields();
  FFieldsBound = true;
}

void TDataSet::GetFieldList(std::vector<TField*>& list, const QString& fieldNames) const {
  list.clear();
  for (const QString& name : SplitFieldNames(fieldNames)) list.push_back(FieldByName(name));
}

QStringList TDataSet::GetFieldNames() const {
  QStringList names;
  for (const TField* field : FFields) names << field->FieldName();
  return names;
}

QVariant TDataSet::FieldValues(const QString& fieldNames) const {
  std::vector<TField*> fields;
  GetFieldList(fields, fieldNames);
  if (fields.size() == 1) return fields[0]->AsVariant();
  QVariantList values;
  for (const TField* field : fields) values << field->AsVariant();
  return values;
}

void TDataSet::SetFieldValues(const QString& fieldNames, const QVariant& values) {
  std::vector<TField*> fields;
  GetFieldList(fields, fieldNames);
  if (fields.size() == 1) {
    fields[0]->SetAsVariant(values);
    return;
  }
  const QVariantList list = values.toList();
  if (list.size() != static_cast<qsizetype>(fields.size())) DatabaseErrorFmt(dbmsg::kKeyValueCount, fieldNames, this);
  for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetAsVariant(list[static_cast<qsizetype>(i)]);
}

bool TDataSet::hasCalculatedFields() const { return FFieldsBound ? FHasCalculatedFields : scanCalculatedFields(); }

bool TDataSet::scanCalculatedFields() const {
  for (const TField* field : FFields)
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) return true;
  return false;
}

void TDataSet::calculateLookup(TField* field) {
  TDataSet* target = field->LookupDataSet();
  if (target == nullptr || !target->Active()) return;
  QVariant keys = FieldValues(field->KeyFields());
  if (keys.isNull() || !keys.isValid()) return;
  if (keys.typeId() == QMetaType::QVariantList) {
    for (const QVariant& v : keys.toList())
      if (v.isNull() || !v.isValid()) return;
  }
  QVariant value = target->Lookup(field->LookupKeyFields(), keys, field->LookupResultField());
  if (value.isValid() && !value.isNull()) field->SetAsVariant(value);
}

void TDataSet::ComputeCalcFields(TRecordBuffer buffer) {
  if (FCalcFieldsSize == 0 && !hasCalculatedFields()) return;
  const TDataSetState previous = EnterTempState(dsCalcFields);
  TRecordBuffer previousBuffer = FCalcBuffer;
  FCalcBuffer = buffer;
  try {
    ClearCalculatedArea(buffer);
    for (TField* field : FFields)
      if (field->FieldKind() == fkLookup) calculateLookup(field);
    if (OnCalcFields) OnCalcFields(this);
  } catch (...) {
    FCalcBuffer = previousBuffer;
    LeaveTempState(previous);
    throw;
  }
  FCalcBuffer = previousBuffer;
  LeaveTempState(previous);
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields) {
  masterFields.clear();
  detailFields.clear();
}

namespace {

bool isStringValue(const QVariant& v) { return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QChar; }

}  // namespace

bool TDataSet::recordMatches(const std::vector<TField*>& fields, const QVariantList& values,
                             TLocateOptions options) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    const QVariant& key = values[static_cast<qsizetype>(i)];
    const TField* field = fields[i];
    if (key.isNull() || !key.isValid()) {
      if (!field->IsNull()) return false;
      continue;
    }
    if (field->IsNull()) return false;
    if (isStringValue(key) || field->DataType() == ftString || field->DataType() == ftWideString ||
        field->DataType() == ftMemo || field->DataType() == ftWideMemo) {
      const QString have = field->AsString();
      const QString want = key.toString();
      const Qt::CaseSensitivity cs = options.testFlag(loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
      const bool ok = options.testFlag(loPartialKey) ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
      if (!ok) return false;
      continue;
    }
    const QVariant value = field->AsVariant();
    if (IsNumberVariant(key) && IsNumberVariant(value)) {
      if (NumberOfVariant(key) != NumberOfVariant(value)) return false;
      continue;
    }
    if (key.typeId() == QMetaType::Bool || value.typeId() == QMetaType::Bool) {
      if (key.toBool() != value.toBool()) return false;
      continue;
    }
    if (value != key && value.toString() != key.toString()) return false;
  }
  return true;
}

bool TDataSet::Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, keyFields);
  QVariantList values;
  if (fields.size() == 1 && keyValues.typeId() != QMetaType::QVariantList)
    values << keyValues;
  else
    values = keyValues.toList();
  if (values.size() != static_cast<qsizetype>(fields.size())) DatabaseErrorFmt(dbmsg::kKeyValueCount, keyFields, this);

  const TBookmark start = GetBookmark();
  bool found = false;
  DisableControls();
  try {
    First();
    while (!Eof()) {
      if (recordMatches(fields, values, options)) {
        found = true;
        break;
      }
      Next();
    }
    if (!found) {
      if (!start.isEmpty())
        GotoBookmark(start);
      else
        First();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  return found;
}

QVariant TDataSet::Lookup(const QString& keyFields, const QVariant& keyValues, const QString& resultFields) {
  if (keyValues.isNull() || !keyValues.isValid()) return QVariant();
  CheckBrowseMode();
  const TBookmark start = GetBookmark();
  QVariant result;
  DisableControls();
  try {
    if (Locate(keyFields, keyValues, {})) result = FieldValues(resultFields);
    if (!start.isEmpty()) GotoBookmark(start);
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  return result;
}
