// Turns expression text into a typed tree.
//
// Recursive descent over the tokens of Lexer, one function per precedence level (lowest
// first): .OR.; .AND.; .NOT.; comparisons; + and -; *, / and %; signs; ** and ^; primaries.
// Names followed by "(" are functions, other names are fields of the schema (optionally
// written alias->field). Every error is an EngineError naming the 1-based position.
//
// Thread safety: a Parser is used once, by one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/expr/expr_text.h"
#include "engine/expr/lexer.h"

namespace engine::expr {

class Parser {
 public:
  // `schema` may be null: the expression then may use no fields. `dateLength` is the length
  // of dates written as text (DTOC, TTOC).
  Parser(std::string_view text, const ExprSchema* schema, uint32_t dateLength);
  // The text as ExprText: its string literals keep the characters of a UTF-16 original.
  Parser(const ExprText& text, const ExprSchema* schema, uint32_t dateLength);

  // The whole text as one expression.
  NodePtr ParseAll();
  // The whole text as ";"-separated expressions (the segments of an index key).
  std::vector<NodePtr> ParseSegments();

  // Names of the fields the parsed text reads, in order of first use, as the table spells them.
  const std::vector<std::string>& FieldsUsed() const { return fields_; }
  // Whether the text calls a function that reads or writes dates in the date format.
  bool UsesDateFormat() const { return usesDateFormat_; }

 private:
  void Advance();
  bool Accept(Tok k);
  void Expect(Tok k, const char* what);
  [[noreturn]] void Unexpected(const char* wanted);

  NodePtr ParseOr();
  NodePtr ParseAnd();
  NodePtr ParseNot();
  NodePtr ParseComparison();
  NodePtr ParseAdditive();
  NodePtr ParseMultiplicative();
  NodePtr ParseSign();
  NodePtr ParsePower();
  NodePtr ParsePrimary();
  NodePtr ParseCall(const Token& name);
  NodePtr ParseField(const Token& name, const Token* alias);
  NodePtr DateLiteral(const Token& t);

  std::string_view text_;
  const ExprText* original_ = nullptr;  // set when the text came as UTF-16
  Lexer lexer_;
  Token tok_;
  const ExprSchema* schema_;
  uint32_t dateLength_;
  int depth_ = 0;
  std::vector<std::string> fields_;
  bool usesDateFormat_ = false;
};

// Looks a field up by its name or, failing that, by its short name (see field_names.h).
std::optional<ExprField> ResolveField(const ExprSchema& schema, std::string_view name);

}  // namespace engine::expr
