// An optimised filter (AOF) on one table handle: a logical expression whose index-answerable
// parts are resolved into a record set (aof_plan.h) and whose rest is evaluated per record.
//
// Kinds (option bits of AdsSetAOF100):
//   dynamic (0)   membership follows the data: records this handle changes are evaluated
//                 in full from then on, and a change by another open (seen through the table's
//                 change counter) resolves the set again from the index;
//   key set (4)   the members are fixed when the filter is set; a member is shown while it
//                 still satisfies the expression, records that join later are not;
//   fixed (8)     the members are fixed when the filter is set and shown whatever they hold.
// Resolving: 1 resolves (and evaluates the non-optimised part on the candidates) when the
// filter is set; 2 resolves at the first use. Key-set and fixed filters always resolve when
// set, since their membership is defined at that moment. 8192 says the text is UTF-16 (the
// entry points handle it).
//
// Customising adds, removes or toggles records: an added record is shown and a removed one
// hidden whatever the expression says, until the filter is refreshed or replaced.
//
// The indexes used are the tags of the table's structural index file, read through an open of
// its own; a table without a usable index file gets a filter that is not optimised.
//
// REQUIRES: external synchronization (the cursor's thread). Registers itself as an observer of
// the cursor's table for its lifetime.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr/compiled_expr.h"
#include "engine/filter/aof_plan.h"
#include "engine/filter/cursor_expr.h"
#include "engine/filter/record_set.h"
#include "engine/table/record_access.h"
#include "engine/table/table_cursor.h"

namespace engine::index {
class IndexFile;
}

namespace engine::filter {

constexpr uint32_t kAofResolveImmediate = 1;
constexpr uint32_t kAofResolveLater = 2;
constexpr uint32_t kAofKeySet = 4;
constexpr uint32_t kAofFixed = 8;
constexpr uint32_t kTextIsUtf16 = 8192;

enum class AofKind { kDynamic, kKeySet, kFixed };

// What an expression would get as an optimised filter on this cursor, without setting it.
OptLevel EvaluateOptLevel(table::TableCursor& cursor, const expr::ExprText& text, bool exact);

class OptimizedFilter final : public table::RecordObserver {
 public:
  // Compiles the text (expression errors with their position; kExprResultType when it is not
  // logical) and plans it; resolves now when the options say so. A text that came as UTF-16
  // with characters the ANSI code page cannot hold is evaluated on every record: index keys
  // hold ANSI text, where those characters read as "?".
  OptimizedFilter(table::TableCursor& cursor, CursorExpr& expr, const expr::ExprText& text, uint32_t options,
                  bool exact);
  ~OptimizedFilter() override;

  const std::string& text() const { return text_.ansi(); }
  std::u16string Utf16Text() const { return text_.Utf16(); }
  OptLevel level() const { return plan_->level(); }
  const std::string& nonOptimized() const { return plan_->residual(); }
  AofKind kind() const { return kind_; }

  // Whether the record passes this filter (deletion and the expression filter aside).
  bool Accepts(const table::RecordView& record);
  // Candidates in record-number order (see table::RecordFilter).
  uint32_t NextCandidate(uint32_t n, uint32_t last);
  uint32_t PriorCandidate(uint32_t n);
  bool sparse() const { return plan_->level() != OptLevel::kNone; }

  // Resolves again against the data as it now is, dropping customisations.
  void Refresh();
  enum class Customize { kAdd = 1, kRemove = 2, kToggle = 3 };
  // Fails with kInvalidRecordNumber for a record that does not exist (none is changed then).
  void CustomizeRecords(const uint32_t* records, uint32_t count, Customize how);
  // Whether record n passes (reading it when needed).
  bool IsRecordIn(uint32_t n);

  // RecordObserver
  void RecordAppended(const table::RecordView& record) override { Touched(record.recordNumber()); }
  void RecordUpdated(const table::RecordView&, const table::RecordView& after) override { Touched(after.recordNumber()); }
  void RecordDeleted(const table::RecordView& record) override { Touched(record.recordNumber()); }
  void RecordRecalled(const table::RecordView& record) override { Touched(record.recordNumber()); }
  void TablePacked() override { stale_ = true; }
  void TableZapped() override { stale_ = true; }

 private:
  void Resolve(bool evaluateRest);
  void EnsureCurrent();
  void Touched(uint32_t n);
  bool Evaluate(const table::RecordView& record, const expr::CompiledExpr& e);

  table::TableCursor& cursor_;
  CursorExpr& expr_;
  expr::ExprText text_;
  AofKind kind_ = AofKind::kDynamic;
  bool immediate_ = false;
  expr::EvalOptions options_;
  std::unique_ptr<index::IndexFile> index_;
  std::unique_ptr<AofPlan> plan_;
  std::unique_ptr<expr::CompiledExpr> full_;
  std::unique_ptr<expr::CompiledExpr> rest_;  // the non-optimised part (null at kFull and kNone)

  bool resolved_ = false;
  bool stale_ = false;
  bool exactSet_ = false;  // members_ holds exactly the matching records (as of the resolve)
  RecordSet members_;
  RecordSet touched_;      // changed by this handle (evaluated in full from then on)
  RecordSet added_, removed_;
  uint64_t knownCounter_ = 0;
  uint32_t resolvedCount_ = 0;
};

}  // namespace engine::filter
