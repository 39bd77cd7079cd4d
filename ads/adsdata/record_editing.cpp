// TAdsDataSet: the editing hooks of the framework. Values of calculated and lookup fields are
// stored in their area of the record buffer, key values (state dsSetKey) in the record image of
// the key buffer being edited. Editing and posting records is a later piece of
// the dataset core; until it lands, each hook that would change a record refuses with a clear
// error instead of pretending to succeed.
#include <cstring>
#include <string>

#include "ads/ace.h"

#include "ads/adsdata.h"
#include "runtime/data/db_errors.h"

// Edit, Insert, Append and Delete reach these before they change the buffer ring, so the
// refusal leaves the dataset browsing the records it showed.
void TAdsDataSet::FireBeforeInsert() { NotBuilt(QStringLiteral("Inserting records")); }
void TAdsDataSet::FireBeforeEdit() { NotBuilt(QStringLiteral("Editing records")); }
void TAdsDataSet::FireBeforeDelete() { NotBuilt(QStringLiteral("Deleting records")); }

void TAdsDataSet::StoreFieldData(TField* field, const void* value) {
  const TDataSetState s = State();
  if (!((s >= dsEdit && s <= dsNewValue) || s == dsInternalCalc))
    RaiseComponentError(QStringLiteral("Dataset not in edit mode"));
  if (s == dsSetKey && (field->FieldNo() < 0 || (IndexFieldCount() > 0 && !IsIndexField(field))))
    DatabaseErrorFmt(dbmsg::kNotIndexField, field->DisplayName(), this);
  TRecordBuffer buffer = ActiveRecordBuffer();
  if (buffer == nullptr) RaiseComponentError(QStringLiteral("Dataset not in edit mode"));
  if (field->FieldNo() < 1) {
    // Calculated and lookup fields live in the calculated-field area: a has-value byte, then
    // the value form.
    char* slot = buffer + musRecordSize + field->Offset();
    slot[0] = value != nullptr ? 1 : 0;
    if (value != nullptr) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
  } else {
    if (s == dsCalcFields) RaiseComponentError(QStringLiteral("Dataset not in edit mode"));
    // Key values are written into the key buffer's record image; values of records being
    // edited wait for posting, which is not built yet.
    if (s != dsSetKey) NotBuilt(QStringLiteral("Storing values of data fields"));
    WriteFieldValue(static_cast<uint16_t>(field->FieldNo()), field->DataType(), value, buffer);
    uint16_t entered = 1;
    if (field->DataType() == ftString)
      entered = value == nullptr ? 0 : static_cast<uint16_t>(std::strlen(static_cast<const char*>(value)));
    else if (field->DataType() == ftWideString)
      entered = value == nullptr ? 0
                                 : static_cast<uint16_t>(std::char_traits<char16_t>::length(static_cast<const char16_t*>(value)));
    KeyFieldLens(mpstKeyBuffer)[field->FieldNo() - 1] = entered;
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}
void TAdsDataSet::FillNewRecord(TRecordBuffer) { NotBuilt(QStringLiteral("Initialising a new record")); }
void TAdsDataSet::BeginRecordEdit() { NotBuilt(QStringLiteral("Editing records")); }
void TAdsDataSet::BeginRecordInsert() { NotBuilt(QStringLiteral("Inserting records")); }
void TAdsDataSet::PostRecord() { NotBuilt(QStringLiteral("Posting records")); }
void TAdsDataSet::RemoveCurrentRecord() { NotBuilt(QStringLiteral("Deleting records")); }
void TAdsDataSet::InternalAddRecord(TRecordBuffer, bool) { NotBuilt(QStringLiteral("Adding records")); }

// Nothing was changed, so nothing is to be undone: no edit can have begun.
void TAdsDataSet::CancelRecordEdit() { FreeOldRecordBuffer(); }

void TAdsDataSet::FreeOldRecordBuffer() {
  if (FOldRecordBuffer == nullptr) return;
  ReleaseRecordBuffer(FOldRecordBuffer);
}

