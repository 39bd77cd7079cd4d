// A dataset stand-in for the connection component's tests: records what the connection asks
// of it, in order, so tests can check the sequences of connecting, disconnecting and renaming.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

#include "ads/adscnnct.h"

class RecordingDataSet : public TComponent, public AdsDataSetClient {
 public:
  RecordingDataSet(TComponent* owner, QStringList* log) : TComponent(owner), log_(log) {
    DataSetRegistry::Instance().Add(this);
  }
  ~RecordingDataSet() override {
    if (connection_ != nullptr) connection_->RemoveTableFromConnectList(this);
    DataSetRegistry::Instance().Remove(this);
  }

  void Attach(TAdsConnection* c) {
    if (connection_ != nullptr) connection_->RemoveTableFromConnectList(this);
    connection_ = c;
    if (c != nullptr) c->AddTableToConnectList(this);
  }

  TComponent& ClientComponent() override { return *this; }
  QString DatabaseName() const override { return databaseName_; }
  void SetDatabaseName(const QString& v) override {
    databaseName_ = v;
    note("DatabaseName=" + v);
  }
  void FollowConnectionRename(const QString& v) override {
    databaseName_ = v;
    note("FollowConnectionRename=" + v);
  }
  QString GetDatabasePath() override {
    if (failPath_) throw EADSDatabaseError(nullptr, 5121, QStringLiteral("path failure"));
    return path_;
  }
  QString TableName() const override { return tableName_; }
  void SetTableType(TAdsTableTypes t) override {
    tableType_ = t;
    note("TableType=" + QString::number(t));
  }
  TAdsConnection* AdsConnection() const override { return connection_; }
  void DetachConnection() override {
    connection_ = nullptr;
    note("Detach");
  }
  void SetActive(bool v) override {
    note(v ? "Open" : "Close");
    if (!v && failClose_) throw EDatabaseError(QStringLiteral("close failed"));
    active_ = v;
  }
  void InvalidateAceHandles() override { note("InvalidateAceHandles"); }
  void UpdateDefaultIndex() override { note("UpdateDefaultIndex"); }
  void Cancel() override { note("Cancel"); }
  bool IsBrowsing() const override { return active_ && browsing_; }
  void Refresh() override { note("Refresh"); }

  QString path_;
  QString tableName_;
  bool failPath_ = false;
  bool failClose_ = false;
  bool active_ = false;
  // With active_, the dataset answers that it is browsing (not editing or inserting).
  bool browsing_ = true;
  TAdsTableTypes tableType_ = ttAdsADT;

 private:
  void note(const QString& what) {
    if (log_ != nullptr) log_->append(Name() + ":" + what);
  }
  QStringList* log_;
  TAdsConnection* connection_ = nullptr;
  QString databaseName_;
};
