// The work of the engine's expression calls (validity test, logical, numeric and string
// evaluation, type test, long and short names), apart from handles: the entry points find
// the table's schema, current record and settings and hand them here.
//
// Thread safety: stateless; the schema and record are used by the calling thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr/eval_options.h"
#include "engine/expr/expr_record.h"

namespace engine::expr {

// Where an expression is evaluated: the table's fields, its current record (an empty record
// when it has none) and the settings (the table's exact setting, the connection's date format).
struct ExprScene {
  const ExprSchema* schema = nullptr;
  const ExprRecord* record = nullptr;
  EvalOptions options;
};

// Whether the text compiles against the schema (any result type).
bool ExprIsValid(std::string_view text, const ExprSchema* schema);

// Each compiles the text (EngineError on a compile error) and evaluates it on the record.
// A result of another type than the call needs fails with kExprResultType; a null result is
// false, 0 and the empty text.
bool EvalLogicalExpr(std::string_view text, const ExprScene& scene);
double EvalNumericExpr(std::string_view text, const ExprScene& scene);
// Any type: character values as they are, others in their text form (see
// CompiledExpr::evalText).
std::string EvalStringExpr(std::string_view text, const ExprScene& scene);
// The result type's code: 1 logical, 2 numeric, 3 date, 4 character, 13 time, 14 timestamp.
uint16_t EvalTestExpr(std::string_view text, const ExprSchema* schema);

}  // namespace engine::expr
