// Index order handles; see index_order.h.
#include "engine/index/api/index_order.h"

#include "engine/core/error.h"

namespace engine::index_api {

std::shared_ptr<table::TableCursor> IndexOrder::cursor() {
  std::shared_ptr<table::TableCursor> c = cursor_.lock();
  if (!c) Fail(err::kInvalidHandle, "The table of this index order is closed.");
  return c;
}

IndexOrder::Bound IndexOrder::Resolve() {
  Bound b;
  b.cursor = cursor();
  b.indexes = &IndexesOf(*b.cursor);
  b.tag = b.indexes->FindById(tagId_);
  if (!b.tag) Fail(err::kNoSuchIndexOrder, "The index order is no longer open on its table.");
  return b;
}

index::TagCursor IndexOrder::Cursor(const Bound& b) {
  index::TagCursor tc(b.file(), b.tag->tagInFile);
  if (top_) tc.SetScope(index::ScopeBound::kTop, *top_);
  if (bottom_) tc.SetScope(index::ScopeBound::kBottom, *bottom_);
  return tc;
}

void IndexOrder::SetScope(index::ScopeBound bound, std::span<const uint8_t> key) {
  (bound == index::ScopeBound::kTop ? top_ : bottom_) = std::vector<uint8_t>(key.begin(), key.end());
}

void IndexOrder::ClearScope(index::ScopeBound bound) { (bound == index::ScopeBound::kTop ? top_ : bottom_).reset(); }

uint32_t IndexOrder::First() {
  Bound b = Resolve();
  index::TableIndexes::Reading reading(*b.indexes);
  index::TagCursor tc = Cursor(b);
  return tc.First() ? tc.recno() : 0;
}

uint32_t IndexOrder::Last() {
  Bound b = Resolve();
  index::TableIndexes::Reading reading(*b.indexes);
  index::TagCursor tc = Cursor(b);
  return tc.Last() ? tc.recno() : 0;
}

uint32_t IndexOrder::Next(uint32_t record) {
  Bound b = Resolve();
  index::TableIndexes::Reading reading(*b.indexes);
  std::span<const uint8_t> k = b.indexes->KeyOfRecord(*b.tag, record);
  std::vector<uint8_t> key(k.begin(), k.end());
  index::TagCursor tc = Cursor(b);
  return tc.NextAfter(key, record) ? tc.recno() : 0;
}

uint32_t IndexOrder::Prior(uint32_t record) {
  Bound b = Resolve();
  index::TableIndexes::Reading reading(*b.indexes);
  std::span<const uint8_t> k = b.indexes->KeyOfRecord(*b.tag, record);
  std::vector<uint8_t> key(k.begin(), k.end());
  index::TagCursor tc = Cursor(b);
  return tc.PriorBefore(key, record) ? tc.recno() : 0;
}

void IndexOrder::MoveCursorTo(const Bound& b, index::TagCursor& tc) {
  if (!tc.onEntry()) {
    b.cursor->GotoEOF();
    return;
  }
  b.cursor->GotoRecord(tc.recno());
  if (!b.cursor->IsVisible()) b.cursor->Skip(1, this);
}

std::shared_ptr<IndexOrder> OrderOf(uint32_t handle) {
  auto order = std::dynamic_pointer_cast<IndexOrder>(core::Handles::Get<table::OrderHandle>(handle, core::Kind::kIndexOrder));
  if (!order) Fail(err::kInvalidHandle, "The handle is not an index order of a table.");
  return order;
}

uint32_t HandleFor(uint32_t tableHandle, const std::shared_ptr<table::TableCursor>& cursor, uint64_t tagId) {
  for (uint32_t h : core::Handles::OwnedBy(tableHandle, core::Kind::kIndexOrder)) {
    auto order = std::dynamic_pointer_cast<IndexOrder>(core::Handles::Get<table::OrderHandle>(h, core::Kind::kIndexOrder));
    if (order && order->tagId() == tagId) return h;
  }
  std::shared_ptr<table::OrderHandle> order = std::make_shared<IndexOrder>(cursor, tagId);
  return core::Handles::Add(core::Kind::kIndexOrder, order, tableHandle);
}

void DropStaleHandles(uint32_t tableHandle, index::TableIndexes& indexes) {
  for (uint32_t h : core::Handles::OwnedBy(tableHandle, core::Kind::kIndexOrder)) {
    auto order = std::dynamic_pointer_cast<IndexOrder>(core::Handles::Get<table::OrderHandle>(h, core::Kind::kIndexOrder));
    if (order && !indexes.FindById(order->tagId())) core::Handles::Remove(h, core::Kind::kIndexOrder);
  }
}

index::TableIndexes& IndexesOf(table::TableCursor& cursor) { return index::TableIndexes::Of(cursor.table()); }

}  // namespace engine::index_api
