// Entry points that seek along an index order, limit it with scopes, tell key positions, and
// read and change the keys of records.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/expr/date_text.h"
#include "engine/index/api/index_order.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::index_api {
namespace {

// Key data types of the seek and scope calls.
constexpr uint16_t kRawKey = 1;
constexpr uint16_t kStringKey = 2;
constexpr uint16_t kDoubleKey = 4;
constexpr uint16_t kWideStringKey = 8;
// A length argument that means "up to the terminating NUL".
constexpr uint16_t kLengthToNul = 0xFFFF;

// Counting options of the key calls.
constexpr uint16_t kRespectFilters = 1;
constexpr uint16_t kIgnoreFilters = 2;

std::string TextKey(const uint8_t* key, uint16_t len) {
  const char* p = reinterpret_cast<const char*>(key);
  if (len == kLengthToNul) return std::string(p);
  return std::string(p, ::strnlen(p, len));
}

// The stored-form key (possibly partial) a caller's key means on this tag.
std::vector<uint8_t> CallerKey(const index::TagInfo& info, const uint8_t* key, uint16_t len, uint16_t type) {
  core::Require(key, "pucKey");
  const index::KeyLayout& layout = info.layout;
  if (type == kRawKey) {
    if (len == kLengthToNul || len > layout.keyLength()) len = static_cast<uint16_t>(layout.keyLength());
    return std::vector<uint8_t>(key, key + len);
  }
  index::KeyBuilder b(layout);
  const index::Segment& first = layout.segments().front();
  std::string text;
  std::u16string wide;
  double number = 0;
  if (type == kStringKey) {
    text = TextKey(key, len);
  } else if (type == kWideStringKey) {
    const char16_t* w = reinterpret_cast<const char16_t*>(key);
    size_t n = 0;
    if (len == kLengthToNul) {
      while (w[n] != 0) ++n;
    } else {
      n = len / 2;
      for (size_t i = 0; i < n; ++i) {
        if (w[i] == 0) {
          n = i;
          break;
        }
      }
    }
    wide.assign(w, n);
    text = core::Utf16ToAnsi(wide);
  } else if (type == kDoubleKey) {
    if (len < sizeof(double) && len != kLengthToNul) Fail(err::kInvalidArgument, "A double key needs 8 bytes.");
    std::memcpy(&number, key, sizeof number);
  } else {
    Fail(err::kInvalidArgument, "Key data type " + std::to_string(type) + " is unknown (1 raw, 2 text, 4 double, 8 UTF-16 text).");
  }
  switch (first.kind) {
    case index::SegmentKind::kString:
      if (type == kDoubleKey) Fail(err::kInvalidArgument, "A number cannot seek on a text index.");
      b.SetStringPrefix(0, text.data(), text.size());
      break;
    case index::SegmentKind::kWideString:
      if (type == kDoubleKey) Fail(err::kInvalidArgument, "A number cannot seek on a text index.");
      if (type == kStringKey) wide = core::AnsiToUtf16(text);
      b.SetWideStringPrefix(0, wide.data(), wide.size());
      break;
    case index::SegmentKind::kNumeric:
    case index::SegmentKind::kInteger:
    case index::SegmentKind::kInteger64: {
      if (type != kDoubleKey) {
        char* end = nullptr;
        number = std::strtod(text.c_str(), &end);
        if (end == text.c_str()) Fail(err::kInvalidArgument, "The key \"" + text + "\" is not a number.");
      }
      if (first.kind == index::SegmentKind::kNumeric) b.SetNumeric(0, number);
      else b.SetInteger(0, static_cast<int64_t>(std::llround(number)));
      b.UseSegments(1);
      break;
    }
    case index::SegmentKind::kDate:
    case index::SegmentKind::kTimestamp: {
      int64_t day = 0;
      if (type == kDoubleKey) {
        day = static_cast<int64_t>(number);
      } else if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string::npos) {
        day = expr::JulianFromYmd(std::atoi(text.substr(0, 4).c_str()), std::atoi(text.substr(4, 2).c_str()),
                            std::atoi(text.substr(6, 2).c_str()));
      } else {
        Fail(err::kInvalidArgument, "A date key is given as YYYYMMDD text or as a julian day number.");
      }
      if (first.kind == index::SegmentKind::kDate) b.SetDate(0, static_cast<int32_t>(day));
      else b.SetTimestamp(0, static_cast<int32_t>(day), 0);
      b.UseSegments(1);
      break;
    }
    case index::SegmentKind::kLogical: {
      bool v = !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y' ||
                                 text == ".T." || text == ".t.");
      if (type == kDoubleKey) v = number != 0;
      b.SetLogical(0, v);
      b.UseSegments(1);
      break;
    }
    case index::SegmentKind::kRaw:
      b.SetRaw(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
      b.UseSegments(1);
      break;
  }
  std::span<const uint8_t> k = b.Key();
  return std::vector<uint8_t>(k.begin(), k.end());
}

