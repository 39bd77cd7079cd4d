// What the connection component and the error reporting need of a dataset of this layer.
//
// TAdsDataSet implements this interface; the connection component keeps borrowed pointers to
// the datasets attached to it (it never owns them), and EADSDatabaseError reads the identity of
// the dataset involved in a failure through it. Keeping the connection side on this interface
// lets it be built and tested before, and independently of, the dataset core.
//
// Threading: a dataset is used by one thread at a time.
#pragma once

#include <QString>

#include "ads/ads_table_types.h"

class TAdsConnection;
class TComponent;

class AdsDataSetClient {
 public:
  virtual ~AdsDataSetClient() = default;

  // The dataset as a component: its name and owner appear in error messages and in the
  // rename rules of the connection component.
  virtual TComponent& ClientComponent() = 0;
  const TComponent& ClientComponent() const { return const_cast<AdsDataSetClient*>(this)->ClientComponent(); }

  virtual QString DatabaseName() const = 0;
  virtual void SetDatabaseName(const QString& value) = 0;
  // The connection component this dataset is attached to was renamed and the dataset's
  // DatabaseName, which named it, takes the new name. Nothing else changes: the dataset stays
  // attached where it is in the connection's list, and open when it is open.
  virtual void FollowConnectionRename(const QString& value) = 0;
  // The dataset's resolved database path; may raise.
  virtual QString GetDatabasePath() = 0;
  virtual QString TableName() const = 0;
  virtual void SetTableType(TAdsTableTypes value) = 0;

  // The connection component this dataset is attached to, or null.
  virtual TAdsConnection* AdsConnection() const = 0;
  // Forgets the connection component without touching its list (the component is going away).
  virtual void DetachConnection() = 0;

  // Opens or closes the dataset (the framework's Active property).
  virtual void SetActive(bool value) = 0;
  // The engine handles of the dataset became invalid because its connection was closed.
  virtual void InvalidateAceHandles() = 0;
  // Re-reads the default index after a connection to a data dictionary was made.
  virtual void UpdateDefaultIndex() = 0;

  // What a rollback of the connection's transaction does to its datasets: an edit or insert in
  // progress is cancelled (the framework's Cancel) before the rollback, and a dataset that is
  // open and browsing reads its records again (the framework's Refresh) after it.
  virtual void Cancel() = 0;
  virtual bool IsBrowsing() const = 0;
  virtual void Refresh() = 0;
};
