// Members of the extended table: maintenance, record operations, navigation, search and locks.
#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "ads/adsfunc/adsfunc_internal.h"

using namespace adsfunc_detail;

namespace {
constexpr uint32_t kLockFailed = 5035;
constexpr uint32_t kRecordNotLocked = 5062;
constexpr uint32_t kTableNotLocked = 5087;
constexpr UNSIGNED16 kSeekKeyLength = 65535;
constexpr UNSIGNED16 kKeyAsWideText = 8;
constexpr UNSIGNED16 kKeyAsText = 2;
}  // namespace

void TAdsExtendedTable::AdsReindex() {
  RunMember(kBrowse | kResync,
            [&] { return ::AdsReindex61(GetAceTableHandle(), AdsTableOptions().AdsIndexPageSize()); });
}

void TAdsExtendedTable::AdsPackTable() {
  RunMember(kBrowse | kGotoTop, [&] { return ::AdsPackTable(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsZapTable() {
  RunMember(kBrowse | kGotoTop, [&] { return ::AdsZapTable(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsAppendRecord() {
  RunMember(kBrowse | kResync, [&] { return ::AdsAppendRecord(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsDeleteRecord() {
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsDeleteRecord(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsWriteRecord() {
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsWriteRecord(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsRefreshRecord() {
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsRefreshRecord(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsGotoTop() {
  RunMember(kBrowse | kResync, [&] { return ::AdsGotoTop(GetAceOrderHandle()); });
}

void TAdsExtendedTable::AdsGotoBottom() {
  RunMember(kBrowse | kResync, [&] { return ::AdsGotoBottom(GetAceOrderHandle()); });
}

void TAdsExtendedTable::AdsGotoRecord(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  RunMember(kBrowse | kResync, [&] { return ::AdsGotoRecord(GetAceTableHandle(), record); });
}

void TAdsExtendedTable::AdsGotoBookMark(uint32_t hBookmark) {
  RunMember(kBrowse | kResync, [&] { return ::AdsGotoBookmark(GetAceTableHandle(), hBookmark); });
}

void TAdsExtendedTable::AdsSkip(int32_t lNumRecs) {
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsSkip(GetAceOrderHandle(), lNumRecs); });
}

uint32_t TAdsExtendedTable::AdsGetBookMark() {
  ADSHANDLE bookmark = 0;
  RunMember(kActive, [&] { return ::AdsGetBookmark(GetAceTableHandle(), &bookmark); });
  return bookmark;
}

bool TAdsExtendedTable::AdsSeek(const QString& strKey, TAdsSeekTypes eSeekType) {
  const QString key = strKey.left(kKeyMax);
  UNSIGNED16 found = 0;
  RunMember(kBrowse | kResync, [&] {
    return ::AdsSeek(GetAceIndexHandle(), reinterpret_cast<UNSIGNED8*>(const_cast<ushort*>(key.utf16())),
                     kSeekKeyLength, kKeyAsWideText, adsfunc_map::SeekType(eSeekType), &found);
  });
  return found != 0;
}

bool TAdsExtendedTable::AdsSeekLast(const QString& strKey) {
  const QString key = strKey.left(kKeyMax);
  UNSIGNED16 found = 0;
  RunMember(kBrowse | kResync, [&] {
    return ::AdsSeekLast(GetAceIndexHandle(), reinterpret_cast<UNSIGNED8*>(const_cast<ushort*>(key.utf16())),
                         kSeekKeyLength, kKeyAsWideText, &found);
  });
  return found != 0;
}

bool TAdsExtendedTable::AdsLocate(const QString& strExpression, bool bForward) {
  Ansi expression(strExpression, -1);
  UNSIGNED16 found = 0;
  RunMember(kBrowse | kActive | kResync,
            [&] { return ::AdsLocate(GetAceTableHandle(), expression.get(), bForward ? 1 : 0, &found); });
  return found != 0;
}

bool TAdsExtendedTable::AdsContinue() {
  UNSIGNED16 found = 0;
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsContinue(GetAceTableHandle(), &found); });
  return found != 0;
}

bool TAdsExtendedTable::AdsLookupKey(const QString& strTag, const QString& strKey) {
  RequireActive();
  const uint32_t index = IndexHandleOfTag(strTag);
  Ansi key(strKey, kKeyMax);
  UNSIGNED16 found = 0;
  CheckExtendedResult(::AdsLookupKey(index, key.get(), static_cast<UNSIGNED16>(key.size()), kKeyAsText, &found));
  return found != 0;
}

bool TAdsExtendedTable::AdsLockRecord(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  Prepare(record == 0 ? (kBrowse | kActive) : kBrowse);
  const UNSIGNED32 rc = ::AdsLockRecord(GetAceTableHandle(), record);
  if (rc == kLockFailed) return false;
  CheckExtendedResult(rc);
  Finish(kResync);
  return true;
}

bool TAdsExtendedTable::AdsLockTable() {
  Prepare(kBrowse);
  const UNSIGNED32 rc = ::AdsLockTable(GetAceTableHandle());
  if (rc == kLockFailed) return false;
  CheckExtendedResult(rc);
  Finish(kResync);
  return true;
}

bool TAdsExtendedTable::AdsUnlockRecord(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  RequireActive();
  if (record == 0) AdsActiveRecord();
  CheckBrowseMode();
  const UNSIGNED32 rc = ::AdsUnlockRecord(GetAceTableHandle(), record);
  if (rc != kRecordNotLocked) CheckExtendedResult(rc);
  return true;
}

void TAdsExtendedTable::AdsUnlockTable() {
  Prepare(kBrowse);
  const UNSIGNED32 rc = ::AdsUnlockTable(GetAceTableHandle());
  if (rc != kTableNotLocked) CheckExtendedResult(rc);
}

bool TAdsExtendedTable::AdsIsRecordLocked(int64_t ulRecNum) {
  const uint32_t record = NonNegative(ulRecNum, "ulRecNum");
  UNSIGNED16 locked = 0;
  RunMember(record == 0 ? static_cast<unsigned>(kActive) : 0u, [&] { return ::AdsIsRecordLocked(GetAceTableHandle(), record, &locked); });
  return locked != 0;
}

bool TAdsExtendedTable::AdsIsTableLocked() {
  UNSIGNED16 locked = 0;
  RunMember(0, [&] { return ::AdsIsTableLocked(GetAceTableHandle(), &locked); });
  return locked != 0;
}
