#include "engine/expr/ast.h"

#include <algorithm>

#include "engine/core/codepage.h"

namespace engine::expr {

ConstNode::ConstNode(ExprType type, uint32_t pos, const Value& v) : Node(type, pos), value_(v) {
  if (type == ExprType::String && !v.null) {
    text_.assign(v.str, v.len);
    value_.str = text_.data();
    value_.len = static_cast<uint32_t>(text_.size());
    length = value_.len;
  }
}

bool Node::EvalWide(EvalContext& cx, std::u16string_view* out) {
  Value v;
  Eval(cx, v);
  if (v.null) return false;
  wideScratch_ = core::AnsiToUtf16(v.text());
  *out = wideScratch_;
  return true;
}

ConstNode::ConstNode(uint32_t pos, const Value& v, std::u16string_view original)
    : ConstNode(ExprType::String, pos, v) {
  original_.assign(original);
  national = core::AnsiToUtf16(text_) != original_;
}

bool ConstNode::EvalWide(EvalContext& cx, std::u16string_view* out) {
  if (!national) return Node::EvalWide(cx, out);
  *out = original_;
  return true;
}

FieldNode::FieldNode(const ExprField& field, uint32_t pos) : Node(field.type, pos), field_(field), slot_(field.slot) {
  length = field.length;
  decimals = field.decimals;
  pure = false;
  national = field.national && field.type == ExprType::String;
}

bool FieldNode::EvalWide(EvalContext& cx, std::u16string_view* out) {
  if (!national) return Node::EvalWide(cx, out);
  if (cx.record->FieldIsNull(slot_)) return false;
  *out = cx.record->FieldWide(slot_);
  return true;
}

void FieldNode::Eval(EvalContext& cx, Value& out) {
  const ExprRecord& r = *cx.record;
  if (r.FieldIsNull(slot_)) {
    out.null = true;
    return;
  }
  out.null = false;
  switch (type) {
    case ExprType::String: {
      std::string_view s = r.FieldString(slot_);
      out.str = s.data();
      out.len = static_cast<uint32_t>(s.size());
      break;
    }
    case ExprType::Numeric: out.number = r.FieldNumber(slot_); break;
    case ExprType::Logical: out.logical = r.FieldLogical(slot_); break;
    case ExprType::Date: out.integer = r.FieldDate(slot_); break;
    case ExprType::Time: out.integer = r.FieldTime(slot_); break;
    case ExprType::Timestamp: out.integer = r.FieldTimestamp(slot_); break;
  }
}

FuncNode::FuncNode(ExprType type, uint32_t pos, FuncImpl impl, std::vector<NodePtr> kids_)
    : Node(type, pos), kids(std::move(kids_)), vals(kids.size()), impl_(impl) {
  for (const NodePtr& k : kids) {
    pure = pure && k->pure;
    clock = clock || k->clock;
    height = std::max(height, k->height + 1);
  }
}

bool FuncNode::EvalWide(EvalContext& cx, std::u16string_view* out) {
  return wide_ != nullptr ? wide_(*this, cx, out) : Node::EvalWide(cx, out);
}

const char* ExprTypeName(ExprType type) {
  switch (type) {
    case ExprType::Logical: return "logical";
    case ExprType::Numeric: return "numeric";
    case ExprType::Date: return "date";
    case ExprType::String: return "character";
    case ExprType::Time: return "time";
    case ExprType::Timestamp: return "timestamp";
  }
  return "unknown";
}

}  // namespace engine::expr
