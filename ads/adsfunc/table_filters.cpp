// Members of the extended table about record filters and AOFs, table creation, the engine's
// error texts and table encryption.
#include <vector>

#include "ads/ace.h"
#include "ads/ads_errors.h"
#include "ads/adscnnct.h"
#include "ads/adsfunc.h"
#include "ads/adsfunc/adsfunc_internal.h"
#include "runtime/text.h"

using namespace adsfunc_detail;

namespace {
constexpr uint32_t kNoFilter = 5037;
constexpr uint32_t kBufferTooSmall = 5005;
constexpr UNSIGNED32 kWideFilterOption = 8192;
}  // namespace

void TAdsExtendedTable::AdsClearFilter() {
  RunMember(kResync, [&] { return ::AdsClearFilter(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsClearAOF() {
  RunMember(kResync, [&] { return ::AdsClearAOF(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsSetFilter(const QString& strFilter) {
  Prepare(kBrowse);
  if (Filtered()) SetFiltered(false);
  const QString text = strFilter;
  CheckExtendedResult(::AdsSetFilter100(GetAceTableHandle(), const_cast<ushort*>(text.utf16()), kWideFilterOption));
  Finish(kResync);
}

QString TAdsExtendedTable::AdsGetFilter() {
  RequireActive();
  UNSIGNED16 length = 0;
  UNSIGNED32 rc = ::AdsGetFilter(GetAceTableHandle(), nullptr, &length);
  if (rc == kNoFilter) return QString();
  if (rc == kBufferTooSmall) {
    std::vector<UNSIGNED8> text(static_cast<size_t>(length) + 1, 0);
    CheckExtendedResult(::AdsGetFilter(GetAceTableHandle(), text.data(), &length));
    return FromBuffer(text.data(), length);
  }
  CheckExtendedResult(rc);
  return QString();
}

void TAdsExtendedTable::AdsSetAOF(const QString& strFilter) {
  Prepare(kBrowse);
  if (Filtered()) SetFiltered(false);
  const QString text = strFilter;
  CheckExtendedResult(::AdsSetAOF100(GetAceTableHandle(), const_cast<ushort*>(text.utf16()),
                                     adsfunc_map::AofOptions(AdsTableOptions())));
  Finish(kResync);
}

QString TAdsExtendedTable::AdsGetAOF() {
  RequireActive();
  UNSIGNED32 length = 0;
  UNSIGNED32 rc = ::AdsGetAOF100(GetAceTableHandle(), kWideFilterOption, nullptr, &length);
  if (rc == kNoFilter) return QString();
  if (rc == kBufferTooSmall) {
    std::vector<char16_t> text(static_cast<size_t>(length) + 1, u'\0');
    CheckExtendedResult(::AdsGetAOF100(GetAceTableHandle(), kWideFilterOption, text.data(), &length));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(length));
  }
  CheckExtendedResult(rc);
  return QString();
}

TAdsAOFOptimizeLevel TAdsExtendedTable::AdsEvalAOF(const QString& strFilter) {
  Ansi filter(strFilter, -1);
  UNSIGNED16 level = 0;
  RunMember(0, [&] { return ::AdsEvalAOF(GetAceTableHandle(), filter.get(), &level); });
  return adsfunc_map::OptimizeLevel(level);
}

void TAdsExtendedTable::AdsCustomizeAOF(int64_t ulNumRecs, const uint32_t* pulRecords,
                                        TAdsAOFCustomizeOptions eOption) {
  const uint32_t count = NonNegative(ulNumRecs, "ulNumRecs");
  RunMember(kResync, [&] {
    return ::AdsCustomizeAOF(GetAceTableHandle(), count, const_cast<UNSIGNED32*>(pulRecords),
                             adsfunc_map::CustomizeOption(eOption));
  });
}

bool TAdsExtendedTable::AdsIsRecordInAOF(int64_t ulRecordNum) {
  const uint32_t record = NonNegative(ulRecordNum, "ulRecordNum");
  UNSIGNED16 inAof = 0;
  RunMember(0, [&] { return ::AdsIsRecordInAOF(GetAceTableHandle(), record, &inAof); });
  return inAof != 0;
}

void TAdsExtendedTable::AdsCreateTable(const QString& strName, TAdsTableTypes eTableType, TAdsCharTypes eCharType,
                                       uint16_t usMemoSize, const QString& strFields) {
  TAdsConnection* connection = AdsConnection();
  if (connection != nullptr && !connection->IsConnected()) connection->Connect();
  const uint32_t handle = connection != nullptr ? connection->ConnectionHandle() : 0;
  Ansi name(strName, kFileNameMax);
  Ansi fields(strFields, -1);
  Ansi collation(GetEffectiveCollation(), -1);
  ADSHANDLE table = 0;
  CheckAceResult(this, ::AdsCreateTable90(handle, name.get(), nullptr, adsfunc_map::TableType(eTableType),
                                          static_cast<UNSIGNED16>(static_cast<unsigned>(eCharType) + 1), 1, 1,
                                          usMemoSize, fields.get(), 0, collation.orNull(), &table));
  CheckExtendedResult(::AdsCloseTable(table));
}

void TAdsExtendedTable::AdsShowError(const QString& strCaption) {
  Ansi caption(strCaption, kCaptionMax);
  CheckExtendedResult(::AdsShowError(caption.get()));
}

QString TAdsExtendedTable::AdsGetErrorString(uint32_t ulErrorCode) {
  UNSIGNED8 text[kErrorTextBuffer + 1] = {};
  UNSIGNED16 length = kErrorTextBuffer;
  CheckExtendedResult(::AdsGetErrorString(ulErrorCode, text, &length));
  return FromBuffer(text, length);
}

uint32_t TAdsExtendedTable::AdsGetLastError(QString& strError) {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[kErrorTextBuffer + 1] = {};
  UNSIGNED16 length = kErrorTextBuffer;
  CheckExtendedResult(::AdsGetLastError(&code, text, &length));
  strError = FromBuffer(text, length);
  return code;
}

void TAdsExtendedTable::AdsEncryptTable() {
  RunMember(kResync, [&] { return ::AdsEncryptTable(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsDecryptTable() {
  RunMember(kResync, [&] { return ::AdsDecryptTable(GetAceTableHandle()); });
}
