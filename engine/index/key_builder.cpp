// Key encoding; see key_layout.h for the encodings and key_builder.h for the interface.
#include "engine/index/key_builder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <limits>

#include "engine/core/date_format.h"
#include "engine/core/error.h"
#include "engine/index/collation.h"

namespace engine::index {

KeyBuilder::KeyBuilder(const KeyLayout& layout)
    : layout_(layout), natural_(layout.keyLength()), out_(layout.keyLength()), length_(layout.keyLength()) {}

void KeyBuilder::Clear() {
  length_ = layout_.keyLength();
  if (layout_.form() == KeyForm::kNative) {
    std::fill(natural_.begin(), natural_.end(), 0);
    return;
  }
  for (size_t i = 0; i < layout_.segments().size(); ++i) SetNull(i);
}

void KeyBuilder::SetNull(size_t segment) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = natural_.data() + s.offset;
  if (layout_.form() == KeyForm::kNative) {
    std::memset(p, 0, s.length);
    return;
  }
  // The DBF forms have no null: a null value is the empty value of its kind.
  switch (s.kind) {
    case SegmentKind::kString:
      std::memset(p, ' ', s.length);
      break;
    case SegmentKind::kNumeric:
      SetNumeric(segment, 0.0);
      break;
    case SegmentKind::kDate:
      SetDate(segment, 0);
      break;
    case SegmentKind::kLogical:
      *p = 'F';
      break;
    default:
      std::memset(p, 0, s.length);
      break;
  }
}

uint8_t* KeyBuilder::Payload(size_t segment, SegmentKind expected) {
  const Segment& s = layout_.segments().at(segment);
  if (s.kind != expected) {
    Fail(err::kInvalidTagDefinition, "Value type does not match the index key segment");
  }
  if (layout_.marker() == 0) return natural_.data() + s.offset;
  natural_[s.offset] = 1;
  return natural_.data() + s.offset + 1;
}

// The NTX text of a number: STR(value, width, decimals) with leading blanks as '0'; a negative
// number has its sign as '0' and every digit d as 0x2C - d, so that it sorts below every
// positive number and larger magnitudes sort lower. A number too wide for its text becomes
// the largest (or, negative, the smallest) text of that width.
void KeyBuilder::PutNtxNumber(uint8_t* p, size_t width, unsigned decimals, double value) {
  if (std::isnan(value)) value = 0.0;
  bool negative = value < 0;
  double magnitude = std::fabs(value);
  char text[400];
  int n = std::snprintf(text, sizeof text, "%.*f", static_cast<int>(std::min(decimals, 30u)), magnitude);
  std::string digits;
  if (n < 0 || static_cast<size_t>(n) + (negative ? 1 : 0) > width || !std::isfinite(magnitude)) {
    // Too wide: the extreme text of the width keeps the order.
    digits.assign(width, '9');
    if (decimals > 0 && decimals + 1 < width) digits[width - decimals - 1] = '.';
  } else {
    digits.assign(width - static_cast<size_t>(n), '0');
    digits.append(text, static_cast<size_t>(n));
  }
  if (negative) {
    for (char& c : digits) {
      if (c >= '0' && c <= '9') c = static_cast<char>(0x2C - (c - '0'));
    }
  }
  std::memcpy(p, digits.data(), width);
}

void KeyBuilder::PutUnsignedBE(uint8_t* p, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

void KeyBuilder::SetString(size_t segment, const char* text, size_t len) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = Payload(segment, SegmentKind::kString);
  size_t payload = s.length - layout_.marker();
  size_t n = std::min<size_t>(len, s.width);
  const Collation& c = layout_.collation();
  if (c.IsByteOrder()) {
    std::memcpy(p, text, n);
    std::memset(p + n, ' ', payload - n);
    return;
  }
  thread_local std::vector<uint8_t> padded;
  padded.assign(s.width, ' ');
  std::memcpy(padded.data(), text, n);
  c.SortKey(padded.data(), padded.size(), p, payload);
}

void KeyBuilder::SetWideString(size_t segment, const char16_t* text, size_t len) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = Payload(segment, SegmentKind::kWideString);
  size_t payload = s.length - layout_.marker();
  size_t n = std::min<size_t>(len, s.width);
  thread_local std::vector<char16_t> padded;
  padded.assign(s.width, u' ');
  std::copy(text, text + n, padded.begin());
  const Collation& c = layout_.collation();
  if (c.IsByteOrder()) {
    for (size_t i = 0; i < s.width; ++i) {
      p[2 * i] = static_cast<uint8_t>(padded[i] >> 8);
      p[2 * i + 1] = static_cast<uint8_t>(padded[i]);
    }
    return;
  }
  c.SortKeyWide(padded.data(), padded.size(), p, payload);
}

