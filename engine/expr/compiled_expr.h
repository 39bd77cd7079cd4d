// A compiled expression: index keys, index conditions, filters and evaluations.
//
// Compile once against the table's schema, evaluate many times against its records:
//
//   auto key = CompiledExpr::Compile("UPPER(NAME)+DTOS(BORN)", &schema);
//   key->writeKey(&record, options, keyBytes);   // exactly key->length() bytes
//
// Compiling checks the syntax, resolves names (functions, fields, aliases) and checks the
// types; every problem is an EngineError whose text names the 1-based position, e.g.
// "Expression error at position 7: unknown function FOO". The static type and, for character
// expressions, the static length are known after compiling: a key built from the expression
// always has that length (shorter values padded with blanks, longer ones cut).
//
// Thread safety: evaluation uses scratch buffers inside the compiled tree, so one thread
// evaluates a CompiledExpr at a time; compile one per thread to evaluate in parallel.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/eval_options.h"
#include "engine/expr/expr_record.h"
#include "engine/expr/expr_text.h"

namespace engine::expr {

class CompiledExpr {
 public:
  // Compiles `text`; `schema` may be null for an expression that reads no fields.
  // `dateFormat` fixes the length of dates written as text (DTOC, TTOC) for this expression.
  static std::unique_ptr<CompiledExpr> Compile(std::string_view text, const ExprSchema* schema,
                                               std::string_view dateFormat = "MM/DD/YYYY");
  // The same for text that may have come as UTF-16 (a filter): its string literals keep their
  // exact characters, and comparing them with national-character fields is exact.
  static std::unique_ptr<CompiledExpr> Compile(const ExprText& text, const ExprSchema* schema,
                                               std::string_view dateFormat = "MM/DD/YYYY");

  // Compiles an index key made of ";"-separated segments ("LASTNAME;FIRSTNAME"), one
  // CompiledExpr per segment; positions in errors count from the start of the whole text.
  static std::vector<std::unique_ptr<CompiledExpr>> CompileSegments(std::string_view text, const ExprSchema* schema,
                                                                    std::string_view dateFormat = "MM/DD/YYYY");

  // An empty shell; Compile and CompileSegments are the way to make a usable one.
  CompiledExpr() = default;
  CompiledExpr(const CompiledExpr&) = delete;
  CompiledExpr& operator=(const CompiledExpr&) = delete;

  const std::string& text() const { return text_; }
  ExprType type() const { return root_->type; }
  // Character expressions: the static length; others: a display width.
  uint32_t length() const { return root_->length; }
  uint16_t decimals() const { return root_->decimals; }
  // Whether the value is one field, unchanged.
  bool IsSingleField() const;
  // Whether the value depends on the clock (TODAY, NOW, TIME): evaluating it twice on the same
  // record may give two values.
  bool readsClock() const { return root_->clock; }
  // The fields the expression reads, in order of first use, spelled as the table spells them.
  const std::vector<std::string>& fields() const { return fields_; }

  // Evaluates on `record` (which may be null only when the expression reads no fields).
  // The value stays valid until the next evaluation of this expression or a change of the
  // record.
  const Value& Evaluate(const ExprRecord* record, const EvalOptions& options);

  // A condition's verdict: a null result counts as false. REQUIRES: type() is Logical.
  bool EvalLogical(const ExprRecord* record, const EvalOptions& options);

  // Writes exactly length() bytes for a character expression: the value, padded with blanks
  // or cut. Returns false (and writes blanks) when the value is null. REQUIRES: String type.
  bool WriteKey(const ExprRecord* record, const EvalOptions& options, char* out);

  // The value as text, whatever its type: character values as they are, numbers in their
  // shortest exact form, dates and timestamps in the options' date format, logicals as T or
  // F, null as the empty text.
  std::string EvalText(const ExprRecord* record, const EvalOptions& options);

 private:
  void Prepare(const EvalOptions& options, EvalContext& cx, bool needFormat);

  std::string text_;
  NodePtr root_;
  std::vector<std::string> fields_;
  Value result_;
  std::optional<DateFormat> dateFormat_;  // parsed from the last options seen
  bool usesDateFormat_ = true;            // whether evaluation needs dateFormat_
};

using CompiledExprPtr = std::unique_ptr<CompiledExpr>;

// Whether the options' date format is one DTOC and CTOD can use.
bool IsValidDateFormat(std::string_view pattern);

}  // namespace engine::expr
