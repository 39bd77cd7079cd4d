// TAdsDataSet: the editing hooks of the framework. Editing and posting records is a later
// piece of the dataset core; until it lands, each hook that would change a record refuses
// with a clear error instead of pretending to succeed.
#include "ads/ace.h"
#include "ads/adsdata.h"

// Edit, Insert, Append and Delete reach these before they change the buffer ring, so the
// refusal leaves the dataset browsing the records it showed.
void TAdsDataSet::FireBeforeInsert() { NotBuilt(QStringLiteral("Inserting records")); }
void TAdsDataSet::FireBeforeEdit() { NotBuilt(QStringLiteral("Editing records")); }
void TAdsDataSet::FireBeforeDelete() { NotBuilt(QStringLiteral("Deleting records")); }

void TAdsDataSet::StoreFieldData(TField*, const void*) { NotBuilt(QStringLiteral("Storing field values")); }
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

void TAdsDataSet::FireOnNewRecord() { TDataSet::FireOnNewRecord(); }
