// Hooks through which other parts of the engine change how a table cursor is walked: an order
// (an index tag, possibly scoped) and a visibility filter (an expression filter).
//
// An index order handle (core::Kind::kIndexOrder) is registered as an OrderHandle, the exact
// type the navigation entry points Get: AdsGotoTop, AdsSkip and the rest, called with an index
// handle, walk the order's cursor in the order's sequence. Table handles walk in record-number
// order. Both move the one record position of the cursor.
//
// Implementations are called on the thread running the entry point, with the cursor used by
// one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/table/record_access.h"

namespace engine::table {

class TableCursor;

// A sequence of the records of one table. Record numbers are 1-based; 0 means "none".
class RecordOrder {
 public:
  virtual ~RecordOrder() = default;
  virtual uint32_t First() = 0;
  virtual uint32_t Last() = 0;
  // The record after / before `record` in this order (0 when there is none). `record` may have
  // left the order (its key changed, or it was deleted); the order answers its neighbour by the
  // key it now has.
  virtual uint32_t Next(uint32_t record) = 0;
  virtual uint32_t Prior(uint32_t record) = 0;
};

// The record image that the field setters fill, instead of the current record, while a raw key
// is being built on an index order handle (AdsInitRawKey, the setters, AdsBuildRawKey).
struct RawKeyScratch {
  static constexpr uint32_t kUnset = 0xFFFFFFFF;  // the field was not given
  static constexpr uint32_t kFull = 0xFFFFFFFE;   // given completely (not as a text prefix)
  std::vector<uint8_t> image;
  // Per field: kUnset, kFull, or the length of the text given (bytes of 8-bit text, characters
  // of UTF-16 text), which makes a partial key end after that much of the field.
  std::vector<uint32_t> given;
};

// What an index order handle stands for: an order over one open table.
class OrderHandle {
 public:
  virtual ~OrderHandle() = default;
  virtual std::shared_ptr<TableCursor> cursor() = 0;
  virtual RecordOrder& order() = 0;
  // The raw key being built on this handle, or null when none is.
  virtual RawKeyScratch* rawKey() { return nullptr; }
};

// Decides which records a cursor shows besides the deleted-record setting.
class RecordFilter {
 public:
  virtual ~RecordFilter() = default;
  virtual bool Accepts(const RecordView& record) = 0;
  // Whether the filter hides anything now; a cursor treats an inactive filter as none.
  virtual bool Active() const { return true; }
  // Shortcuts for walking in record-number order: the first record number from n up to last
  // (NextCandidate) or from n down to 1 (PriorCandidate) that Accepts may accept, 0 when there
  // is none. Every record skipped over is certainly not accepted.
  virtual uint32_t NextCandidate(uint32_t n, uint32_t last) { return n <= last ? n : 0; }
  virtual uint32_t PriorCandidate(uint32_t n) { return n; }
  // Whether the candidates are few enough that visiting them one by one beats a full scan.
  virtual bool Sparse() const { return false; }
};

}  // namespace engine::table
