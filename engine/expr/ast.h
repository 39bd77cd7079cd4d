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

namespace engine::expr {

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
  // A character node's value as UTF-16, into *out; false when it is null. National nodes give
  // their exact characters; any other gives its ANSI value converted. The view stays valid
  // until the node is evaluated again.
  virtual bool EvalWide(EvalContext& cx, std::u16string_view* out);

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
  // A character node whose exact value may hold characters the ANSI code page cannot: a
  // national-character field, a literal of a UTF-16 text, or a function that keeps them.
  // Comparisons with such a node compare UTF-16 text (EvalWide) instead of ANSI bytes.
  bool national = false;

 protected:
  std::u16string wideScratch_;  // EvalWide's converted value
};

using NodePtr = std::unique_ptr<Node>;

class ConstNode final : public Node {
 public:
  ConstNode(ExprType type, uint32_t pos, const Value& v);
  // A string literal whose exact characters are `original`: national when its ANSI value
  // `v` lost some of them.
  ConstNode(uint32_t pos, const Value& v, std::u16string_view original);
  void Eval(EvalContext&, Value& out) override { out = value_; }
  bool EvalWide(EvalContext& cx, std::u16string_view* out) override;
  bool IsConstant() const override { return true; }
  const Value& value() const { return value_; }

 private:
  std::string text_;  // owns the characters of a String constant
  std::u16string original_;  // the exact characters of a national literal
  Value value_;
};

class FieldNode final : public Node {
 public:
  FieldNode(const ExprField& field, uint32_t pos);
  void Eval(EvalContext& cx, Value& out) override;
  bool EvalWide(EvalContext& cx, std::u16string_view* out) override;
  const ExprField& field() const { return field_; }

 private:
  ExprField field_;
  int slot_;
};

class FuncNode;
using FuncImpl = void (*)(FuncNode& self, EvalContext& cx, Value& out);
// The UTF-16 form of a function that keeps national characters: false when the value is null.
using WideFuncImpl = bool (*)(FuncNode& self, EvalContext& cx, std::u16string_view* out);

class FuncNode final : public Node {
 public:
  FuncNode(ExprType type, uint32_t pos, FuncImpl impl, std::vector<NodePtr> kids);
  void Eval(EvalContext& cx, Value& out) override { impl_(*this, cx, out); }
  bool EvalWide(EvalContext& cx, std::u16string_view* out) override;
  // Makes the node national with `wide` as its UTF-16 form.
  void SetWide(WideFuncImpl wide) {
    wide_ = wide;
    national = true;
  }
  // Child i's value as UTF-16 (see Node::EvalWide).
  bool ArgWide(size_t i, EvalContext& cx, std::u16string_view* out) { return kids[i]->EvalWide(cx, out); }
  // A UTF-16 buffer kept between evaluations, for a wide form's result.
  std::u16string wideBuf;

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
  WideFuncImpl wide_ = nullptr;
};

}  // namespace engine::expr
