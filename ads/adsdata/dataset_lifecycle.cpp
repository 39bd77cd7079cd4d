// TAdsDataSet: construction and destruction, the handle accessors, adopting a cursor, the
// character type of an opened table, the effective collation, the version text and the
// framework hooks that only adjust the framework's own handling.
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/exception_handler.h"
#include "runtime/text.h"

TAdsDataSet::TAdsDataSet(TComponent* AOwner) : TDataSet(AOwner) {
  FACEFieldDefs = std::make_unique<TACEFieldDefs>(nullptr);
  mpoIndexDefs = std::make_unique<TIndexDefs>(this);
  mpoMasterLink = std::make_unique<TMasterDataLink>(this);
  mpoMasterLink->OnMasterChange = [this](TMasterDataLink*) { ApplyMasterRange(); };
  mpoMasterLink->OnMasterDisable = [this](TMasterDataLink*) { CancelRange(); };
  mlHandle = kNoHandle;
  mlActiveHandle = kNoHandle;
  meActiveIndexType = ndxNone;
  meTableType = ttAdsADT;
  musOpenTableType = kAceTypeADT;
  mbIsSequenced = false;
  meSeqLevel = slStandard;
  mpoIndexFiles = std::make_unique<TAdsIndexFiles>(this);
  mpoAdsTableOptions = std::make_unique<TAdsTableOptions>();
  mpoAdsTableOptions->SetTableInstance(this);
  mpoAdsTableOptions->SetAdsRightsCheck(true);
  mpoAdsTableOptions->SetAdsOptimizedFilters(true);
  mpoAdsTableOptions->SetAdsRecordCache(rcStandard);
  mpoAdsTableOptions->SetAdsCachingOption(tcNone);
  strBinaryFieldName.clear();
  mlBinaryFldLen = 0;
  DataSetRegistry::Instance().Add(this);
  FbStoreActive = true;
  mulSavedCRC = 0;
}

TAdsDataSet::~TAdsDataSet() {
  // Closing cancels an edit in progress, which still needs the option set and the fields.
  CloseForDestruction();
  FACEFieldDefs.reset();
  mpoMasterLink.reset();
  mpoIndexDefs.reset();
  mpoIndexFiles.reset();
  mpoAdsTableOptions.reset();
  if (mpoAdsConnection != nullptr) mpoAdsConnection->RemoveTableFromConnectList(this);
  mpoAdsConnection = nullptr;
  FreeOldRecordBuffer();
  DataSetRegistry::Instance().Remove(this);
}

void TAdsDataSet::RaiseComponentError(const QString& msg) {
  throw EADSDatabaseError(this, kAdsComponentError, msg);
}

uint32_t TAdsDataSet::NavigationHandle() const {
  return (mlActiveHandle == kNoHandle || mlActiveHandle == 0) ? mlHandle : mlActiveHandle;
}

uint32_t TAdsDataSet::GetAceConnectionHandle() {
  ADSHANDLE connection = 0;
  const UNSIGNED32 rc = AdsGetTableConnection(mlHandle, &connection);
  if (rc == adsdata::kAeInvalidTable) return 0;
  CheckAceResult(this, rc);
  return connection;
}

void TAdsDataSet::AdoptCursorHandle(uint32_t handle) {
  Close();
  mlActiveHandle = handle;
  if (handle == 0 || handle == kNoHandle) return;
  try {
    Open();
  } catch (const Exception&) {
    mlActiveHandle = kNoHandle;
    throw;
  }
}

void TAdsDataSet::SyncCharType(uint32_t handle) {
  CheckAceResult(this, AdsGetTableCharType(handle, &musOpenCharType));
  UNSIGNED8 collation[101] = {};
  UNSIGNED16 length = sizeof collation;
  const UNSIGNED32 rc = AdsGetTableCollation(handle, collation, &length);
  if (rc == adsdata::kAeNoCollation || collation[0] == 0)
    mpoAdsTableOptions->SetAdsCharType(static_cast<int>(musOpenCharType) - 1);
  if (rc != 0 && rc != adsdata::kAeNoCollation) CheckAceResult(this, rc);
}

QString TAdsDataSet::GetEffectiveCollation() const {
  if (!mpoAdsTableOptions->AdsCollation().isEmpty()) return mpoAdsTableOptions->AdsCollation();
  if (mpoAdsConnection != nullptr && !mpoAdsConnection->AdsCollation().isEmpty())
    return mpoAdsConnection->AdsCollation();
  return AdsCharTypeCollation(mpoAdsTableOptions->AdsCharType());
}

QString TAdsDataSet::Version() {
  UNSIGNED32 major = 0;
  UNSIGNED32 minor = 0;
  UNSIGNED8 letter = ' ';
  CheckAceResult(this, AdsGetVersion(&major, &minor, &letter, nullptr, nullptr));
  return FormatAdsVersionText(major, minor, letter);
}

QString FormatAdsVersionText(uint32_t major, uint32_t minor, uint8_t letter) {
  QString text = QStringLiteral("11.10.0.30 (ACE ") + QString::number(major) + QLatin1Char('.');
  if (minor < 10) text += QLatin1Char('0');
  text += QString::number(minor);
  // A blank letter is left out, and so is a missing one (NUL), which would end the text early
  // for every caller that passes it on as C text.
  if (letter != ' ' && letter != 0) text += QChar(QLatin1Char(static_cast<char>(letter)));
  return text + QLatin1Char(')');
}

TFieldClass TAdsDataSet::FieldClassForType(TFieldType type) const {
  if (type == ftString) return &CreateFieldOfClass<TAdsStringField>;
  if (type == ftBCD) return &CreateFieldOfClass<TAdsBCDField>;
  return TDataSet::FieldClassForType(type);
}

void TAdsDataSet::DataEvent(TDataEvent event, intptr_t info) {
  if (event == dePropertyChange && mpoIndexDefs) mpoIndexDefs->SetUpdated(false);
  TDataSet::DataEvent(event, info);
}

void TAdsDataSet::FireAfterOpen() {
  TDataSet::FireAfterOpen();
  TDataSource* master = mpoMasterLink ? mpoMasterLink->DataSource() : nullptr;
  if (master != nullptr && mpoMasterLink->DataSet() != nullptr && mpoMasterLink->DataSet()->Active())
    ApplyMasterRange();
}
