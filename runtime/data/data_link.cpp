// Data links and the master link of detail datasets.
#include "runtime/data/data_link.h"

#include <algorithm>

#include "runtime/data/data_source.h"
#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  if (dataSource_ != nullptr) dataSource_->removeLink(this);
  dataSource_ = nullptr;
}

TDataSet* TDataLink::DataSet() const { return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  TDataSet* detail = DetailDataSet();
  if (source != nullptr && detail != nullptr && (detail->IsLinkedTo(source) || source->DataSet() == detail))
    DatabaseError(dbmsg::kCircularDataLink, detail);
  if (dataSource_ != nullptr) dataSource_->removeLink(this);
  dataSource_ = source;
  if (dataSource_ != nullptr) dataSource_->addLink(this);
  updateState();
}

void TDataLink::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  updateState();
}

void TDataLink::SetBufferCount(int count) {
  if (count < 1) count = 1;
  if (count == bufferCount_) return;
  bufferCount_ = count;
  if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
  if (active_) updateRange();
}

void TDataLink::updateState() {
  const TDataSetState state = dataSource_ != nullptr ? dataSource_->State() : dsInactive;
  setActive(state != dsInactive);
  setEditing(!readOnly_ && (state == dsEdit || state == dsInsert || state == dsSetKey));
}

void TDataLink::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active)
    updateRange();
  else
    firstRecord_ = 0;
  ActiveChanged();
}

void TDataLink::setEditing(bool editing) {
  if (editing == editing_) return;
  editing_ = editing;
  EditingChanged();
}

void TDataLink::updateRange() {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr) return;
  const int active = dataSet->ActiveRecordIndex();
  if (firstRecord_ > active) firstRecord_ = active;
  if (firstRecord_ < active - bufferCount_ + 1) firstRecord_ = active - bufferCount_ + 1;
  if (firstRecord_ < 0) firstRecord_ = 0;
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || dataSource_->State() == dsSetKey) return 0;
  return dataSet->ActiveRecordIndex() - firstRecord_;
}

void TDataLink::SetActiveRecord(int value) {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || !active_) return;
  dataSet->MoveBy(value + firstRecord_ - dataSet->ActiveRecordIndex());
}

int TDataLink::RecordCount() const {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || !active_) return 0;
  return std::min(bufferCount_, std::max(0, dataSet->BufferedRecordCount() - firstRecord_));
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  if (updating_) return;
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::DataSetScrolled(int) { DataSetChanged(); }

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    updateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int count = 0;
      TDataSet* dataSet = DataSet();
      if (dataSet != nullptr && dataSource_->State() != dsSetKey) {
        const int active = dataSet->ActiveRecordIndex();
        const int first = firstRecord_ + (event == deDataSetScroll ? static_cast<int>(info) : 0);
        const int last = first + bufferCount_ - 1;
        if (active > last)
          count = active - last;
        else if (active < first)
          count = active - first;
        firstRecord_ = std::max(0, first + count);
      }
      if (event == deDataSetChange)
        DataSetChanged();
      else if (event == deDataSetScroll)
        DataSetScrolled(count);
      else
        LayoutChanged();
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField*>(info));
      break;
    default:
      break;
  }
}

void TMasterDataLink::SetFieldNames(const QString& names) {
  if (names == fieldNames_) return;
  fieldNames_ = names;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  fields_.clear();
  if (Active() && DataSet() != nullptr) {
    try {
      DataSet()->GetFieldList(fields_, fieldNames_);
    } catch (...) {
      fields_.clear();
      throw;
    }
  }
  if (dataSet_ == nullptr || !dataSet_->Active()) return;
  if (Active() && !fields_.empty()) {
    if (OnMasterChange) OnMasterChange(this);
  } else if (OnMasterDisable) {
    OnMasterDisable(this);
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (dataSet_ != nullptr && dataSet_->Active()) dataSet_->CheckBrowseMode();
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource() == nullptr || DataSource()->State() == dsSetKey) return;
  if (dataSet_ == nullptr || !dataSet_->Active() || fields_.empty()) return;
  if (field != nullptr && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (OnMasterChange) OnMasterChange(this);
}
