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
