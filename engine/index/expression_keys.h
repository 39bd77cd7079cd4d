// The keys of a tag computed from its key expression and condition over records.
//
// ExpressionKeys compiles a tag's key text (one expression, or ";"-separated segments each of
// which becomes one key segment) and its condition against a schema, tells the segment layout
// and key type its TagDef needs, and builds a record's key. Over a native table's fields
// (TableFields), a segment that names a national character field alone is a UTF-16 text
// segment taken straight from the record (TableRecord); other segments are expressions. RecordKeySource is the KeySource of
// a rebuild over any sequence of records: every record (deleted ones too; hiding them is a
// matter of navigation) gets, for each tag whose condition it meets, its key.
//
// Compiled expressions evaluate with scratch state: an ExpressionKeys is used by one thread at
// a time, and so is a RecordKeySource.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr/compiled_expr.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"

namespace engine::index {

class ExpressionKeys {
 public:
  // Throws the expression layer's EngineError (naming the position) for a bad key or condition,
  // and kInvalidTagDefinition for a condition that is not logical.
  ExpressionKeys(const std::string& expression, const std::string& condition, const expr::ExprSchema& schema);

  // What the tag's definition needs: one segment per key segment, and the key type (the
  // expression's type for one segment, raw for several).
  const std::vector<SegmentSpec>& segments() const { return specs_; }
  uint8_t keyType() const { return keyType_; }
  // Whether the key or the condition reads the clock (TODAY, NOW, TIME): such a tag would
  // disagree with its table as soon as the clock moves, so no new tag may have one.
  bool readsClock() const;

  // Whether the record belongs to the tag: true without a condition, else the condition's
  // verdict (null counts as false).
  bool Includes(const expr::ExprRecord& record, const expr::EvalOptions& options);
  // Sets every segment of the builder from the record. REQUIRES: the builder's layout was made
  // from segments().
  void Build(const expr::ExprRecord& record, const expr::EvalOptions& options, KeyBuilder& builder);

 private:
  std::vector<expr::CompiledExprPtr> keys_;  // null for a national field segment
  std::vector<int> national_;          // the field slot of a national field segment, else -1
  expr::CompiledExprPtr condition_;
  std::vector<SegmentSpec> specs_;
  uint8_t keyType_ = kKeyTypeString;
  std::string text_;
};

class RecordKeySource : public KeySource {
 public:
  // Calls its argument once per record, in record-number order.
  using RecordWalk = std::function<void(const std::function<void(const expr::ExprRecord&)>&)>;

  // tagKeys[i] computes the keys of tag i of the rebuild; the source borrows them.
  RecordKeySource(uint64_t recordCount, RecordWalk walk, std::vector<ExpressionKeys*> tagKeys,
                  expr::EvalOptions options = {});

  uint64_t RecordCount() override { return count_; }
  void Scan(const std::vector<TagInfo>& tags, KeySink& sink) override;

 private:
  uint64_t count_;
  RecordWalk walk_;
  std::vector<ExpressionKeys*> keys_;
  expr::EvalOptions options_;
};

}  // namespace engine::index
