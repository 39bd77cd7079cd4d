// TAdsDataSet: the operations through which provider consumers (such as a client dataset)
// drive this dataset. Transactions go to the connection component; without one there is no
// transaction to be in.
#include "ads/ace.h"
#include "ads/adsdata.h"

bool TAdsDataSet::PSInTransaction() {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsConnected()) return false;
  NotBuilt(QStringLiteral("Asking the connection for its transaction"));
}

void TAdsDataSet::PSStartTransaction() {
  if (mpoAdsConnection == nullptr) return;
  NotBuilt(QStringLiteral("Starting a transaction on the connection"));
}

void TAdsDataSet::PSEndTransaction(bool) {
  if (mpoAdsConnection == nullptr) return;
  NotBuilt(QStringLiteral("Ending a transaction on the connection"));
}

void TAdsDataSet::PSReset() {
  if (Active()) {
    CheckAceResult(this, AdsGotoTop(mlHandle));
    FCurrentRecord = -1;
  }
}

bool TAdsDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  if (!OnUpdateRecord) return false;
  TUpdateAction action = uaFail;
  OnUpdateRecord(Delta, UpdateKind, action);
  return action == uaApplied;
}

TAdsDatasetOptions TAdsDataSet::ProviderDatasetOptions() const {
  TAdsDatasetOptions o;
  o.usLockType = mpoAdsTableOptions->AdsLockType() == Proprietary ? 1 : 0;
  o.usCharType = static_cast<uint16_t>(mpoAdsTableOptions->AdsCharType() + 1);
  o.usCheckRights = mpoAdsTableOptions->AdsRightsCheck() ? 1 : 2;
  o.usTableType = musOpenTableType;
  return o;
}

int TAdsDataSet::PSExecuteStatement(const QString& ASQL, TParams* AParams) {
  TDataSet* none = nullptr;
  return PSExecuteStatement(ASQL, AParams, none);
}

int TAdsDataSet::PSExecuteStatement(const QString&, TParams*, TDataSet*&) {
  if (mpoAdsConnection == nullptr)
    RaiseComponentError(QStringLiteral(
        "A TAdsConnection component is required for TClientDataSet/IProvider support. Use either the "
        "AdsConnection  property or the Database property to specify a TAdsConnection instance."));
  NotBuilt(QStringLiteral("Executing provider statements on the connection"));
}
