// Key layout computation; see key_layout.h.
#include "engine/index/key_layout.h"

#include <string>

#include "engine/core/error.h"
#include "engine/index/collation.h"
#include "engine/index/page_format.h"

namespace engine::index {
namespace {

size_t PayloadLength(const SegmentSpec& s, const Collation& c) {
  switch (s.kind) {
    case SegmentKind::kString:
    case SegmentKind::kWideString: {
      if (c.IsByteOrder()) return s.kind == SegmentKind::kString ? s.width : 2u * s.width;
      // Case-sensitive keys carry one more level of weights than case-insensitive ones.
      bool caseSensitive = c.name().find("_CS_") != std::string::npos;
      return caseSensitive ? 2u * s.width + 4 : s.width + s.width / 2 + 4;
    }
    case SegmentKind::kNumeric: return 8;
    case SegmentKind::kInteger: return 4;
    case SegmentKind::kInteger64: return 8;
    case SegmentKind::kDate: return 4;
    case SegmentKind::kTimestamp: return 8;
    case SegmentKind::kLogical: return 1;
    case SegmentKind::kRaw: return s.width;
  }
  return 0;
}

// Payload of a segment in the DBF forms: no marker byte, texts in byte order.
size_t DbfPayloadLength(const SegmentSpec& s, KeyForm form) {
  switch (s.kind) {
    case SegmentKind::kString: return s.width;
    case SegmentKind::kWideString: return 2u * s.width;
    case SegmentKind::kNumeric: return form == KeyForm::kNtx ? (s.width ? s.width : 10u) : 8u;
    case SegmentKind::kDate: return 8;
    case SegmentKind::kLogical: return 1;
    case SegmentKind::kInteger: return 4;
    case SegmentKind::kInteger64: return 8;
    case SegmentKind::kTimestamp: return 8;
    case SegmentKind::kRaw: return s.width;
  }
  return 0;
}

bool KnownKind(SegmentKind k) { return k >= SegmentKind::kString && k <= SegmentKind::kRaw; }

}  // namespace

bool KeyLayout::ValidPageSize(uint32_t pageSize) {
  return pageSize >= 512 && pageSize <= 8192 && (pageSize & (pageSize - 1)) == 0;
}

size_t KeyLayout::MaxKeyLength(uint32_t pageSize) {
  // An inner page must hold at least three entries so that a split leaves two on each side.
  size_t innerEntry = (pageSize - kPageHeaderSize) / 3;
  return innerEntry - kInnerEntryExtra - kRecordNumberLength;
}

size_t KeyLayout::MaxDbfKeyLength(KeyForm form) { return form == KeyForm::kNtx ? 256 : 240; }

KeyLayout KeyLayout::Make(const std::vector<SegmentSpec>& segments, const Collation& collation,
                          bool descending, uint32_t pageSize, KeyForm form) {
  if (form != KeyForm::kNative) {
    if (segments.empty()) Fail(err::kInvalidTagDefinition, "An index key needs at least one segment");
    if (!collation.IsByteOrder() && form != KeyForm::kCdx) {
      Fail(err::kInvalidTagDefinition, "NTX index keys are ordered by byte value (ANSI or OEM), not by \"" +
                                           collation.name() + "\"");
    }
    KeyLayout l;
    l.collation_ = &collation;
    l.descending_ = descending;
    l.form_ = form;
    size_t offset = 0;
    for (const SegmentSpec& s : segments) {
      if (!KnownKind(s.kind)) Fail(err::kInvalidTagDefinition, "Unknown index key segment type");
      bool sized = s.kind == SegmentKind::kString || s.kind == SegmentKind::kWideString || s.kind == SegmentKind::kRaw;
      if (sized && s.width == 0) Fail(err::kInvalidTagDefinition, "An index key segment has no length");
      // A collated text (FoxPro tables' CDX tags) is its sort key, cut or zero-padded.
      const bool collated = !collation.IsByteOrder() && (s.kind == SegmentKind::kString || s.kind == SegmentKind::kWideString);
      size_t len = collated ? PayloadLength(s, collation) : DbfPayloadLength(s, form);
      Segment seg{s.kind, s.width, static_cast<uint16_t>(offset), static_cast<uint16_t>(len), s.decimals};
      if (s.kind == SegmentKind::kNumeric && form == KeyForm::kNtx) seg.width = static_cast<uint16_t>(len);
      l.segments_.push_back(seg);
      offset += len;
    }
    if (offset > MaxDbfKeyLength(form)) {
      Fail(err::kIndexKeyTooLong, "Index key of " + std::to_string(offset) + " bytes exceeds the " +
                                      std::to_string(MaxDbfKeyLength(form)) + " bytes of an " +
                                      (form == KeyForm::kNtx ? "NTX" : "CDX") + " key");
    }
    l.keyLength_ = offset;
    return l;
  }
  if (!ValidPageSize(pageSize)) {
    Fail(err::kInvalidIndexPageSize, "Index page size " + std::to_string(pageSize) +
                                         " is not a power of two from 512 to 8192");
  }
  if (segments.empty()) Fail(err::kInvalidTagDefinition, "An index key needs at least one segment");
  std::vector<size_t> payload;
  size_t total = 0;
  for (const SegmentSpec& s : segments) {
    if (!KnownKind(s.kind)) Fail(err::kInvalidTagDefinition, "Unknown index key segment type");
    bool sized = s.kind == SegmentKind::kString || s.kind == SegmentKind::kWideString ||
                 s.kind == SegmentKind::kRaw;
    if (sized && s.width == 0) Fail(err::kInvalidTagDefinition, "An index key segment has no length");
    payload.push_back(PayloadLength(s, collation));
    total += 1 + payload.back();
  }
  size_t max = MaxKeyLength(pageSize);
  if (total > max && !collation.IsByteOrder()) {
    // Shorten collated text segments, the longest first, down to one byte per character.
    for (size_t i = 0; i < segments.size() && total > max; ++i) {
      if (segments[i].kind != SegmentKind::kString && segments[i].kind != SegmentKind::kWideString) continue;
      size_t floor = segments[i].width;
      size_t cut = std::min(total - max, payload[i] - floor);
      payload[i] -= cut;
      total -= cut;
    }
  }
  if (total > max) {
    Fail(err::kIndexKeyTooLong, "Index key of " + std::to_string(total) + " bytes exceeds " +
                                    std::to_string(max) + " bytes for page size " +
                                    std::to_string(pageSize));
  }
  KeyLayout l;
  l.collation_ = &collation;
  l.descending_ = descending;
  uint16_t offset = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    // Native keys hold numbers as doubles: a numeric width is the NTX text's only, and native
    // catalogues keep recording none.
    uint16_t width = segments[i].kind == SegmentKind::kNumeric ? 0 : segments[i].width;
    Segment seg{segments[i].kind, width, offset, static_cast<uint16_t>(1 + payload[i])};
    l.segments_.push_back(seg);
    offset = static_cast<uint16_t>(offset + seg.length);
  }
  l.keyLength_ = offset;
  return l;
}

KeyLayout KeyLayout::FromSegments(const std::vector<Segment>& segments, const Collation& collation,
                                  bool descending, uint32_t pageSize) {
  size_t offset = 0;
  for (const Segment& s : segments) {
    if (!KnownKind(s.kind) || s.offset != offset || s.length < 2) {
      Fail(err::kIndexFileCorrupt, "Index file damaged: bad key segment description");
    }
    offset += s.length;
  }
  if (segments.empty() || !ValidPageSize(pageSize) || offset > MaxKeyLength(pageSize)) {
    Fail(err::kIndexFileCorrupt, "Index file damaged: bad key layout");
  }
  KeyLayout l;
  l.segments_ = segments;
  l.keyLength_ = offset;
  l.collation_ = &collation;
  l.descending_ = descending;
  return l;
}

}  // namespace engine::index
