// The fixed layout of the keys of one index tag.
//
// A key is the concatenation of its segments' encodings, each a marker byte (0 for a null value,
// 1 for a value) followed by a payload of fixed length, so that comparing two keys with memcmp
// orders them as their values order:
//   string        byte-order collations: the text blank-padded (or cut) to its width;
//                 named collations: the ICU sort key of the blank-padded text, cut or zero-padded
//                 to a fixed length (2 x width + 4 bytes case-sensitive, 1.5 x width + 4
//                 case-insensitive). A cut sort key loses the case and accent distinctions
//                 first, so two texts whose cut keys are equal sort as equal, by record number.
//   wide string   UTF-16 code units big-endian (byte order) or the sort key as above
//   numeric       IEEE double, sign bit flipped (all bits for negatives), big-endian; -0 == +0
//   integer       32-bit (or 64-bit) two's complement with the sign bit flipped, big-endian
//   date          Julian day number as a 32-bit integer
//   timestamp     Julian day number, then milliseconds of the day (32-bit unsigned)
//   logical       one byte, 0 false, 1 true
//   raw           the bytes as they are
// A descending tag stores every key byte inverted. In the tree each key is followed by the
// record number (4 bytes big-endian, never inverted), which makes entries unique and orders equal
// keys by record number.
//
// KeyLayout is a value type; it is safe to share between threads once built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine::index {

class Collation;

enum class SegmentKind : uint8_t {
  kString = 1,      // 8-bit text of `width` characters in the tag's collation's code page
  kWideString = 2,  // UTF-16 text of `width` characters
  kNumeric = 3,     // double
  kInteger = 4,     // signed 32-bit
  kInteger64 = 5,   // signed 64-bit
  kDate = 6,        // Julian day number; 0 is the empty date
  kTimestamp = 7,   // Julian day number and milliseconds of the day
  kLogical = 8,     // true or false
  kRaw = 9,         // `width` bytes compared as they are
};

// What the caller knows about a segment: its kind and, for texts and raw values, its width
// (characters for texts, bytes for raw values). Other kinds ignore the width.
struct SegmentSpec {
  SegmentKind kind;
  uint16_t width = 0;
  uint8_t decimals = 0;  // numeric segments of NTX keys: decimals of their text
};

// A segment as laid out in the key.
struct Segment {
  SegmentKind kind;
  uint16_t width;   // characters or bytes of the value (as the segment definition gives it)
  uint16_t offset;  // of the marker byte within the key
  uint16_t length;  // marker byte included
  uint8_t decimals = 0;
};

// The forms keys take in the index file formats. Native keys are laid out as above. The DBF
// world's formats store keys without marker bytes (a null value is the empty value):
//   kNtx  texts as in native byte order; numbers as their text of `width` characters with
//         `decimals` decimals, leading blanks as '0' and negative numbers with every digit d
//         written as 0x2C - d so that they sort below positive ones, larger magnitudes lower;
//         dates as "YYYYMMDD" (8 blanks when empty); logicals 'T' or 'F'
//   kCdx  texts as in native byte order; numbers and dates (as their Julian day) as the
//         ordered double above; logicals 'T' or 'F'
// Other kinds (timestamps, integers, raw bytes) keep their native payload in both forms.
enum class KeyForm : uint8_t { kNative, kNtx, kCdx };

// The length of the record number that follows every key in the tree.
constexpr size_t kRecordNumberLength = 4;

class KeyLayout {
 public:
  KeyLayout() = default;

  // Lays out the segments for the given collation and page size. Collated text segments are
  // shortened (never below width + 1 bytes) when the full key would not fit the page; throws
  // EngineError kIndexKeyTooLong when it still does not, kInvalidTagDefinition for an empty or
  // malformed segment list, kInvalidIndexPageSize for a bad page size.
  static KeyLayout Make(const std::vector<SegmentSpec>& segments, const Collation& collation,
                        bool descending, uint32_t pageSize, KeyForm form = KeyForm::kNative);

  // Rebuilds a layout from recorded segments (as read from an index file); validates that the
  // segments are contiguous and their lengths plausible. Throws kIndexFileCorrupt otherwise.
  static KeyLayout FromSegments(const std::vector<Segment>& segments, const Collation& collation,
                                bool descending, uint32_t pageSize);

  // The largest key (record number excluded) that a page of this size can hold.
  static size_t MaxKeyLength(uint32_t pageSize);

  // True for the page sizes an index file may use: powers of two from 512 to 8192.
  static bool ValidPageSize(uint32_t pageSize);

  // The largest key a DBF form's file holds.
  static size_t MaxDbfKeyLength(KeyForm form);

  const std::vector<Segment>& segments() const { return segments_; }
  KeyForm form() const { return form_; }
  // Bytes before each segment's payload: the marker byte of native keys, none in DBF forms.
  size_t marker() const { return form_ == KeyForm::kNative ? 1 : 0; }
  size_t keyLength() const { return keyLength_; }
  size_t entryLength() const { return keyLength_ + kRecordNumberLength; }
  const Collation& collation() const { return *collation_; }
  bool descending() const { return descending_; }

 private:
  std::vector<Segment> segments_;
  size_t keyLength_ = 0;
  const Collation* collation_ = nullptr;
  bool descending_ = false;
  KeyForm form_ = KeyForm::kNative;
};

}  // namespace engine::index
