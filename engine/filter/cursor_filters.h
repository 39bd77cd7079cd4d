// What narrows the records one table or cursor handle shows, besides the deleted-record
// setting: an expression filter (AdsSetFilter100), an optimised filter (AdsSetAOF100, see
// optimized_filter.h), both at once, and the handle's exact setting for comparing texts
// (AdsSetExact22). It also keeps the expression of the last AdsLocate for AdsContinue.
//
// A CursorFilters is the cursor's RecordFilter: attached to the cursor the first time one of
// its settings is made, and asked by the cursor's navigation, visibility and counting. A record
// is shown when both the filter and the optimised filter accept it.
//
// An expression filter is evaluated on every record the cursor considers; its texts compare
// with the exact setting in force when it is evaluated. The date format is the connection's
// when the filter was set.
//
// REQUIRES: external synchronization (the cursor's thread). It borrows the cursor's table,
// which lives as long as the cursor that owns this object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/expr/compiled_expr.h"
#include "engine/expr/expr_text.h"
#include "engine/filter/cursor_expr.h"
#include "engine/table/record_order.h"
#include "engine/table/table_cursor.h"

namespace engine::filter {

class OptimizedFilter;

class CursorFilters final : public table::RecordFilter {
 public:
  // The cursor's filters, attached when it has none yet.
  static CursorFilters& Of(table::TableCursor& cursor);
  // The cursor's filters, or null when none were ever set.
  static CursorFilters* Find(table::TableCursor& cursor);

  explicit CursorFilters(table::TableCursor& cursor);
  ~CursorFilters() override;

  bool exact() const { return exact_; }
  void SetExact(bool exact) { exact_ = exact; }

  // The expression filter. SetFilter compiles the text (the expression errors, with their
  // position, when it is malformed; kExprResultType when it is not logical) and replaces the
  // previous filter only when it compiles. Text that came as UTF-16 keeps its literals' exact
  // characters (expr_text.h).
  void SetFilter(const expr::ExprText& text);
  bool hasFilter() const { return filter_ != nullptr; }
  const std::string& filterText() const { return filterText_; }
  void ClearFilter();

  // The optimised filter (null when none). SetAof replaces it.
  OptimizedFilter* aof() const { return aof_.get(); }
  void SetAof(std::unique_ptr<OptimizedFilter> aof);
  void ClearAof();

  // Whether the expression filter accepts the record (true without one).
  bool FilterAccepts(const table::RecordView& record);

  // The expression of the last locate and its direction, for AdsContinue.
  std::optional<std::string> locateExpression;
  bool locateForward = true;

  CursorExpr& expr() { return expr_; }

  // table::RecordFilter
  bool Accepts(const table::RecordView& record) override;
  bool Active() const override { return filter_ != nullptr || aof_ != nullptr; }
  uint32_t NextCandidate(uint32_t n, uint32_t last) override;
  uint32_t PriorCandidate(uint32_t n) override;
  bool Sparse() const override;

 private:
  table::TableCursor& cursor_;
  CursorExpr expr_;
  bool exact_ = false;
  std::string filterText_;
  std::unique_ptr<expr::CompiledExpr> filter_;
  expr::EvalOptions filterOptions_;
  std::unique_ptr<OptimizedFilter> aof_;
};

}  // namespace engine::filter
