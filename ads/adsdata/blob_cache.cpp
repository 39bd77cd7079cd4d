// TAdsBlobCache: one blob of one record held in memory. The cache remembers which table handle,
// record and field it was filled from, so that a second stream on the same blob only rewinds;
// a record not yet stored (record 0) has an empty blob without asking the engine. The content
// is written back by Flush while the record is being posted.
#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

using adsdata::FieldArg;

namespace {
constexpr uint32_t kNoTable = 0xFFFFFFFFu;
// The engine's memo data type of a text memo; other values of a memo field mean binary content.
constexpr UNSIGNED16 kTextMemoType = 5;
constexpr uint16_t kNationalMemo = 28;
}  // namespace

TAdsBlobCache::TAdsBlobCache() : mhAdsTable(kNoTable), mulRecNum(0), mulFieldNo(0), mbBlobModified(false) {}

int64_t TAdsBlobCache::Read(void* Buffer, int64_t Count) { return TMemoryStream::Read(Buffer, Count); }

int64_t TAdsBlobCache::Write(const void* Buffer, int64_t Count) {
  const int64_t written = TMemoryStream::Write(Buffer, Count);
  mbBlobModified = true;
  return written;
}

void TAdsBlobCache::SetSize(int64_t size) {
  TMemoryStream::SetSize(size);
  mbBlobModified = true;
}

void TAdsBlobCache::Truncate() {
  TMemoryStream::Clear();
  mbBlobModified = true;
}

void TAdsBlobCache::ClearCache() {
  TMemoryStream::Clear();
  mhAdsTable = kNoTable;
  mulFieldNo = 0;
  mulRecNum = 0;
  mbBlobModified = false;
}

void TAdsBlobCache::RefreshCache(uint32_t hAdsTable, uint32_t ulFieldNo, uint32_t ulRecNo, bool bForceReread) {
  if (!bForceReread && hAdsTable == mhAdsTable && ulRecNo == mulRecNum && ulFieldNo == mulFieldNo) {
    Seek(0, soBeginning);
    return;
  }
  TMemoryStream::Clear();
  mhAdsTable = hAdsTable;
  mulRecNum = ulRecNo;
  mulFieldNo = ulFieldNo;
  mbBlobModified = false;
  if (ulRecNo == 0) return;

  const uint16_t field = static_cast<uint16_t>(ulFieldNo);
  try {
    UNSIGNED32 current = 0;
    CheckAceResult(nullptr, AdsGetRecordNum(hAdsTable, ADS_IGNOREFILTERS, &current));
    // The engine is left on the record: the dataset repositions before its next buffer work.
    if (current != ulRecNo) CheckAceResult(nullptr, AdsGotoRecord(hAdsTable, ulRecNo));

    UNSIGNED16 type = 0;
    CheckAceResult(nullptr, AdsGetFieldType(hAdsTable, FieldArg(field), &type));
    bool binary = type == ADS_BINARY || type == ADS_IMAGE;
    if (type == ADS_MEMO) {
      UNSIGNED16 memoType = 0;
      CheckAceResult(nullptr, AdsGetMemoDataType(hAdsTable, FieldArg(field), &memoType));
      binary = memoType != kTextMemoType;
    }

    UNSIGNED32 length = 0;
    const UNSIGNED32 rc = binary ? AdsGetBinaryLength(hAdsTable, FieldArg(field), &length)
                                 : AdsGetDataLength(hAdsTable, FieldArg(field), 0, &length);
    if (rc == adsdata::kAeVisibilityFlag) {
      // No data: an empty blob, read again next time.
      mulRecNum = 0;
      return;
    }
    CheckAceResult(nullptr, rc);
    if (!binary) length += 1;  // room for the terminating NUL the engine writes
    if (type == kNationalMemo) length *= 2;
    TMemoryStream::SetSize(length);
    UNSIGNED32 got = length;
    if (binary) {
      CheckAceResult(nullptr, AdsGetBinary(hAdsTable, FieldArg(field), 0, reinterpret_cast<UNSIGNED8*>(Memory()), &got));
    } else if (type == kNationalMemo) {
      got = length / 2;
      CheckAceResult(nullptr, AdsGetFieldW(hAdsTable, FieldArg(field), reinterpret_cast<WCHAR*>(Memory()), &got, 0));
      got *= 2;
    } else {
      CheckAceResult(nullptr, AdsGetField(hAdsTable, FieldArg(field), reinterpret_cast<UNSIGNED8*>(Memory()), &got, 0));
    }
    if (got != length) TMemoryStream::SetSize(got);
    Seek(0, soBeginning);
  } catch (const EADSDatabaseError& e) {
    mulRecNum = 0;
    TMemoryStream::Clear();
    // A record that is gone or has no blob reads as an empty blob.
    if (e.ACEErrorCode() == adsdata::kAeVisibilityFlag || e.ACEErrorCode() == adsdata::kAeNoCurrentRecord) return;
    throw;
  }
}

void TAdsBlobCache::Flush() {
  if (!mbBlobModified) return;
  const uint16_t field = static_cast<uint16_t>(mulFieldNo);
  UNSIGNED16 type = 0;
  CheckAceResult(nullptr, AdsGetFieldType(mhAdsTable, FieldArg(field), &type));
  const int64_t size = Size();
  if (type == kNationalMemo) {
    CheckAceResult(nullptr, AdsSetFieldW(mhAdsTable, FieldArg(field), reinterpret_cast<WCHAR*>(Memory()),
                                         static_cast<UNSIGNED32>(size / 2)));
  } else {
    CheckAceResult(nullptr, AdsSetField(mhAdsTable, FieldArg(field), reinterpret_cast<UNSIGNED8*>(Memory()),
                                        static_cast<UNSIGNED32>(size)));
  }
  mbBlobModified = false;
}
