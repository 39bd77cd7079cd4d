// How an optimised filter expression is resolved: which of its parts the index tags answer and
// which are left to evaluate per record.
//
// The plan splits the expression into its .AND., .OR. and .NOT. structure down to leaves. A
// leaf "key op constant" (or "constant op key"), where key is written exactly as the key
// expression of an usable tag (letter case and blanks outside literals do not count) and op is
// one of = == <> # != < <= > >=, is answered from that tag as a range of keys; a leaf that is a
// logical key expression alone stands for "key = .T.". Usable tags have one segment, no
// condition, and are neither unique nor custom (those hold only some of the records).
//
// Optimisation levels (the values AdsGetAOFOptLevel reports):
//   kFull  the index answers the whole expression exactly;
//   kPart  the index narrows the records to a superset; the non-optimised part is evaluated on
//          each of them;
//   kNone  nothing is answered by an index; the expression is evaluated on every record.
// .AND. is as optimised as its best part (the others go to the non-optimised part); .OR. only
// when every alternative is (else not at all); .NOT. only of a fully optimised part.
//
// Text keys are answered exactly only on a fixed-length character field in a byte-order
// collation, with the comparison rules of the exact setting the plan is made with; equality on
// other text keys narrows the records and leaves the leaf to evaluate. A null key counts as the
// empty value of its type, as the language's comparisons treat it.
//
// Thread safety: a plan is used by one thread at a time; it borrows the index files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr/expr_record.h"
#include "engine/expr/eval_options.h"
#include "engine/filter/record_set.h"

namespace engine::index {
class IndexFile;
}

namespace engine::filter {

enum class OptLevel : uint16_t { kFull = 1, kPart = 2, kNone = 3 };

// One tag an optimised filter may resolve through.
struct IndexedTag {
  index::IndexFile* file = nullptr;  // borrowed
  size_t tag = 0;
  std::string expression;
};

class AofPlan {
 public:
  // Analyses `text` (which must compile as a logical expression against `schema`; the caller
  // has checked that) for the tags. Tags whose expression does not compile are not used.
  AofPlan(const std::string& text, const expr::ExprSchema& schema, const std::vector<IndexedTag>& tags,
          const expr::EvalOptions& options);
  ~AofPlan();
  AofPlan(const AofPlan&) = delete;
  AofPlan& operator=(const AofPlan&) = delete;

  OptLevel level() const;
  // What is left to evaluate per record (empty at kFull; the whole text at kNone).
  const std::string& residual() const;

  // The records the index parts admit among 1..recordCount: exactly the matching ones at
  // kFull, a superset at kPart. REQUIRES: level() is not kNone.
  RecordSet Resolve(uint32_t recordCount);

  struct Node;

 private:
  std::unique_ptr<Node> root_;
  std::vector<IndexedTag> tags_;
  expr::EvalOptions options_;
};

}  // namespace engine::filter
