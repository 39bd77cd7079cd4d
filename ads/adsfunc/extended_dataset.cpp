// The shared steps of the extended members (result checking, preparing, re-synchronisation)
// and the members of TAdsExtendedDataSet.
#include <vector>

#include "ads/ace.h"
#include "ads/ads_errors.h"
#include "ads/adsfunc.h"
#include "ads/adsfunc/adsfunc_internal.h"
#include "runtime/text.h"

using namespace adsfunc_detail;

namespace {
constexpr uint32_t kIgnoredExtendedResult = 5068;
constexpr uint32_t kNoFilter = 5037;
constexpr uint32_t kBufferTooSmall = 5005;
}  // namespace

void TAdsExtendedDataSet::CheckExtendedResult(uint32_t code) {
  if (code == kIgnoredExtendedResult) return;
  CheckAceResult(this, code);
}

void TAdsExtendedDataSet::Prepare(unsigned steps) {
  // A member that works on one of the dataset's handles needs the dataset open; without a
  // handle it would hand the engine -1.
  RequireActive();
  if ((steps & kBrowse) != 0) CheckBrowseMode();
  if ((steps & kActive) != 0) AdsActiveRecord();
}

void TAdsExtendedDataSet::Finish(unsigned steps) {
  if ((steps & kResync) != 0) {
    AdsExtendResync();
  } else if ((steps & kPropertyChange) != 0) {
    DataEvent(dePropertyChange);
  } else if ((steps & kGotoTop) != 0) {
    CheckExtendedResult(::AdsGotoTop(GetAceOrderHandle()));
    AdsExtendResync();
  }
}

void TAdsExtendedDataSet::AdsExtendResync() {
  RequireActive();
  UNSIGNED16 atEof = 0;
  UNSIGNED16 atBof = 0;
  CheckExtendedResult(AdsAtEOF(GetAceTableHandle(), &atEof));
  CheckExtendedResult(AdsAtBOF(GetAceTableHandle(), &atBof));
  CursorPosChanged();
  if (atBof != 0)
    First();
  else if (atEof != 0)
    Last();
  else
    Resync(TResyncMode());
}

uint32_t TAdsExtendedDataSet::IndexHandleOfTag(const QString& strTag) {
  Ansi tag(strTag, kNameMax);
  ADSHANDLE index = 0;
  CheckExtendedResult(::AdsGetIndexHandle(GetAceTableHandle(), tag.get(), &index));
  return index;
}

uint32_t TAdsExtendedDataSet::IndexOrTableHandle() const {
  const uint32_t index = GetAceIndexHandle();
  return index == kNoHandle ? GetAceTableHandle() : index;
}

void TAdsExtendedDataSet::AdsCacheRecords(int64_t usNumRecords) {
  const uint16_t count = static_cast<uint16_t>(NonNegative(usNumRecords, "usNumRecords", 0xFFFF));
  RunMember(0, [&] { return ::AdsCacheRecords(GetAceTableHandle(), count); });
}

bool TAdsExtendedDataSet::AdsCheckExistence(const QString& strFilename) {
  Ansi file(strFilename, kFileNameMax);
  UNSIGNED16 onDisk = 0;
  CheckExtendedResult(::AdsCheckExistence(0, file.get(), &onDisk));
  return onDisk != 0;
}

bool TAdsExtendedDataSet::AdsIsServerLoaded(const QString& strServer) {
  Ansi server(strServer, kFileNameMax);
  UNSIGNED16 loaded = 0;
  // The answer is the flag; the engine's result code says nothing more here.
  (void)::AdsIsServerLoaded(server.get(), &loaded);
  return loaded != 0;
}

QString TAdsExtendedDataSet::AdsGetVersion(uint32_t& ulMajor, uint32_t& ulMinor, char& ucLetter) {
  UNSIGNED32 major = 0;
  UNSIGNED32 minor = 0;
  UNSIGNED8 letter = 0;
  UNSIGNED8 text[kVersionBuffer + 1] = {};
  UNSIGNED16 length = kVersionBuffer;
  CheckExtendedResult(::AdsGetVersion(&major, &minor, &letter, text, &length));
  ulMajor = major;
  ulMinor = minor;
  ucLetter = static_cast<char>(letter);
  return FromBuffer(text, length);
}

