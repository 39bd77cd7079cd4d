// Entry points that build raw keys of an index order from field values, and step a key to its
// neighbour.
//
// AdsInitRawKey starts a key on an index order handle: from then on the field setters called
// with that handle fill a scratch record (the table's empty record) instead of the current one
// and remember which fields were given and, for texts, how much of them. AdsBuildRawKey turns the
// scratch record into the stored form of a key and ends the building.
//
// Which leading part of the key the given fields decide is found by building the key twice, with
// every part the caller did not give (fields not set, the rest of a text given as a prefix)
// filled once with the lowest and once with the highest values: the key bytes and segment texts
// that agree in both are decided. The key keeps every leading segment that is decided whole; a
// text segment decided only in its first characters ends the key as a prefix in the tag's
// collation (so a named collation matches it the way a partial seek does); any other segment not
// decided whole ends the key before it.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/index/api/index_order.h"
#include "engine/index/collation.h"
#include "engine/index/key_builder.h"
#include "engine/table/record_writer.h"
#include "engine_api/entry_points.h"

namespace engine::index_api {
namespace {

using table::RawKeyScratch;

// AdsBuildRawKey100 options: 1 takes every given value whole (a text given shorter still counts
// as the whole value, padded), 4 and 0 end the key inside a text given as a prefix.
constexpr uint32_t kWholeValues = 1;

bool IsText(table::FieldType t) {
  return t == table::FieldType::kString || t == table::FieldType::kCIString || t == table::FieldType::kVarChar || t == table::FieldType::kNChar ||
         t == table::FieldType::kNVarChar;
}
bool IsWide(table::FieldType t) { return t == table::FieldType::kNChar || t == table::FieldType::kNVarChar; }

// Fills what the caller did not give of field i with the lowest (high = false) or highest values.
void Fill(const table::Schema& s, uint8_t* image, size_t i, uint32_t given, bool high) {
  const table::FieldDescriptor& d = s.fields()[i];
  if (given == RawKeyScratch::kFull) return;
  uint32_t keep = given == RawKeyScratch::kUnset ? 0 : given;
  if (IsText(d.type)) {
    if (IsWide(d.type)) {
      uint32_t capacity = d.dataSize / 2;
      if (keep > capacity) return;
      std::u16string text(capacity, high ? u'\xFFFF' : u'\x0001');
      for (uint32_t k = 0; k < keep; ++k) {
        text[k] = static_cast<char16_t>(image[d.offset + 2 * k] | (image[d.offset + 2 * k + 1] << 8));
      }
      table::WriteWideText(s, image, i, text, true);
    } else {
      uint32_t capacity = d.type == table::FieldType::kVarChar ? d.dataSize : d.size;
      if (keep > capacity) return;
      std::string text(capacity, high ? '\xFF' : '\x01');
      std::memcpy(text.data(), image + d.offset, keep);
      table::WriteText(s, image, i, text, true);
    }
    return;
  }
  if (given != RawKeyScratch::kUnset) return;
  switch (d.type) {
    case table::FieldType::kLogical:
      table::WriteLogical(s, image, i, high);
      break;
    case table::FieldType::kDate:
    case table::FieldType::kCompactDate:
      table::WriteJulian(s, image, i, high ? 5373484 : 1);  // 9999-12-31 and the first day
      break;
    case table::FieldType::kTime:
      table::WriteMilliseconds(s, image, i, high ? 86399999 : 0);
      break;
    case table::FieldType::kTimeStamp:
    case table::FieldType::kModTime:
      table::WriteTimeStamp(s, image, i, high ? 5373484 : 1, high ? 86399999 : 0);
      break;
    case table::FieldType::kInteger:
      table::WriteInteger(s, image, i, high ? 2147483647 : -2147483647);
      break;
    case table::FieldType::kAutoInc:
      // Counters are never negative (-1 marks an empty one).
      table::WriteInteger(s, image, i, high ? 2147483647 : 0);
      break;
    case table::FieldType::kShortInt:
      table::WriteInteger(s, image, i, high ? 32767 : -32767);
      break;
    case table::FieldType::kNumeric: {
      // The field's whole width of nines: no value the field can hold lies beyond either.
      std::string text(d.size, '9');
      if (!high) text[0] = '-';
      table::WriteRaw(s, image, i, reinterpret_cast<const uint8_t*>(text.data()), text.size());
      break;
    }
    case table::FieldType::kMoney: {
      // The smallest 64-bit value marks an empty field, so the lowest value is one above it.
      const int64_t extreme = high ? INT64_MAX : INT64_MIN + 1;
      uint8_t bytes[8];
      std::memcpy(bytes, &extreme, sizeof bytes);
      table::WriteRaw(s, image, i, bytes, sizeof bytes);
      break;
    }
    case table::FieldType::kDouble:
    case table::FieldType::kCurDouble:
      table::WriteNumber(s, image, i, high ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest());
      break;
    case table::FieldType::kRaw:
    case table::FieldType::kVarBinary: {
      std::vector<uint8_t> bytes(d.dataSize ? d.dataSize : d.size, high ? 0xFF : 0x00);
      table::WriteRaw(s, image, i, bytes.data(), std::min<size_t>(bytes.size(), d.size));
      break;
    }
    default:
      break;  // blobs and engine-kept counters are never part of what a caller gives
  }
}

std::vector<uint8_t> BuildRawKey(IndexOrder::Bound& b, const RawKeyScratch& scratch, uint32_t options) {
  const table::Schema& schema = b.cursor->schema();
  const index::TagInfo& info = b.info();
  const index::KeyLayout& layout = info.layout;
  std::vector<uint32_t> given = scratch.given;
  if (options & kWholeValues) {
    for (uint32_t& g : given) {
      if (g != RawKeyScratch::kUnset) g = RawKeyScratch::kFull;
    }
  }
  std::vector<uint8_t> low = scratch.image, high = scratch.image;
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    Fill(schema, low.data(), i, given[i], false);
    Fill(schema, high.data(), i, given[i], true);
  }
  // The keys in the tag's stored form, and the segment values in byte order to read texts back.
  std::span<const uint8_t> k = b.indexes->KeyOf(*b.tag, low.data(), 0);
  std::vector<uint8_t> storedLow(k.begin(), k.end());
  k = b.indexes->KeyOf(*b.tag, high.data(), 0);
  std::vector<uint8_t> storedHigh(k.begin(), k.end());
  std::vector<index::SegmentSpec> plainSegments;
  for (const index::Segment& s : layout.segments()) plainSegments.push_back({s.kind, s.width});
  index::KeyLayout plain = index::KeyLayout::Make(plainSegments, index::Collation::Find("ANSI"), false, 8192);
  index::KeyBuilder plainBuilder(plain);
  b.indexes->BuildInto(*b.tag, low.data(), plainBuilder);
  k = plainBuilder.Key();
  std::vector<uint8_t> plainLow(k.begin(), k.end());
  b.indexes->BuildInto(*b.tag, high.data(), plainBuilder);
  k = plainBuilder.Key();
  std::vector<uint8_t> plainHigh(k.begin(), k.end());