void KeyBuilder::SetNumeric(size_t segment, double value) {
  uint8_t* p = Payload(segment, SegmentKind::kNumeric);
  if (value == 0.0) value = 0.0;  // -0 and +0 are the same key
  if (layout_.form() == KeyForm::kNtx) {
    const Segment& s = layout_.segments().at(segment);
    PutNtxNumber(p, s.length, s.decimals, value);
    return;
  }
  uint64_t bits = std::isnan(value) ? 0x7FF8000000000000ull : std::bit_cast<uint64_t>(value);
  bits = (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
  PutUnsignedBE(p, bits, 8);
}

void KeyBuilder::SetInteger(size_t segment, int64_t value) {
  const Segment& s = layout_.segments().at(segment);
  if (s.kind == SegmentKind::kNumeric) {
    SetNumeric(segment, static_cast<double>(value));
    return;
  }
  if (s.kind == SegmentKind::kInteger64) {
    uint8_t* p = Payload(segment, SegmentKind::kInteger64);
    PutUnsignedBE(p, static_cast<uint64_t>(value) ^ 0x8000000000000000ull, 8);
    return;
  }
  uint8_t* p = Payload(segment, SegmentKind::kInteger);
  int64_t clamped = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max());
  PutUnsignedBE(p, static_cast<uint32_t>(static_cast<int32_t>(clamped)) ^ 0x80000000u, 4);
}

void KeyBuilder::SetDate(size_t segment, int32_t julianDay) {
  uint8_t* p = Payload(segment, SegmentKind::kDate);
  if (layout_.form() == KeyForm::kCdx) {
    // CDX keys hold a date as its Julian day in the number form; the empty date is 0.
    uint64_t bits = std::bit_cast<uint64_t>(static_cast<double>(std::max(julianDay, 0)));
    PutUnsignedBE(p, bits | 0x8000000000000000ull, 8);
    return;
  }
  if (layout_.form() == KeyForm::kNtx) {
    // "YYYYMMDD"; the empty date is eight blanks.
    if (julianDay <= 0) {
      std::memset(p, ' ', 8);
      return;
    }
    int y;
    unsigned m, d;
    core::CivilFromJulian(julianDay, &y, &m, &d);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", std::clamp(y, 0, 9999), m, d);
    std::memcpy(p, text, 8);
    return;
  }
  PutUnsignedBE(p, static_cast<uint32_t>(julianDay) ^ 0x80000000u, 4);
}

void KeyBuilder::SetTimestamp(size_t segment, int32_t julianDay, uint32_t milliseconds) {
  uint8_t* p = Payload(segment, SegmentKind::kTimestamp);
  PutUnsignedBE(p, static_cast<uint32_t>(julianDay) ^ 0x80000000u, 4);
  PutUnsignedBE(p + 4, milliseconds, 4);
}

void KeyBuilder::SetLogical(size_t segment, bool value) {
  uint8_t* p = Payload(segment, SegmentKind::kLogical);
  if (layout_.form() != KeyForm::kNative) *p = value ? 'T' : 'F';
  else *p = value ? 1 : 0;
}

void KeyBuilder::SetRaw(size_t segment, const uint8_t* bytes, size_t len) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = Payload(segment, SegmentKind::kRaw);
  size_t n = std::min<size_t>(len, s.width);
  std::memcpy(p, bytes, n);
  std::memset(p + n, 0, s.width - n);
}

void KeyBuilder::UseSegments(size_t count) {
  const auto& segs = layout_.segments();
  length_ = count >= segs.size() ? layout_.keyLength() : segs[count].offset;
}

void KeyBuilder::SetStringPrefix(size_t segment, const char* text, size_t len) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = Payload(segment, SegmentKind::kString);
  size_t payload = s.length - layout_.marker();
  size_t n = std::min<size_t>(len, s.width);
  const Collation& c = layout_.collation();
  size_t used = c.IsByteOrder() ? (std::memcpy(p, text, n), n)
                                : c.PrimaryPrefix(reinterpret_cast<const uint8_t*>(text), n, p, payload);
  length_ = s.offset + layout_.marker() + used;
}

void KeyBuilder::SetWideStringPrefix(size_t segment, const char16_t* text, size_t len) {
  const Segment& s = layout_.segments().at(segment);
  uint8_t* p = Payload(segment, SegmentKind::kWideString);
  size_t payload = s.length - layout_.marker();
  size_t n = std::min<size_t>(len, s.width);
  const Collation& c = layout_.collation();
  size_t used;
  if (c.IsByteOrder()) {
    for (size_t i = 0; i < n; ++i) {
      p[2 * i] = static_cast<uint8_t>(text[i] >> 8);
      p[2 * i + 1] = static_cast<uint8_t>(text[i]);
    }
    used = 2 * n;
  } else {
    used = c.PrimaryPrefixWide(text, n, p, payload);
  }
  length_ = s.offset + layout_.marker() + used;
}

std::span<const uint8_t> KeyBuilder::Key() {
  if (!layout_.descending()) return {natural_.data(), length_};
  for (size_t i = 0; i < length_; ++i) out_[i] = static_cast<uint8_t>(~natural_[i]);
  return {out_.data(), length_};
}

}  // namespace engine::index