void TAdsExtendedDataSet::AdsConvertTable(const QString& strFileName, TAdsTableTypes eTableType) {
  Ansi file(strFileName, kFileNameMax);
  RunMember(kBrowse | kResync, [&] {
    return ::AdsConvertTable(IndexOrTableHandle(), adsfunc_map::CountingOption(AdsTableOptions()), file.get(),
                             adsfunc_map::TableType(eTableType));
  });
}

void TAdsExtendedDataSet::AdsCopyTable(const QString& strFileName) {
  Ansi file(strFileName, kFileNameMax);
  RunMember(kBrowse, [&] {
    return ::AdsCopyTable(IndexOrTableHandle(), adsfunc_map::CountingOption(AdsTableOptions()), file.get());
  });
}

void TAdsExtendedDataSet::AdsCopyTableContents(TAdsDataSet* poDestinationTable) {
  RunMember(kBrowse, [&] {
    return ::AdsCopyTableContents(IndexOrTableHandle(), poDestinationTable->GetAceTableHandle(),
                                  adsfunc_map::CountingOption(AdsTableOptions()));
  });
}

void TAdsExtendedDataSet::AdsCopyTableStructure(const QString& strFileName) {
  Ansi file(strFileName, kFileNameMax);
  RunMember(0, [&] { return ::AdsCopyTableStructure(GetAceTableHandle(), file.get()); });
}

uint32_t TAdsExtendedDataSet::AdsCreateIndex(const QString& strFileName, const QString& strTagName,
                                             const QString& strExpression, const QString& strCondition,
                                             const QString& strWhile, TAdsIndexOptions setIndexOptions) {
  Ansi file(strFileName, kFileNameMax);
  Ansi tag(strTagName, kNameMax);
  Ansi expression(strExpression, kExpressionMax);
  Ansi condition(strCondition, kExpressionMax);
  Ansi whileClause(strWhile, kExpressionMax);
  Ansi collation(GetEffectiveCollation(), -1);
  ADSHANDLE index = 0;
  RunMember(kPropertyChange, [&] {
    return ::AdsCreateIndex90(GetAceTableHandle(), file.orNull(), tag.orNull(), expression.get(), condition.orNull(),
                              whileClause.orNull(), adsfunc_map::IndexOptions(setIndexOptions),
                              AdsTableOptions().AdsIndexPageSize(), collation.orNull(), &index);
  });
  return index;
}

uint32_t TAdsExtendedDataSet::AdsGetKeyCount() {
  UNSIGNED32 count = 0;
  RunMember(0, [&] {
    return ::AdsGetKeyCount(GetAceIndexHandle(), adsfunc_map::CountingOption(AdsTableOptions()), &count);
  });
  return count;
}

uint32_t TAdsExtendedDataSet::AdsGetKeyNum() {
  UNSIGNED32 key = 0;
  RunMember(kActive, [&] {
    return ::AdsGetKeyNum(GetAceIndexHandle(), adsfunc_map::CountingOption(AdsTableOptions()), &key);
  });
  return key;
}

double TAdsExtendedDataSet::AdsGetRelKeyPos() {
  DOUBLE pos = 0;
  RunMember(kActive, [&] { return ::AdsGetRelKeyPos(GetAceIndexHandle(), &pos); });
  return pos;
}

void TAdsExtendedDataSet::AdsSetRelKeyPos(double dPos) {
  RunMember(kBrowse | kResync, [&] { return ::AdsSetRelKeyPos(GetAceIndexHandle(), dPos); });
}

bool TAdsExtendedDataSet::AdsInTransaction() {
  RequireActive();
  ADSHANDLE connection = 0;
  CheckExtendedResult(::AdsGetTableConnection(GetAceTableHandle(), &connection));
  UNSIGNED16 inTransaction = 0;
  CheckExtendedResult(::AdsInTransaction(connection, &inTransaction));
  return inTransaction != 0;
}

bool TAdsExtendedDataSet::AdsIsRecordDeleted(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  Prepare(kActive);
  if (record != 0) CheckExtendedResult(::AdsGotoRecord(GetAceTableHandle(), record));
  UNSIGNED16 deleted = 0;
  CheckExtendedResult(::AdsIsRecordDeleted(GetAceTableHandle(), &deleted));
  return deleted != 0;
}

bool TAdsExtendedDataSet::AdsIsRecordEncrypted(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  Prepare(kActive);
  if (record != 0 && State() != dsCalcFields) CheckExtendedResult(::AdsGotoRecord(GetAceTableHandle(), record));
  UNSIGNED16 encrypted = 0;
  CheckExtendedResult(::AdsIsRecordEncrypted(GetAceTableHandle(), &encrypted));
  return encrypted != 0;
}

