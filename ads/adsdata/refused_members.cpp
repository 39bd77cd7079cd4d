// TAdsDataSet: the members of the generic dataset that this dataset refuses. Each raises
// EADSDatabaseError (5121) "The method <name> in TAdsDataSet is not supported.".
#include "ads/ace.h"
#include "ads/adsdata.h"

namespace {
[[noreturn]] void Refuse(TAdsDataSet* ds, const char* name) {
  throw EADSDatabaseError(ds, kAdsComponentError,
                          QStringLiteral("The method %1 in TAdsDataSet is not supported.").arg(QLatin1String(name)));
}
}  // namespace

#define ADS_SELF const_cast<TAdsDataSet*>(this)

int TAdsDataSet::TableLevel() const { Refuse(ADS_SELF, "GetTableLevel"); }
void TAdsDataSet::SetTableLevel(int) { Refuse(this, "SetTableLevel"); }
void* TAdsDataSet::Database() const { Refuse(ADS_SELF, "GetDBDatabase"); }
void* TAdsDataSet::DBHandle() const { Refuse(ADS_SELF, "GetDBHandle"); }
void* TAdsDataSet::DBLocale() const { Refuse(ADS_SELF, "GetDBLocale"); }
void* TAdsDataSet::DBSession() const { Refuse(ADS_SELF, "GetDBSession"); }
void* TAdsDataSet::Provider() const { Refuse(ADS_SELF, "GetProvider"); }
void* TAdsDataSet::Locale() const { Refuse(ADS_SELF, "GetLocale"); }
bool TAdsDataSet::ExpIndex() const { Refuse(ADS_SELF, "GetExpIndex"); }
QString TAdsDataSet::SessionName() const { Refuse(ADS_SELF, "GetSessionName"); }
void TAdsDataSet::SetSessionName(const QString&) { Refuse(this, "SetSessionName"); }
bool TAdsDataSet::CacheBlobs() const { Refuse(ADS_SELF, "GetCacheBlobs"); }
void TAdsDataSet::SetCacheBlobs(bool) { Refuse(this, "SetCacheBlobs"); }
bool TAdsDataSet::CachedUpdates() const { Refuse(ADS_SELF, "GetCachedUpdates"); }
void TAdsDataSet::SetCachedUpdates(bool) { Refuse(this, "SetCachedUpdates"); }
void* TAdsDataSet::UpdateObject() const { Refuse(ADS_SELF, "GetUpdateObject"); }
void TAdsDataSet::SetUpdateObject(void*) { Refuse(this, "SetUpdateObject"); }
bool TAdsDataSet::UpdatesPending() const { Refuse(ADS_SELF, "GetUpdatesPending"); }
int TAdsDataSet::UpdateRecordTypes() const { Refuse(ADS_SELF, "GetUpdateRecordSet"); }
void TAdsDataSet::SetUpdateRecordTypes(int) { Refuse(this, "SetUpdateRecordSet"); }
void TAdsDataSet::BatchMove(TDataSet*, int) { Refuse(this, "BatchMove"); }
void TAdsDataSet::CheckOpen(uint32_t) { Refuse(this, "CheckOpen"); }
void TAdsDataSet::ApplyUpdates() { Refuse(this, "ApplyUpdates"); }
void TAdsDataSet::CancelUpdates() { Refuse(this, "CancelUpdates"); }
void TAdsDataSet::CommitUpdates() { Refuse(this, "CommitUpdates"); }
bool TAdsDataSet::ConstraintsDisabled() { Refuse(this, "ConstraintsDisabled"); }
void TAdsDataSet::DisableConstraints() { Refuse(this, "DisableConstraints"); }
void TAdsDataSet::EnableConstraints() { Refuse(this, "EnableConstraints"); }
void TAdsDataSet::FetchAll() { Refuse(this, "FetchAll"); }
void TAdsDataSet::GetIndexInfo() { Refuse(this, "GetIndexInfo"); }
void TAdsDataSet::RevertRecord() { Refuse(this, "RevertRecord"); }
TUpdateStatus TAdsDataSet::UpdateStatus() { Refuse(this, "UpdateStatus"); }

#undef ADS_SELF
