#include "engine/expr/expr_calls.h"

#include "engine/core/error.h"
#include "engine/expr/compiled_expr.h"

namespace engine::expr {

namespace {

std::unique_ptr<CompiledExpr> CompileFor(std::string_view text, const ExprScene& scene, ExprType wanted,
                                         const char* call) {
  auto e = CompiledExpr::Compile(text, scene.schema, scene.options.dateFormat);
  if (e->type() != wanted)
    Fail(err::kExprResultType, std::string(call) + " needs a " + ExprTypeName(wanted) + " expression; \"" +
                                   std::string(text) + "\" is " + ExprTypeName(e->type()));
  return e;
}

}  // namespace

bool ExprIsValid(std::string_view text, const ExprSchema* schema) {
  try {
    CompiledExpr::Compile(text, schema);
    return true;
  } catch (const EngineError&) {
    return false;  // the answer is the verdict; the reason is not asked for
  }
}

bool EvalLogicalExpr(std::string_view text, const ExprScene& scene) {
  return CompileFor(text, scene, ExprType::Logical, "AdsEvalLogicalExpr")->EvalLogical(scene.record, scene.options);
}

double EvalNumericExpr(std::string_view text, const ExprScene& scene) {
  auto e = CompileFor(text, scene, ExprType::Numeric, "AdsEvalNumericExpr");
  const Value& v = e->Evaluate(scene.record, scene.options);
  return v.null ? 0 : v.number;
}

std::string EvalStringExpr(std::string_view text, const ExprScene& scene) {
  auto e = CompiledExpr::Compile(text, scene.schema, scene.options.dateFormat);
  return e->EvalText(scene.record, scene.options);
}

uint16_t EvalTestExpr(std::string_view text, const ExprSchema* schema) {
  return static_cast<uint16_t>(CompiledExpr::Compile(text, schema)->type());
}

}  // namespace engine::expr