  std::vector<uint8_t> key;
  for (size_t n = 0; n < layout.segments().size(); ++n) {
    const index::Segment& seg = layout.segments()[n];
    const index::Segment& ps = plain.segments()[n];
    if (std::memcmp(storedLow.data() + seg.offset, storedHigh.data() + seg.offset, seg.length) == 0 &&
        std::memcmp(plainLow.data() + ps.offset, plainHigh.data() + ps.offset, ps.length) == 0) {
      key.insert(key.end(), storedLow.begin() + seg.offset, storedLow.begin() + seg.offset + seg.length);
      continue;
    }
    bool text = seg.kind == index::SegmentKind::kString || seg.kind == index::SegmentKind::kWideString;
    if (!text || plainLow[ps.offset] != plainHigh[ps.offset]) break;  // decided whole or not at all
    size_t same = 0;
    while (same + 1 < ps.length && plainLow[ps.offset + 1 + same] == plainHigh[ps.offset + 1 + same]) ++same;
    if (seg.kind == index::SegmentKind::kWideString) same -= same % 2;
    if (same == 0) break;  // nothing of the text is given: the key ends before the segment
    // A text given in part but followed by a later segment that is given (a port and a tonnage)
    // is the whole value, padded, as the record holds it: only the last given part is a prefix.
    for (size_t m = n + 1; m < layout.segments().size(); ++m) {
      const index::Segment& later = layout.segments()[m];
      if (std::memcmp(storedLow.data() + later.offset, storedHigh.data() + later.offset, later.length) == 0 &&
          !(options & kWholeValues)) {
        return BuildRawKey(b, scratch, options | kWholeValues);
      }
    }
    const uint8_t* payload = plainLow.data() + ps.offset + 1;
    index::KeyBuilder prefix(layout);
    if (seg.kind == index::SegmentKind::kString) {
      prefix.SetStringPrefix(n, reinterpret_cast<const char*>(payload), same);
    } else {
      std::u16string wide(same / 2, u' ');
      for (size_t c = 0; c < wide.size(); ++c) wide[c] = static_cast<char16_t>((payload[2 * c] << 8) | payload[2 * c + 1]);
      prefix.SetWideStringPrefix(n, wide.data(), wide.size());
    }
    std::span<const uint8_t> p = prefix.Key();
    if (p.size() > seg.offset) key.insert(key.end(), p.begin() + seg.offset, p.end());
    break;
  }
  return key;
}

}  // namespace

