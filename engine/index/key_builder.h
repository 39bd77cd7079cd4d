// Builds the encoded keys of one tag from typed segment values (layout in key_layout.h).
//
// Usage: set every segment (segments not set are null), then take Key(). For seeks, a partial
// key ends after the segments given (UseSegments) or inside a text segment given as a prefix
// (SetStringPrefix); Key() then returns only those leading bytes, and a seek compares just as
// many bytes of the stored keys. For named collations a text prefix is reduced to its primary
// weights, so a partial text key matches letters regardless of case and accents.
//
// A KeyBuilder borrows its layout (which must outlive it) and is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/index/key_layout.h"

namespace engine::index {

class KeyBuilder {
 public:
  explicit KeyBuilder(const KeyLayout& layout);

  // Makes every segment null and the key complete again.
  void Clear();

  void SetNull(size_t segment);
  // 8-bit text in the collation's code page; blank-padded or cut to the segment's width.
  void SetString(size_t segment, const char* text, size_t len);
  void SetWideString(size_t segment, const char16_t* text, size_t len);
  void SetNumeric(size_t segment, double value);
  // For integer segments the value is clamped to the segment's range; numeric segments take it
  // as a double.
  void SetInteger(size_t segment, int64_t value);
  void SetDate(size_t segment, int32_t julianDay);
  void SetTimestamp(size_t segment, int32_t julianDay, uint32_t milliseconds);
  void SetLogical(size_t segment, bool value);
  void SetRaw(size_t segment, const uint8_t* bytes, size_t len);

  // Partial keys. The key ends after the first `count` segments.
  void UseSegments(size_t count);
  // The key ends inside this segment, which matches every text starting with the given text.
  // REQUIRES: a text segment.
  void SetStringPrefix(size_t segment, const char* text, size_t len);
  void SetWideStringPrefix(size_t segment, const char16_t* text, size_t len);

  // The key in stored form (inverted for descending tags): keyLength() bytes, or fewer for a
  // partial key. Valid until the next call on this builder.
  std::span<const uint8_t> Key();

  const KeyLayout& layout() const { return layout_; }

 private:
  uint8_t* Payload(size_t segment, SegmentKind expected);
  static void PutUnsignedBE(uint8_t* p, uint64_t v, int bytes);
  static void PutNtxNumber(uint8_t* p, size_t width, unsigned decimals, double value);

  const KeyLayout& layout_;
  std::vector<uint8_t> natural_;
  std::vector<uint8_t> out_;
  size_t length_;
};

}  // namespace engine::index