bool StartsWith(std::span<const uint8_t> key, const std::vector<uint8_t>& prefix) {
  // An empty prefix (no key bytes, a pointer that may be null) begins every key.
  return key.size() >= prefix.size() && (prefix.empty() || std::memcmp(key.data(), prefix.data(), prefix.size()) == 0);
}

// The current record's key on the order; false when the cursor stands on no record or the record
// is not in the tag.
bool CurrentKey(IndexOrder::Bound& b, std::vector<uint8_t>& key, uint32_t& recno) {
  recno = b.cursor->recordNumber();
  if (recno == 0) return false;
  bool included = false;
  std::span<const uint8_t> k = b.indexes->KeyOfRecord(*b.tag, recno, &included);
  key.assign(k.begin(), k.end());
  return included;
}

// After the tag cursor found a record, the table cursor shows the first record from there that
// it shows at all; the answer is whether that record's key still starts with the sought key.
bool Land(IndexOrder& order, IndexOrder::Bound& b, index::TagCursor& tc, const std::vector<uint8_t>& sought, bool hard) {
  order.MoveCursorTo(b, tc);
  uint32_t r = b.cursor->recordNumber();
  if (r == 0) return false;
  bool found = r == tc.recno() ? StartsWith(tc.key(), sought) : StartsWith(b.indexes->KeyOfRecord(*b.tag, r), sought);
  if (!found && hard) b.cursor->GotoEOF();
  return found;
}

index::ScopeBound BoundOf(uint16_t option) {
  if (option == 1) return index::ScopeBound::kTop;
  if (option == 2) return index::ScopeBound::kBottom;
  Fail(err::kInvalidArgument, "Scope option " + std::to_string(option) + " is unknown (1 top, 2 bottom).");
}


}  // namespace
}  // namespace engine::index_api

