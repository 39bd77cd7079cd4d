// An index order handle: one tag of one open table handle, with its own scopes.
//
// The handle walks the table cursor it belongs to in the tag's order (the navigation entry
// points reach it as a table::OrderHandle). It refers to its tag by id, so it stays valid while
// the tag's file is rebuilt, and reports a clear error once the tag is gone or the table closed.
// The cursor's current record decides where the order stands: every operation finds the
// record's key again, so moving the table handle in record order and then asking the index
// order for key numbers gives the numbers of that record.
//
// REQUIRES: used by the thread that uses its table handle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "engine/core/handles.h"
#include "engine/index/table_indexes.h"
#include "engine/index/tag_cursor.h"
#include "engine/table/record_order.h"
#include "engine/table/table_cursor.h"

namespace engine::index_api {

class IndexOrder final : public table::OrderHandle, public table::RecordOrder {
 public:
  IndexOrder(std::weak_ptr<table::TableCursor> cursor, uint64_t tagId) : cursor_(std::move(cursor)), tagId_(tagId) {}

  std::shared_ptr<table::TableCursor> cursor() override;
  table::RecordOrder& order() override { return *this; }

  uint32_t First() override;
  uint32_t Last() override;
  uint32_t Next(uint32_t record) override;
  uint32_t Prior(uint32_t record) override;

  // What an operation on the order needs, checked to be alive.
  struct Bound {
    std::shared_ptr<table::TableCursor> cursor;
    index::TableIndexes* indexes = nullptr;
    index::TableIndexes::Tag* tag = nullptr;
    index::IndexFile& file() const { return indexes->FileOf(*tag); }
    const index::TagInfo& info() const { return indexes->InfoOf(*tag); }
  };
  Bound Resolve();
  // A cursor along the tag with this order's scopes.
  index::TagCursor Cursor(const Bound& b);
  uint64_t tagId() const { return tagId_; }

  void SetScope(index::ScopeBound bound, std::span<const uint8_t> key);
  void ClearScope(index::ScopeBound bound);
  const std::optional<std::vector<uint8_t>>& Scope(index::ScopeBound bound) const {
    return bound == index::ScopeBound::kTop ? top_ : bottom_;
  }

  // Puts the table cursor on the record the tag cursor stands on (skipping forward past records
  // the cursor does not show), or at the end when it stands on none.
  void MoveCursorTo(const Bound& b, index::TagCursor& tc);

  // A raw key being built on this handle (raw_key_api.cpp): the field setters fill its scratch
  // record from InitRawKey until the key is built.
  table::RawKeyScratch* rawKey() override;
  void InitRawKey(const Bound& b);
  void EndRawKey() { rawKey_.reset(); }

 private:
  std::weak_ptr<table::TableCursor> cursor_;
  uint64_t tagId_;
  std::optional<std::vector<uint8_t>> top_, bottom_;
  std::optional<table::RawKeyScratch> rawKey_;
};

// The index order of a handle (kIndexOrder), resolved.
std::shared_ptr<IndexOrder> OrderOf(uint32_t handle);

// The handle of a tag of a table handle: the same handle each time it is asked for.
uint32_t HandleFor(uint32_t tableHandle, const std::shared_ptr<table::TableCursor>& cursor, uint64_t tagId);
// Forgets the handles of tags that are no longer open on that table handle.
void DropStaleHandles(uint32_t tableHandle, index::TableIndexes& indexes);

// The indexes of a table handle's table, attached when nobody has yet.
index::TableIndexes& IndexesOf(table::TableCursor& cursor);

}  // namespace engine::index_api
