// TDataSet: construction, the open and close sequences, states and data events.
#include <algorithm>

#include "runtime/data/data_source.h"
#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/exception_handler.h"

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  // The hooks belong to the descendant, which has closed the dataset already; what is left is
  // to let go of fields and data sources that outlive it.
  for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) source->SetDataSet(nullptr);
  std::vector<TField*> defaults;
  defaults.swap(FDefaultFieldList);
  for (TField* field : std::vector<TField*>(FFields.begin(), FFields.end())) field->dataSet_ = nullptr;
  FFields.Clear();
  for (TField* field : defaults) delete field;
}

void TDataSet::RequireActive() const {
  if (!Active()) DatabaseError(dbmsg::kDataSetClosed, this);
}

void TDataSet::RequireInactive() const {
  if (Active()) DatabaseError(dbmsg::kDataSetOpen, this);
}

bool TDataSet::IsEmpty() const {
  return Active() && FActiveRecord >= FRecordCount && FState != dsInsert;
}

void TDataSet::SetActive(bool value) {
  if (ComponentStateHas(csReading) || ComponentStateHas(csLoading)) {
    FStreamedActive = value;
    return;
  }
  if (value == Active()) return;
  if (value)
    doOpen();
  else
    doClose();
}

void TDataSet::doOpen() {
  FireBeforeOpen();
  if (FState != dsOpening) {
    try {
      FInternalOpenComplete = false;
      OpenEngineCursor();
      completeInternalOpen();
    } catch (...) {
      failOpen();
      throw;
    }
  }
  if (FState != dsOpening) OpenCursorComplete();
}

void TDataSet::OpenCursorComplete() {
  if (FState == dsOpening) {
    try {
      FInternalOpenComplete = false;
      OpenEngineCursor();
      completeInternalOpen();
    } catch (...) {
      failOpen();
      throw;
    }
  }
  ChangeState(dsBrowse);
  FireAfterOpen();
}

void TDataSet::completeInternalOpen() {
  FInternalOpenComplete = true;
  ResetBufferList();
  setBufferCount(desiredBufferCount());
  FBOF = true;
}

void TDataSet::failOpen() {
  if (FState != dsInactive) {
    FState = dsInactive;
    DataEvent(deUpdateState);
  }
  closeCursor();
}

void TDataSet::doClose() {
  const bool destroying = IsDestroying();
  if (!destroying) FireBeforeClose();
  if (FState == dsEdit || FState == dsInsert || FState == dsSetKey) Cancel();
  ChangeState(dsInactive);
  closeCursor();
  if (!destroying) FireAfterClose();
}

void TDataSet::closeCursor() {
  FBlockReadSize = 0;
  for (TField* field : FFields) field->FreeBuffers();
  ResetBufferList();
  SetBufListSize(0);
  FInternalOpenComplete = false;
  CloseEngineCursor();
  FBufferCount = 0;
}

void TDataSet::CloseForDestruction() {
  FDestroying = true;
  if (FState != dsInactive) Close();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!FStreamedActive) return;
  try {
    SetActive(true);
  } catch (const std::exception& e) {
    if (!ComponentStateHas(csDesigning)) throw;
    // In the designer a dataset that cannot open stays closed; the failure is reported to the
    // process-wide handler.
    HandleHookException(e);
  }
}

void TDataSet::ChangeState(TDataSetState state) {
  if (FState == state) return;
  FState = state;
  FModified = false;
  DataEvent(deUpdateState);
}

TDataSetState TDataSet::EnterTempState(TDataSetState state) {
  TDataSetState previous = FState;
  FState = state;
  return previous;
}

void TDataSet::LeaveTempState(TDataSetState previous) { FState = previous; }

