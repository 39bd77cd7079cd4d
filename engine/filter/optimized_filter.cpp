#include "engine/filter/optimized_filter.h"

#include <algorithm>
#include <filesystem>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/table_indexes.h"
#include "engine/index/table_reindex.h"
#include "engine/table/table_files.h"

namespace engine::filter {

namespace {

std::unique_ptr<expr::CompiledExpr> CompileLogical(const expr::ExprText& text, const expr::ExprSchema& schema,
                                             const expr::EvalOptions& options) {
  auto e = expr::CompiledExpr::Compile(text, &schema, options.dateFormat);
  if (e->type() != expr::ExprType::Logical) {
    Fail(err::kExprResultType, "A filter needs a logical expression; \"" + text.ansi() + "\" is " +
                                   expr::ExprTypeName(e->type()));
  }
  return e;
}


// Writes the open's pending index changes. The filter reads the index file through its own
// read-only copy, and an exclusive open writes its changes in batches: without this the copy
// would miss the latest changes or find the file marked as in the middle of an update.
void WritePendingIndexChanges(table::Table& table) {
  if (index::TableIndexes* indexes = table.indexes()) indexes->Flush();
}

// The structural index of the table, opened for reading, or null when it has none that opens.
std::unique_ptr<index::IndexFile> OpenIndex(table::TableCursor& cursor) {
  WritePendingIndexChanges(cursor.table());
  std::filesystem::path path = index::StructuralIndexPath(cursor.table());
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return nullptr;
  try {
    // Under the reader lock, so that another open's update in progress is not taken for damage.
    table::Table::ReaderLock reading(cursor.table());
    return index::IndexFile::Open(path, /*readOnly=*/true);
  } catch (const EngineError&) {
    return nullptr;  // a damaged index answers nothing; the filter is evaluated per record
  }
}

std::vector<IndexedTag> TagsOf(index::IndexFile* file) {
  std::vector<IndexedTag> tags;
  if (!file) return tags;
  for (size_t i = 0; i < file->tagCount(); ++i) tags.push_back({file, i, file->tag(i).def.expression});
  return tags;
}

// The tags a filter may answer from: none for a text whose ANSI form lost characters, as
// the keys of its literals would then be made from "?".
std::vector<IndexedTag> UsableTags(const expr::ExprText& text, index::IndexFile* file) {
  return text.lossy() ? std::vector<IndexedTag>() : TagsOf(file);
}

uint32_t MinNonZero(uint32_t a, uint32_t b) { return a == 0 ? b : (b == 0 ? a : std::min(a, b)); }

}  // namespace

OptLevel EvaluateOptLevel(table::TableCursor& cursor, const expr::ExprText& text, bool exact) {
  CursorExpr expr(cursor);
  expr::EvalOptions options = OptionsFor(cursor);
  options.exact = exact;
  CompileLogical(text, expr.schema(), options);
  std::unique_ptr<index::IndexFile> index = OpenIndex(cursor);
  AofPlan plan(text.ansi(), expr.schema(), UsableTags(text, index.get()), options);
  return plan.level();
}

OptimizedFilter::OptimizedFilter(table::TableCursor& cursor, CursorExpr& expr, const expr::ExprText& text,
                                 uint32_t options, bool exact)
    : cursor_(cursor), expr_(expr), text_(text) {
  options_ = OptionsFor(cursor);
  options_.exact = exact;
  full_ = CompileLogical(text, expr.schema(), options_);
  kind_ = (options & kAofFixed) ? AofKind::kFixed : (options & kAofKeySet) ? AofKind::kKeySet : AofKind::kDynamic;
  immediate_ = (options & kAofResolveImmediate) != 0 || kind_ != AofKind::kDynamic;
  index_ = OpenIndex(cursor);
  plan_ = std::make_unique<AofPlan>(text.ansi(), expr.schema(), UsableTags(text, index_.get()), options_);
  if (plan_->level() == OptLevel::kPart) rest_ = CompileLogical(expr::ExprText(plan_->residual()), expr.schema(), options_);
  cursor_.table().AddObserver(this);
  knownCounter_ = cursor_.table().changeCounter();
  if (immediate_) Resolve(true);
}

OptimizedFilter::~OptimizedFilter() { cursor_.table().RemoveObserver(this); }

bool OptimizedFilter::Evaluate(const table::RecordView& record, const expr::CompiledExpr& e) {
  const expr::ExprRecord& r = expr_.At(record.raw(), record.recordNumber());
  return const_cast<expr::CompiledExpr&>(e).EvalLogical(&r, options_);
}

void OptimizedFilter::Resolve(bool evaluateRest) {
  table::Table& table = cursor_.table();
  table.Refresh();
  uint32_t count = table.RecordCount();
  const bool membersFixed = kind_ != AofKind::kDynamic;
  exactSet_ = false;
  if (plan_->level() == OptLevel::kNone) {
    members_ = RecordSet(count);
    if (membersFixed) {  // membership is the expression's verdict on every record now
      table.Scan([&](const table::RecordView& v) {
        if (Evaluate(v, *full_)) members_.Add(v.recordNumber());
      });
      exactSet_ = true;
    }
  } else {
    WritePendingIndexChanges(table);
    {
      table::Table::ReaderLock reading(table);  // the trees stay whole while the plan reads them
      members_ = plan_->Resolve(count);
    }
    exactSet_ = plan_->level() == OptLevel::kFull;
    if (!exactSet_ && (evaluateRest || membersFixed)) {
      std::vector<uint8_t> image(table.schema().recordLength());
      for (uint32_t n = members_.NextFrom(1, count); n != 0; n = n < count ? members_.NextFrom(n + 1, count) : 0) {
        table.ReadRecord(n, image.data());
        if (!Evaluate(table::RecordView(table.schema(), image.data(), n), *rest_)) members_.Remove(n);
      }
      exactSet_ = true;
    }
  }
  // Records this handle changed stay evaluated in full: the index may not show their change
  // yet. Only a pack or zap, which renumbers the records, forgets them.
  if (stale_) touched_ = RecordSet();
  resolved_ = true;
  stale_ = false;
  knownCounter_ = table.changeCounter();
  resolvedCount_ = count;
}

void OptimizedFilter::EnsureCurrent() {
  if (!resolved_ || stale_) return Resolve(immediate_);
  if (kind_ == AofKind::kDynamic && cursor_.table().changeCounter() != knownCounter_) Resolve(immediate_);
}

void OptimizedFilter::Touched(uint32_t n) {
  if (kind_ != AofKind::kDynamic) return;
  touched_.Add(n);
  knownCounter_ = cursor_.table().changeCounter();
}

bool OptimizedFilter::Accepts(const table::RecordView& record) {
  uint32_t n = record.recordNumber();
  if (removed_.Contains(n)) return false;
  if (added_.Contains(n)) return true;
  EnsureCurrent();
  switch (kind_) {
    case AofKind::kFixed: return members_.Contains(n);
    case AofKind::kKeySet: return members_.Contains(n) && Evaluate(record, *full_);
    case AofKind::kDynamic: break;
  }
  if (touched_.Contains(n) || plan_->level() == OptLevel::kNone) return Evaluate(record, *full_);
  if (!members_.Contains(n)) return false;
  if (exactSet_) return true;
  return Evaluate(record, rest_ ? *rest_ : *full_);
}

uint32_t OptimizedFilter::NextCandidate(uint32_t n, uint32_t last) {
  EnsureCurrent();
  if (kind_ == AofKind::kDynamic && plan_->level() == OptLevel::kNone) return n <= last ? n : 0;
  uint32_t c = MinNonZero(members_.NextFrom(n, last), added_.NextFrom(n, last));
  if (kind_ == AofKind::kDynamic) c = MinNonZero(c, touched_.NextFrom(n, last));
  return c;
}

uint32_t OptimizedFilter::PriorCandidate(uint32_t n) {
  EnsureCurrent();
  if (kind_ == AofKind::kDynamic && plan_->level() == OptLevel::kNone) return n;
  uint32_t c = std::max(members_.PriorFrom(n), added_.PriorFrom(n));
  if (kind_ == AofKind::kDynamic) c = std::max(c, touched_.PriorFrom(n));
  return c;
}

void OptimizedFilter::Refresh() {
  added_ = RecordSet();
  removed_ = RecordSet();
  Resolve(immediate_);
}

bool OptimizedFilter::IsRecordIn(uint32_t n) {
  table::Table& table = cursor_.table();
  std::vector<uint8_t> image(table.schema().recordLength());
  if (n == 0 || n > table.RecordCount()) {
    Fail(err::kInvalidRecordNumber, "Record " + std::to_string(n) + " does not exist.");
  }
  table.ReadRecord(n, image.data());
  return Accepts(table::RecordView(table.schema(), image.data(), n));
}

void OptimizedFilter::CustomizeRecords(const uint32_t* records, uint32_t count, Customize how) {
  uint32_t total = cursor_.table().RecordCount();
  for (uint32_t i = 0; i < count; ++i) {
    if (records[i] == 0 || records[i] > total) {
      Fail(err::kInvalidRecordNumber, "Record " + std::to_string(records[i]) + " does not exist.");
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t n = records[i];
    bool add = how == Customize::kAdd || (how == Customize::kToggle && !IsRecordIn(n));
    if (add) {
      added_.Add(n);
      removed_.Remove(n);
    } else {
      removed_.Add(n);
      added_.Remove(n);
    }
  }
}

}  // namespace engine::filter
