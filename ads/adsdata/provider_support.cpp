// TAdsDataSet: the operations through which provider consumers (such as a client dataset)
// drive this dataset. Transactions and statements go to the connection component; without one
// there is no transaction to be in.
#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adstable.h"

bool TAdsDataSet::PSInTransaction() {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsConnected()) return false;
  return mpoAdsConnection->TransactionActive();
}

void TAdsDataSet::PSStartTransaction() {
  if (mpoAdsConnection != nullptr) mpoAdsConnection->BeginTransaction();
}

void TAdsDataSet::PSEndTransaction(bool Commit) {
  if (mpoAdsConnection == nullptr) return;
  if (Commit)
    mpoAdsConnection->Commit();
  else
    mpoAdsConnection->Rollback();
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
  o.musAdsLockType = mpoAdsTableOptions->AdsLockType() == Proprietary ? 1 : 0;
  o.musAdsCharType = static_cast<uint16_t>(mpoAdsTableOptions->AdsCharType() + 1);
  o.musAdsRightsCheck = mpoAdsTableOptions->AdsRightsCheck() ? 1 : 2;
  o.musAdsTableType = musOpenTableType;
  return o;
}

int TAdsDataSet::PSExecuteStatement(const QString& ASQL, TParams* AParams) {
  return PSExecuteStatement(ASQL, AParams, nullptr);
}

int TAdsDataSet::PSExecuteStatement(const QString& ASQL, TParams* AParams, std::unique_ptr<TDataSet>* ResultSet) {
  if (mpoAdsConnection == nullptr)
    RaiseComponentError(QStringLiteral(
        "A TAdsConnection component is required for TClientDataSet/IProvider support. Use either the "
        "AdsConnection  property or the Database property to specify a TAdsConnection instance."));
  const TAdsDatasetOptions options = ProviderDatasetOptions();
  if (ResultSet == nullptr) return mpoAdsConnection->Execute(options, ASQL, AParams, true, nullptr);
  ADSHANDLE cursor = 0;
  const int rows = mpoAdsConnection->Execute(options, ASQL, AParams, true, &cursor);
  auto query = std::make_unique<TAdsQuery>(nullptr);
  query->AdoptCursorHandle(cursor);
  *ResultSet = std::move(query);
  return rows;
}
