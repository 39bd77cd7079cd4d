// Data links: TDataLink follows the dataset of a data source and turns its data events into
// calls of its virtual notifications (ActiveChanged, DataSetChanged, DataSetScrolled,
// RecordChanged, LayoutChanged, EditingChanged, CheckBrowseMode, UpdateData). A link asks for a
// number of record buffers (BufferCount); the dataset keeps at least the largest such number,
// and ActiveRecord is the current record's place in the link's window of them.
//
// TDetailDataLink is a link that belongs to a dataset following a master (DetailDataSet).
// TMasterDataLink is that link for a detail dataset that is restricted to the records of the
// master's current record: FieldNames names the master fields, Fields holds them while the
// master is open, and OnMasterChange / OnMasterDisable report that the master moved or went
// away.
//
// Threading: used by the thread that uses the dataset.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/data/db_types.h"

class TDataSet;
class TDataSource;
class TField;

class TDataLink {
 public:
  TDataLink();
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  // The data source's dataset, or null.
  TDataSet* DataSet() const;
  // The dataset is open and the data source enabled.
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int count);
  // Index of the current record in the link's window (0 to RecordCount - 1).
  int ActiveRecord() const;
  void SetActiveRecord(int value);
  // Records available in the window.
  int RecordCount() const;
  // Puts the dataset into dsEdit when the data source allows; returns Editing.
  bool Edit();
  // Asks the link to write its pending value (UpdateData) unless it is doing so already.
  void UpdateRecord();

  // The dataset that follows the data source through this link (none for plain links).
  virtual TDataSet* DetailDataSet() const { return nullptr; }

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int distance);
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField*) {}
  virtual void UpdateData() {}
  virtual void FocusControl(TField*) {}

 private:
  friend class TDataSource;
  void DataEvent(TDataEvent event, intptr_t info);
  void updateState();
  void setActive(bool active);
  void setEditing(bool editing);
  void updateRange();

  TDataSource* dataSource_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
  int bufferCount_ = 1;
  int firstRecord_ = 0;
};

class TDetailDataLink : public TDataLink {
 public:
  TDataSet* DetailDataSet() const override { return nullptr; }
};

class TMasterDataLink : public TDetailDataLink {
 public:
  using TMasterEvent = std::function<void(TMasterDataLink* link)>;

  explicit TMasterDataLink(TDataSet* dataSet) : dataSet_(dataSet) {}

  TDataSet* DetailDataSet() const override { return dataSet_; }
  // ";"-separated master field names; changing them re-reads Fields.
  QString FieldNames() const { return fieldNames_; }
  void SetFieldNames(const QString& names);
  // The master fields named by FieldNames while the link is active.
  const std::vector<TField*>& Fields() const { return fields_; }

  TMasterEvent OnMasterChange;
  TMasterEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override { ActiveChanged(); }
  void RecordChanged(TField* field) override;

 private:
  TDataSet* dataSet_;
  QString fieldNames_;
  std::vector<TField*> fields_;
};
