// TDataSource: the connector between one dataset and the data links (controls, detail
// datasets, queries with parameters) that follow it. The dataset's data events go through it
// to every link; it reports state changes (OnStateChange) and data changes (OnDataChange).
// A data source forgets its dataset when the dataset is destroyed and detaches its links when
// it is destroyed itself.
//
// Threading: used by the thread that uses its dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/component.h"
#include "runtime/data/db_types.h"

class TDataLink;
class TDataSet;
class TField;

class TDataSource : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TDataSource* sender)>;
  using TDataChangeEvent = std::function<void(TDataSource* sender, TField* field)>;

  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataSet_; }
  // EDatabaseError "Circular datalinks are not allowed" when the dataset already follows this
  // data source.
  void SetDataSet(TDataSet* dataSet);
  // A disabled data source reports its dataset as inactive to its links.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
  // The dataset's state, dsInactive without an enabled dataset.
  TDataSetState State() const { return state_; }
  // Puts the dataset into dsEdit when AutoEdit is set and it is browsing.
  void Edit();
  bool IsLinkedTo(const TDataSet* dataSet) const;
  int LinkCount() const { return static_cast<int>(links_.size()); }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event, intptr_t info);
  void addLink(TDataLink* link);
  void removeLink(TDataLink* link);
  void updateState();

  TDataSet* dataSet_ = nullptr;
  std::vector<TDataLink*> links_;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = dsInactive;
};