void TDataSet::CheckBrowseMode() {
  RequireActive();
  DataEvent(deCheckBrowseMode);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::SetBlockReadSize(int value) {
  if (value > 0) {
    CheckBrowseMode();
    FBlockReadSize = value;
    ChangeState(dsBlockRead);
  } else {
    FBlockReadSize = 0;
    if (FState == dsBlockRead) ChangeState(dsBrowse);
  }
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  switch (event) {
    case deFieldChange: {
      TField* field = reinterpret_cast<TField*>(info);
      if (field != nullptr && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc))
        FModified = true;
      if (FState != dsSetKey && FAutoCalcFields && hasCalculatedFields() && FActiveRecord < BufListSize())
        ComputeCalcFields(ActiveBuffer());
      if (field != nullptr && field->OnChange) field->OnChange(field);
      break;
    }
    case dePropertyChange:
      FFieldDefs.SetUpdated(false);
      break;
    default:
      break;
  }
  if (FDisableCount == 0 || event == deCheckBrowseMode) {
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) source->DataEvent(event, info);
  } else if ((event == deUpdateState && FState == dsInactive) || event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount > 0) return;
  if (FDisableState != FState) DataEvent(deUpdateState);
  if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent);
}

bool TDataSet::IsLinkedTo(TDataSource* dataSource) const {
  std::vector<const TDataSet*> seen;
  while (dataSource != nullptr) {
    const TDataSet* dataSet = dataSource->DataSet();
    if (dataSet == nullptr) return false;
    if (dataSet == this) return true;
    if (std::find(seen.begin(), seen.end(), dataSet) != seen.end()) return false;
    seen.push_back(dataSet);
    dataSource = dataSet->DataSource();
  }
  return false;
}

void TDataSet::addDataSource(TDataSource* source) {
  if (std::find(FDataSources.begin(), FDataSources.end(), source) == FDataSources.end())
    FDataSources.push_back(source);
  UpdateBufferCount();
}

void TDataSet::removeDataSource(TDataSource* source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), source), FDataSources.end());
  UpdateBufferCount();
}

void TDataSet::HandleHookException(const std::exception& e) {
  // Without a process-wide handler the failure is dropped, as the hook contract asks.
  HandleApplicationException(e);
}

void TDataSet::CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& handler) {
  for (;;) {
    try {
      operation();
      return;
    } catch (const EDatabaseError& e) {
      if (!handler) throw;
      TDataAction action = daFail;
      handler(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
}

void TDataSet::FireBeforeOpen() {
  if (BeforeOpen) BeforeOpen(this);
}
void TDataSet::FireAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}
void TDataSet::FireBeforeClose() {
  if (BeforeClose) BeforeClose(this);
}
void TDataSet::FireAfterClose() {
  if (AfterClose) AfterClose(this);
}
void TDataSet::FireBeforeInsert() {
  if (BeforeInsert) BeforeInsert(this);
}
void TDataSet::FireAfterInsert() {
  if (AfterInsert) AfterInsert(this);
}
void TDataSet::FireBeforeEdit() {
  if (BeforeEdit) BeforeEdit(this);
}
void TDataSet::FireAfterEdit() {
  if (AfterEdit) AfterEdit(this);
}
void TDataSet::FireBeforePost() {
  if (BeforePost) BeforePost(this);
}
void TDataSet::FireAfterPost() {
  if (AfterPost) AfterPost(this);
}
void TDataSet::FireBeforeCancel() {
  if (BeforeCancel) BeforeCancel(this);
}
void TDataSet::FireAfterCancel() {
  if (AfterCancel) AfterCancel(this);
}
void TDataSet::FireBeforeDelete() {
  if (BeforeDelete) BeforeDelete(this);
}
void TDataSet::FireAfterDelete() {
  if (AfterDelete) AfterDelete(this);
}
void TDataSet::FireBeforeScroll() {
  if (BeforeScroll) BeforeScroll(this);
}
void TDataSet::FireAfterScroll() {
  if (AfterScroll) AfterScroll(this);
}
void TDataSet::FireOnNewRecord() {
  if (OnNewRecord) OnNewRecord(this);
}