namespace engine::api {

using index_api::IndexOrder;
using index_api::OrderOf;

UNSIGNED32 AdsSeek(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType, UNSIGNED16 usSeekType,
                   UNSIGNED16* pbFound) {
  core::Require(pbFound, "pbFound");
  if (usSeekType != 1 && usSeekType != 2) {
    Fail(err::kInvalidArgument, "Seek type " + std::to_string(usSeekType) + " is unknown (1 soft, 2 hard).");
  }
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  b.cursor->FlushPending();
  std::vector<uint8_t> key;
  index::TagCursor tc = [&] {
    index::TableIndexes::Reading reading(*b.indexes);
    key = index_api::CallerKey(b.info(), pucKey, usKeyLen, usDataType);
    index::TagCursor c = order->Cursor(b);
    c.Seek(key, index::SeekType::kSoft);
    return c;
  }();
  *pbFound = index_api::Land(*order, b, tc, key, usSeekType == 2) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsSeekLast(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
  core::Require(pbFound, "pbFound");
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  b.cursor->FlushPending();
  std::vector<uint8_t> key;
  bool found;
  uint32_t recno = 0;
  {
    index::TableIndexes::Reading reading(*b.indexes);
    key = index_api::CallerKey(b.info(), pucKey, usKeyLen, usDataType);
    index::TagCursor tc = order->Cursor(b);
    found = tc.SeekLast(key);
    if (found) recno = tc.recno();
  }
  if (!found) {
    b.cursor->GotoEOF();
    *pbFound = 0;
    return 0;
  }
  b.cursor->GotoRecord(recno);
  if (!b.cursor->IsVisible()) {
    b.cursor->Skip(-1, order.get());
    uint32_t r = b.cursor->recordNumber();
    found = r != 0 && index_api::StartsWith(b.indexes->KeyOfRecord(*b.tag, r), key);
    if (!found) b.cursor->GotoEOF();
  }
  *pbFound = found ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsLookupKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
  core::Require(pbFound, "pbFound");
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  index::TableIndexes::Reading reading(*b.indexes);
  std::vector<uint8_t> key = index_api::CallerKey(b.info(), pucKey, usKeyLen, usDataType);
  index::TagCursor tc = order->Cursor(b);
  *pbFound = tc.Seek(key, index::SeekType::kHard) ? 1 : 0;  // the position of the table is left alone
  return 0;
}

UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope, UNSIGNED16 usScopeLen,
                       UNSIGNED16 usDataType) {
  index::ScopeBound bound = index_api::BoundOf(usScopeOption);
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  order->SetScope(bound, index_api::CallerKey(b.info(), pucScope, usScopeLen, usDataType));
  return 0;
}

UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope, UNSIGNED16* pusBufLen) {
  index::ScopeBound bound = index_api::BoundOf(usScopeOption);
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  order->Resolve();
  const std::optional<std::vector<uint8_t>>& scope = order->Scope(bound);
  if (!scope) Fail(err::kNoScope, "The index order has no " + std::string(bound == index::ScopeBound::kTop ? "top" : "bottom") + " scope.");
  return core::BytesOut(scope->data(), scope->size(), pucScope, pusBufLen);
}

UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption) {
  index::ScopeBound bound = index_api::BoundOf(usScopeOption);
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  order->Resolve();
  if (!order->Scope(bound)) Fail(err::kNoScope, "The index order has no scope to clear.");
  order->ClearScope(bound);
  return 0;
}

UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable) {
  table::TableOf(hTable);
  for (uint32_t h : core::Handles::OwnedBy(hTable, core::Kind::kIndexOrder)) {
    auto order = std::dynamic_pointer_cast<IndexOrder>(core::Handles::Get<table::OrderHandle>(h, core::Kind::kIndexOrder));
    if (!order) continue;
    order->ClearScope(index::ScopeBound::kTop);
    order->ClearScope(index::ScopeBound::kBottom);
  }
  return 0;
}

UNSIGNED32 AdsGetKeyCount(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount) {
  core::Require(pulCount, "pulCount");
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  if (usFilterOption == index_api::kRespectFilters) {
    *pulCount = b.cursor->CountRecords(3, order.get());
    return 0;
  }
  index::TableIndexes::Reading reading(*b.indexes);
  if (usFilterOption == index_api::kIgnoreFilters) {
    *pulCount = static_cast<UNSIGNED32>(b.file().KeyCount(b.tag->tagInFile));
  } else {
    *pulCount = static_cast<UNSIGNED32>(order->Cursor(b).KeyCount());
  }
  return 0;
}

UNSIGNED32 AdsGetKeyNum(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey) {
  core::Require(pulKey, "pulKey");
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  b.cursor->FlushPending();
  std::vector<uint8_t> key;
  uint32_t recno;
  if (!index_api::CurrentKey(b, key, recno)) {
    *pulKey = 0;
    return 0;
  }
  if (usFilterOption == index_api::kRespectFilters) {
    // Visible records up to the current one along the order.
    uint32_t n = 0;
    uint32_t at = recno;
    while (at != 0) {
      b.cursor->GotoRecord(at);
      if (b.cursor->IsVisible()) ++n;
      at = order->Prior(at);
    }
    b.cursor->GotoRecord(recno);
    *pulKey = n;
    return 0;
  }
  index::TableIndexes::Reading reading(*b.indexes);
  index::TagCursor tc = usFilterOption == index_api::kIgnoreFilters ? index::TagCursor(b.file(), b.tag->tagInFile) : order->Cursor(b);
  tc.StandOn(key, recno);
  *pulKey = static_cast<UNSIGNED32>(tc.KeyNumber());
  return 0;
}

UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos) {
  core::Require(pdPos, "pdPos");
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  b.cursor->FlushPending();
  if (b.cursor->atEOF()) {
    *pdPos = 1.0;
    return 0;
  }
  if (b.cursor->atBOF() || b.cursor->recordNumber() == 0) {
    *pdPos = 0.0;
    return 0;
  }
  std::vector<uint8_t> key;
  uint32_t recno;
  index_api::CurrentKey(b, key, recno);
  index::TableIndexes::Reading reading(*b.indexes);
  index::TagCursor tc = order->Cursor(b);
  tc.StandOn(key, recno);
  *pdPos = tc.RelativePosition();
  return 0;
}

UNSIGNED32 AdsSetRelKeyPos(ADSHANDLE hIndex, DOUBLE dPos) {
  std::shared_ptr<IndexOrder> order = OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  b.cursor->FlushPending();
  index::TagCursor tc = [&] {
    index::TableIndexes::Reading reading(*b.indexes);
    index::TagCursor c = order->Cursor(b);
    c.SetRelativePosition(dPos);
    return c;
  }();
  order->MoveCursorTo(b, tc);
  // A position near the end whose records the cursor hides stands on the last one it shows.
  if (tc.onEntry() && b.cursor->atEOF()) b.cursor->Skip(-1, order.get());
  return 0;
}

UNSIGNED32 AdsExtractKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusLen) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  if (b.cursor->recordNumber() == 0) Fail(err::kNoCurrentRecord, "There is no current record to take a key from.");
  std::span<const uint8_t> k = b.indexes->KeyOf(*b.tag, b.cursor->Current(), b.cursor->recordNumber());
  return core::BytesOut(k.data(), k.size(), pucKey, pusLen);
}

UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, UNSIGNED8* pucRecBuffer, UNSIGNED32 ulRecordLen, UNSIGNED8* pucKey,
                                 UNSIGNED16* pusKeyLen) {
  core::Require(pucRecBuffer, "pucRecBuffer");
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  if (ulRecordLen < b.cursor->schema().recordLength()) {
    Fail(err::kInvalidArgument, "The record buffer holds " + std::to_string(ulRecordLen) + " bytes; a record has " +
                                    std::to_string(b.cursor->schema().recordLength()) + ".");
  }
  std::span<const uint8_t> k = b.indexes->KeyOf(*b.tag, pucRecBuffer, b.cursor->recordNumber());
  return core::BytesOut(k.data(), k.size(), pucKey, pusKeyLen);
}

namespace {
UNSIGNED32 ChangeCustomKey(ADSHANDLE hIndex, bool add) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  if (!(b.info().def.options & index::kTagCustom)) {
    Fail(err::kNotCustomIndex, "The index order \"" + b.info().def.name + "\" is not a custom index.");
  }
  b.cursor->FlushPending();
  uint32_t recno = b.cursor->recordNumber();
  if (recno == 0) Fail(err::kNoCurrentRecord, "There is no current record whose key to change.");
  table::Table::WriterLock lock(b.cursor->table());
  std::span<const uint8_t> k = b.indexes->KeyOfRecord(*b.tag, recno);
  std::vector<uint8_t> key(k.begin(), k.end());
  index::IndexFile& file = b.file();
  if (!b.cursor->table().exclusive()) file.Revalidate();
  try {
    if (add) file.AddKey(b.tag->tagInFile, key, recno);
    else file.RemoveKey(b.tag->tagInFile, key, recno);
    // A key added by hand cannot be rebuilt from the records: it is durable when the call returns.
    file.Commit();
  } catch (...) {
    file.Discard();
    throw;
  }
  return 0;
}
}  // namespace

UNSIGNED32 AdsAddCustomKey(ADSHANDLE hIndex) { return ChangeCustomKey(hIndex, true); }

UNSIGNED32 AdsDeleteCustomKey(ADSHANDLE hIndex) { return ChangeCustomKey(hIndex, false); }

}  // namespace engine::api
