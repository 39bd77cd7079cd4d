#include "engine/filter/cursor_filters.h"

#include "engine/core/error.h"
#include "engine/filter/optimized_filter.h"

namespace engine::filter {

CursorFilters& CursorFilters::Of(table::TableCursor& cursor) {
  if (CursorFilters* f = Find(cursor)) return *f;
  auto f = std::make_shared<CursorFilters>(cursor);
  CursorFilters& ref = *f;
  cursor.SetFilter(std::move(f));
  return ref;
}

CursorFilters* CursorFilters::Find(table::TableCursor& cursor) {
  return dynamic_cast<CursorFilters*>(cursor.filter().get());
}

CursorFilters::CursorFilters(table::TableCursor& cursor) : cursor_(cursor), expr_(cursor) {}

CursorFilters::~CursorFilters() = default;

void CursorFilters::SetFilter(const expr::ExprText& text) {
  expr::EvalOptions options = OptionsFor(cursor_);
  auto e = expr::CompiledExpr::Compile(text, &expr_.schema(), options.dateFormat);
  if (e->type() != expr::ExprType::Logical) {
    Fail(err::kExprResultType, "A filter needs a logical expression; \"" + text.ansi() + "\" is " +
                                   expr::ExprTypeName(e->type()));
  }
  filter_ = std::move(e);
  filterText_ = text.ansi();
  filterOptions_ = options;
}

void CursorFilters::ClearFilter() {
  filter_.reset();
  filterText_.clear();
}

void CursorFilters::SetAof(std::unique_ptr<OptimizedFilter> aof) { aof_ = std::move(aof); }

void CursorFilters::ClearAof() { aof_.reset(); }

bool CursorFilters::FilterAccepts(const table::RecordView& record) {
  if (!filter_) return true;
  filterOptions_.exact = exact_;
  const expr::ExprRecord& r = expr_.At(record.raw(), record.recordNumber());
  return filter_->EvalLogical(&r, filterOptions_);
}

bool CursorFilters::Accepts(const table::RecordView& record) {
  if (aof_ && !aof_->Accepts(record)) return false;
  return FilterAccepts(record);
}

uint32_t CursorFilters::NextCandidate(uint32_t n, uint32_t last) {
  if (aof_) return aof_->NextCandidate(n, last);
  return n <= last ? n : 0;
}

uint32_t CursorFilters::PriorCandidate(uint32_t n) { return aof_ ? aof_->PriorCandidate(n) : n; }

bool CursorFilters::Sparse() const { return aof_ && aof_->sparse(); }

}  // namespace engine::filter
