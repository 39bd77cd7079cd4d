// Builds and type-checks the nodes of an expression tree.
//
// The parser hands every operator and call here with its already built operands; each
// builder checks the operand types, fixes the static type and length of the result, and
// folds pure nodes over constants into constants. A wrong operand raises EngineError naming
// the position of the operator or argument.
//
// Thread safety: stateless.
#pragma once

#include <string>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/lexer.h"

namespace engine::expr {

// Longest character result an expression may have.
constexpr uint32_t kMaxExprLength = 65535;

NodePtr MakeBinary(Tok op, uint32_t pos, NodePtr left, NodePtr right);
NodePtr MakeNot(uint32_t pos, NodePtr operand);
NodePtr MakeSign(uint32_t pos, bool minus, NodePtr operand);

// A call of the function `name` (upper case) written at `pos`. `star` is set when the first
// argument was written as "*" (only CONTAINS accepts it; the argument list then holds the
// character fields of the table in its place, concatenated into one node).
struct CallArgs {
  std::vector<NodePtr> args;
  bool star = false;
  std::vector<NodePtr> starFields;  // with star: every character field of the table
};
// `dateLength` is the length DTOC and TTOC give (that of the date format the expression is
// compiled for).
NodePtr MakeCall(const std::string& name, uint32_t pos, CallArgs call, uint32_t dateLength);

// Replaces a pure node whose children are all constants by its value.
NodePtr Fold(NodePtr node);

// Raises the type error "what must be T, not U" at the node's position.
[[noreturn]] void FailType(const Node& node, const std::string& what, ExprType wanted);

}  // namespace engine::expr
