// The tree a compiled expression evaluates.
//
// Every node knows its static type and, for character results, its static length (what an
// index key built from it occupies). Operators and functions are FuncNodes: a function
// pointer over the node's children, with per-node scratch (argument values and a text
// buffer) allocated when the tree is built, so that evaluation allocates nothing once the
// buffers have grown to the data's size.
//
// Thread safety: evaluation writes the nodes' scratch; one thread evaluates a tree at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/date_text.h"
#include "engine/expr/expr_record.h"
#include "engine/expr/expr_types.h"

namespace engine {

// What one evaluation sees besides the tree: the record and the settings.
struct EvalContext {
  const ExprRecord* record = nullptr;
  bool exact = false;
  const DateFormat* dateFormat = nullptr;
  int epoch = 1900;
  std::optional<int64_t> fixedNowMs;
  int64_t cachedNow = -1;  // the clock is read once per evaluation

  int64_t NowMs() {
    if (cachedNow < 0) cachedNow = fixedNowMs ? *fixedNowMs : LocalNowMs();
    return cachedNow;
  }
};

class Node {
 public:
  Node(ExprType type, uint32_t pos) : type(type), pos(pos) {}
  virtual ~Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  virtual void Eval(EvalContext& cx, Value& out) = 0;
  virtual bool IsConstant() const { return false; }

  ExprType type;
  uint32_t pos;           // 1-based position of the node's first character
  uint32_t length = 0;    // character results: static length; others: display width
  uint16_t decimals = 0;  // numeric results: decimals for display
  // Levels of nodes from this one down to its deepest leaf. Evaluating and destroying a tree
  // recurse once per level, so the parser bounds it (a chain A+B+C... grows it by one per term).
  uint32_t height = 1;
  // Depends on nothing but its children: no record, no setting, no clock. Pure nodes over
  // constants are folded into constants when the tree is built.
  bool pure = true;
  // Reads the clock (TODAY, NOW, TIME), itself or below: its value changes while the record
  // stays the same, so it can be no part of an index key or condition.
  bool clock = false;
};

using NodePtr = std::unique_ptr<Node>;

class ConstNode final : public Node {
 public:
  ConstNode(ExprType type, uint32_t pos, const Value& v);
  void Eval(EvalContext&, Value& out) override { out = value_; }
  bool IsConstant() const override { return true; }
  const Value& value() const { return value_; }

 private:
  std::string text_;  // owns the characters of a String constant
  Value value_;
};

class FieldNode final : public Node {
 public:
  FieldNode(const ExprField& field, uint32_t pos);
  void Eval(EvalContext& cx, Value& out) override;
  const ExprField& field() const { return field_; }

 private:
  ExprField field_;
  int slot_;
};

class FuncNode;
using FuncImpl = void (*)(FuncNode& self, EvalContext& cx, Value& out);

class FuncNode final : public Node {
 public:
  FuncNode(ExprType type, uint32_t pos, FuncImpl impl, std::vector<NodePtr> kids);
  void Eval(EvalContext& cx, Value& out) override { impl_(*this, cx, out); }

  // Evaluates child i into its slot and returns it.
  const Value& Arg(size_t i, EvalContext& cx) {
    kids[i]->Eval(cx, vals[i]);
    return vals[i];
  }
  // A text buffer of at least n characters, kept between evaluations.
  char* Buffer(size_t n) {
    if (buf.size() < n) buf.resize(n);
    return buf.data();
  }

  std::vector<NodePtr> kids;
  std::vector<Value> vals;
  std::string buf;
  std::vector<std::string_view> views;  // scratch of functions that gather their arguments' texts
  int64_t param = 0;            // a constant the builder fixed (a length, a mode)
  std::shared_ptr<void> extra;  // builder-owned data (a parsed CONTAINS condition)

 private:
  FuncImpl impl_;
};

}  // namespace engine