RawKeyScratch* IndexOrder::rawKey() { return rawKey_ ? &*rawKey_ : nullptr; }

void IndexOrder::InitRawKey(const Bound& b) {
  const table::Schema& s = b.cursor->schema();
  RawKeyScratch scratch;
  scratch.image.assign(s.recordLength(), 0);
  table::WriteEmptyRecord(s, scratch.image.data());
  scratch.given.assign(s.fieldCount(), RawKeyScratch::kUnset);
  rawKey_ = std::move(scratch);
}

}  // namespace engine::index_api

namespace engine::api {

using index_api::IndexOrder;

UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex) {
  std::shared_ptr<IndexOrder> order = index_api::OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  order->InitRawKey(b);
  return 0;
}

namespace {
UNSIGNED32 BuildRaw(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen, uint32_t options) {
  core::Require(pusKeyLen, "pusKeyLen");
  std::shared_ptr<IndexOrder> order = index_api::OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  table::RawKeyScratch* scratch = order->rawKey();
  if (!scratch) Fail(err::kInvalidArgument, "No raw key is being built on this index order; call AdsInitRawKey first.");
  std::vector<uint8_t> key = index_api::BuildRawKey(b, *scratch, options);
  if (!pucKey || *pusKeyLen < key.size()) {
    *pusKeyLen = static_cast<UNSIGNED16>(key.size());
    Fail(err::kInsufficientBuffer, "The key needs " + std::to_string(key.size()) + " bytes.");
  }
  order->EndRawKey();
  if (!key.empty()) std::memcpy(pucKey, key.data(), key.size());  // an empty key has no bytes, nor a buffer
  *pusKeyLen = static_cast<UNSIGNED16>(key.size());
  return 0;
}
}  // namespace

UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen) {
  return BuildRaw(hIndex, pucKey, pusKeyLen, 0);
}

UNSIGNED32 AdsBuildRawKey100(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen, UNSIGNED32 ulOptions) {
  return BuildRaw(hIndex, pucKey, pusKeyLen, ulOptions);
}

UNSIGNED32 AdsStepIndexKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usLen, SIGNED16 sDirection) {
  core::Require(pucKey, "pucKey");
  IndexOrder::Bound b = index_api::OrderOf(hIndex)->Resolve();
  if (usLen == 0 || usLen > b.info().layout.keyLength()) {
    Fail(err::kInvalidArgument, "A key of " + std::to_string(usLen) + " bytes cannot be stepped; keys of this order have " +
                                    std::to_string(b.info().layout.keyLength()) + ".");
  }
  if (sDirection != 1 && sDirection != -1) Fail(err::kInvalidArgument, "A key steps by 1 or -1.");
  // The key as a big-endian number of usLen bytes, one up or down: the nearest key of that
  // length beyond every key that starts with it.
  const uint8_t edge = sDirection > 0 ? 0xFF : 0x00;
  size_t i = usLen;
  while (i > 0 && pucKey[i - 1] == edge) --i;
  if (i == 0) {
    Fail(err::kInvalidArgument, std::string("The key is already the ") + (sDirection > 0 ? "highest" : "lowest") +
                                    " one; there is none beyond it.");
  }
  pucKey[i - 1] = static_cast<uint8_t>(pucKey[i - 1] + sDirection);
  for (size_t j = i; j < usLen; ++j) pucKey[j] = static_cast<uint8_t>(0xFF - edge);
  return 0;
}

}  // namespace engine::api