bool TAdsExtendedDataSet::AdsIsTableEncrypted() {
  UNSIGNED16 value = 0;
  RunMember(0, [&] { return ::AdsIsTableEncrypted(GetAceTableHandle(), &value); });
  return value != 0;
}

bool TAdsExtendedDataSet::AdsIsEncryptionEnabled() {
  UNSIGNED16 value = 0;
  RunMember(0, [&] { return ::AdsIsEncryptionEnabled(GetAceTableHandle(), &value); });
  return value != 0;
}

void TAdsExtendedDataSet::AdsEnableEncryption(const QString& strPassword) {
  Ansi password(strPassword, -1);
  RunMember(kResync, [&] { return ::AdsEnableEncryption(GetAceTableHandle(), password.get()); });
}

void TAdsExtendedDataSet::AdsDisableEncryption() {
  RunMember(kResync, [&] { return ::AdsDisableEncryption(GetAceTableHandle()); });
}

void TAdsExtendedDataSet::AdsEncryptRecord() {
  RunMember(kBrowse | kActive, [&] { return ::AdsEncryptRecord(GetAceTableHandle()); });
}

void TAdsExtendedDataSet::AdsDecryptRecord() {
  RunMember(kBrowse | kActive, [&] { return ::AdsDecryptRecord(GetAceTableHandle()); });
}

void TAdsExtendedDataSet::AdsRecallRecord() {
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsRecallRecord(GetAceTableHandle()); });
}

void TAdsExtendedDataSet::AdsRefreshAOF() {
  RunMember(kResync, [&] { return ::AdsRefreshAOF(GetAceTableHandle()); });
}

TAdsAOFOptimizeLevel TAdsExtendedDataSet::AdsGetAOFOptLevel(QString& strNonOptimized) {
  RequireActive();
  strNonOptimized.clear();
  UNSIGNED16 level = 0;
  UNSIGNED16 length = 0;
  UNSIGNED32 rc = ::AdsGetAOFOptLevel(GetAceTableHandle(), &level, nullptr, &length);
  if (rc == kNoFilter) return olNONE;
  if (rc == kBufferTooSmall) {
    std::vector<char16_t> text(static_cast<size_t>(length) + 1, u'\0');
    rc = ::AdsGetAOFOptLevel(GetAceTableHandle(), &level, reinterpret_cast<WCHAR*>(text.data()), &length);
    CheckExtendedResult(rc);
    strNonOptimized = QString::fromUtf16(text.data(), length);
    return adsfunc_map::OptimizeLevel(level);
  }
  CheckExtendedResult(rc);
  return adsfunc_map::OptimizeLevel(level);
}

void TAdsExtendedDataSet::AdsFlushFileBuffers() {
  RunMember(kBrowse, [&] { return ::AdsFlushFileBuffers(GetAceTableHandle()); });
}

void TAdsExtendedDataSet::AdsThreadExit() { CheckExtendedResult(::AdsThreadExit()); }
void TAdsExtendedDataSet::AdsClearProgressCallback() { CheckExtendedResult(::AdsClearProgressCallback()); }
void TAdsExtendedDataSet::AdsClearSQLAbortFunc() { CheckExtendedResult(::AdsClearSQLAbortFunc()); }
void TAdsExtendedDataSet::AdsClearCallbackFunction() { CheckExtendedResult(::AdsClearCallbackFunction()); }

void TAdsExtendedDataSet::AdsRegisterProgressCallBack(ADS_PROGRESS_CALLBACK Value) {
  CheckExtendedResult(::AdsRegisterProgressCallback(Value));
}

void TAdsExtendedDataSet::AdsRegisterSQLAbortFunc(ADS_SQL_ABORT_FUNC Value) {
  CheckExtendedResult(::AdsRegisterSQLAbortFunc(Value));
}

void TAdsExtendedDataSet::AdsRegisterCallbackFunction(ADS_CALLBACK_FUNCTION Value, uint32_t ulCallbackID) {
  CheckExtendedResult(::AdsRegisterCallbackFunction(Value, ulCallbackID));
}

void TAdsExtendedDataSet::AdsRegisterCallbackFunction101(ADS_CALLBACK_FUNCTION101 Value, int64_t qCallbackID) {
  CheckExtendedResult(::AdsRegisterCallbackFunction101(Value, qCallbackID));
}
