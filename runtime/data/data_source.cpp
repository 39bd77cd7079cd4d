// TDataSource: passes a dataset's data events on to its links.
#include "runtime/data/data_source.h"

#include <algorithm>

#include "runtime/data/data_link.h"
#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet != nullptr && dataSet->IsLinkedTo(this)) DatabaseError(dbmsg::kCircularDataLink, this);
  if (dataSet_ != nullptr) dataSet_->removeDataSource(this);
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->addDataSource(this);
  updateState();
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  updateState();
}

void TDataSource::updateState() {
  TDataSetState state = (enabled_ && dataSet_ != nullptr) ? dataSet_->State() : dsInactive;
  bool changed = state != state_;
  state_ = state;
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->updateState();
  if (changed && OnStateChange) OnStateChange(this);
}

void TDataSource::Edit() {
  if (autoEdit_ && dataSet_ != nullptr && state_ == dsBrowse) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  std::vector<const TDataSource*> pending{this};
  std::vector<const TDataSource*> seen;
  while (!pending.empty()) {
    const TDataSource* source = pending.back();
    pending.pop_back();
    if (std::find(seen.begin(), seen.end(), source) != seen.end()) continue;
    seen.push_back(source);
    for (const TDataLink* link : source->links_) {
      TDataSet* detail = link->DetailDataSet();
      if (detail == nullptr) continue;
      if (detail == dataSet) return true;
      for (const TDataSource* next : detail->FDataSources) pending.push_back(next);
    }
  }
  return false;
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    updateState();
    return;
  }
  if (state_ == dsInactive) return;
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->DataEvent(event, info);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::addLink(TDataLink* link) {
  links_.push_back(link);
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::removeLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}
